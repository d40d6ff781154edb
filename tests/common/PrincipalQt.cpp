// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest main for the widget tests: one application object, no screen needed.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Also when CTest lists the cases, which runs without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A test that closes its last window must not end the run.
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
