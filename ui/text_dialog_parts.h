// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Marks and Source dialogs share: their layout in dialog units and
// the read-only text they show.

#include <QFont>
#include <QRect>

class QPlainTextEdit;
class QWidget;

// Dialog units follow the dialog's font: a horizontal unit is a quarter of
// the average width of the letters, a vertical unit an eighth of the line
// height. Pixels are rounded to the nearest, halves away from zero.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    QRect toPixels(const QRect& units) const;

private:
    int m_baseX = 0;
    int m_baseY = 0;
};

// A text that cannot be edited but can be selected and copied with mouse or
// keyboard, unwrapped, with both scroll bars shown.
QPlainTextEdit* createReadOnlyText(QWidget* parent);
