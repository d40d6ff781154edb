// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chart control as a widget. All state and layout live in TModeloGrafico; the widget
// paints what Componer gives and asks for a deferred repaint on every change, so a burst of
// points costs one repaint at the next processing of window messages.
#include <QWidget>

#include "ModeloGrafico.h"

class TChart : public QWidget, public TModeloGrafico {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* evento) override;
    void Repintar() override { update(); }
};
