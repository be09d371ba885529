// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/marks_dialog.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

// The dialog's template, in dialog units.
constexpr QSize kDialogSize(237, 210);
constexpr QRect kOkRect(27, 189, 50, 14);
constexpr QRect kEditRect(7, 7, 223, 174);
constexpr QRect kClearRect(159, 189, 50, 14);
constexpr QRect kCancelRect(93, 189, 50, 14);

}  // namespace

QRect dialogUnitsToPixels(const QRect& units, int baseX, int baseY) {
    // Rounded to the nearest pixel, halves away from zero.
    auto scale = [](int n, int base, int div) { return (2 * n * base + (n < 0 ? -div : div)) / (2 * div); };
    return {scale(units.x(), baseX, 4), scale(units.y(), baseY, 8), scale(units.width(), baseX, 4),
            scale(units.height(), baseY, 8)};
}

MarksDialog::MarksDialog(const QString& marks, QWidget* parent)
    : QDialog(parent), m_text(marks), m_edit(new QPlainTextEdit(this)) {
    setWindowTitle(tr("Marks"));
    // Dialog units follow the dialog's font: the average width of the
    // letters (rounded to whole pixels) and the line height.
    const QFontMetrics fm(font());
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = (letters / 26 + 1) / 2, baseY = fm.height();
    auto place = [&](QWidget* w, const QRect& units) { w->setGeometry(dialogUnitsToPixels(units, baseX, baseY)); };

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    place(ok, kOkRect);

    // Read-only, but its text can be selected and copied with mouse or keyboard.
    m_edit->setReadOnly(true);
    m_edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setFocusPolicy(Qt::StrongFocus);
    place(m_edit, kEditRect);

    auto* clear = new QPushButton(tr("Clear"), this);
    clear->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, &MarksDialog::clear);
    place(clear, kClearRect);

    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    place(cancel, kCancelRect);

    // Tab order of the template: OK, text, Clear, Cancel.
    setTabOrder(ok, m_edit);
    setTabOrder(m_edit, clear);
    setTabOrder(clear, cancel);
    setFixedSize(dialogUnitsToPixels(QRect(QPoint(0, 0), kDialogSize), baseX, baseY).size());
    m_edit->setPlainText(m_text);
}

void MarksDialog::clear() {
    m_text.clear();
    m_edit->setPlainText(m_text);
}

void MarksDialog::accept() {
    m_text = m_edit->toPlainText();
    QDialog::accept();
}
