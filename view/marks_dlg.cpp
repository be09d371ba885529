// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/marks_dlg.h"

#include <QCoreApplication>
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

QRect DialogUnitsToPixels(const QRect& units, int baseX, int baseY) {
    // Rounded to the nearest pixel, halves away from zero.
    auto scale = [](int n, int base, int div) { return (2 * n * base + (n < 0 ? -div : div)) / (2 * div); };
    return {scale(units.x(), baseX, 4), scale(units.y(), baseY, 8), scale(units.width(), baseX, 4),
            scale(units.height(), baseY, 8)};
}

CMarksDlg::CMarksDlg(QWidget* parent) : QDialog(parent), m_pEdit(new QPlainTextEdit(this)) {
    setWindowTitle(QCoreApplication::translate("CMarksDlg", "Marks"));
    // Dialog units follow the dialog's font: the average width of the
    // letters (rounded to whole pixels) and the line height.
    const QFontMetrics fm(font());
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = (letters / 26 + 1) / 2, baseY = fm.height();
    auto place = [&](QWidget* w, const QRect& units) { w->setGeometry(DialogUnitsToPixels(units, baseX, baseY)); };

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    place(ok, kOkRect);

    // Read-only, but its text can be selected and copied with mouse or keyboard.
    m_pEdit->setReadOnly(true);
    m_pEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEdit->setFocusPolicy(Qt::StrongFocus);
    place(m_pEdit, kEditRect);

    auto* clear = new QPushButton(QCoreApplication::translate("CMarksDlg", "Clear"), this);
    clear->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, &CMarksDlg::OnClear);
    place(clear, kClearRect);

    auto* cancel = new QPushButton(QCoreApplication::translate("CMarksDlg", "Cancel"), this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    place(cancel, kCancelRect);

    // Tab order of the template: OK, text, Clear, Cancel.
    setTabOrder(ok, m_pEdit);
    setTabOrder(m_pEdit, clear);
    setTabOrder(clear, cancel);
    setFixedSize(DialogUnitsToPixels(QRect(QPoint(0, 0), kDialogSize), baseX, baseY).size());
}

int CMarksDlg::DoModal() {
    m_pEdit->setPlainText(m_strText);
    return exec();
}

void CMarksDlg::OnClear() {
    m_strText.clear();
    m_pEdit->setPlainText(m_strText);
}

void CMarksDlg::accept() {
    m_strText = m_pEdit->toPlainText();
    QDialog::accept();
}
