// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/status_pane.h"

StatusPane::StatusPane(const QString& name, const QString& widest, QWidget* parent) : QLabel(parent) {
    setObjectName(name);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAlignment(Qt::AlignCenter);
    const int margin = 2 * frameWidth() + fontMetrics().horizontalAdvance(QLatin1Char(' '));
    setMinimumWidth(fontMetrics().horizontalAdvance(widest) + margin);
}

void StatusPane::setOn(bool on) {
    m_on = on;
    showText();
}

void StatusPane::setPaneText(const QString& text) {
    m_text = text;
    showText();
}

void StatusPane::showText() {
    const QString shown = m_on ? m_text : QString();
    if (text() != shown) setText(shown);  // an unchanged pane must not repaint
}
