// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled only into the sanitizer builds' programs that link the field measurement.
// SEP 1.2.1's extraction loses two arrays of 4 bytes a detection inside the library, out of
// reach of the catalogue it returns. The leak checker is told of that one library and nothing
// else.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libsep.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0"; // the tools' error output stays their own
}
