// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/text_dialog_parts.h"

#include <QFontMetrics>
#include <QPlainTextEdit>

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = fm.height();
}

QRect DialogUnits::toPixels(const QRect& units) const {
    auto scale = [](int n, int base, int div) { return (2 * n * base + (n < 0 ? -div : div)) / (2 * div); };
    return {scale(units.x(), m_baseX, 4), scale(units.y(), m_baseY, 8), scale(units.width(), m_baseX, 4),
            scale(units.height(), m_baseY, 8)};
}

QPlainTextEdit* createReadOnlyText(QWidget* parent) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setReadOnly(true);
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setFocusPolicy(Qt::StrongFocus);
    return edit;
}
