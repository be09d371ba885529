// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/source_dialog.h"

#include "ui/text_dialog_parts.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>

namespace {

// The dialog's template, in dialog units.
constexpr QSize kDialogSize(369, 206);
constexpr QRect kOkRect(159, 185, 50, 14);
constexpr QRect kEditRect(7, 7, 355, 174);

}  // namespace

QString listingText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

SourceDialog::SourceDialog(const QString& text, QWidget* parent) : QDialog(parent), m_edit(createReadOnlyText(this)) {
    setWindowTitle(tr("Source"));
    const DialogUnits units(font());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setGeometry(units.toPixels(kOkRect));

    m_edit->setGeometry(units.toPixels(kEditRect));

    setTabOrder(ok, m_edit);  // OK comes first
    setFixedSize(units.toPixels(QRect(QPoint(0, 0), kDialogSize)).size());
    m_edit->setPlainText(text);
}
