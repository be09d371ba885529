// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/marks_dialog.h"

#include "ui/text_dialog_parts.h"

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

MarksDialog::MarksDialog(const QString& marks, QWidget* parent)
    : QDialog(parent), m_text(marks), m_edit(createReadOnlyText(this)) {
    setWindowTitle(tr("Marks"));
    const DialogUnits units(font());
    auto place = [&](QWidget* w, const QRect& r) { w->setGeometry(units.toPixels(r)); };

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    place(ok, kOkRect);

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
    setFixedSize(units.toPixels(QRect(QPoint(0, 0), kDialogSize)).size());
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
