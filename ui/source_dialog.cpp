// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/source_dialog.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>

namespace {

// The dialog's template, in dialog units.
constexpr QSize kDialogSize(369, 206);
constexpr QRect kOkRect(159, 185, 50, 14);
constexpr QRect kEditRect(7, 7, 355, 174);

// Dialog units follow the dialog's font: a horizontal unit is a quarter of
// the average width of the letters, a vertical unit an eighth of the height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics fm(font);
        const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        m_baseX = (letters / 26 + 1) / 2;
        m_baseY = fm.height();
    }
    QRect operator()(const QRect& r) const {
        return {r.x() * m_baseX / 4, r.y() * m_baseY / 8, r.width() * m_baseX / 4, r.height() * m_baseY / 8};
    }

private:
    int m_baseX;
    int m_baseY;
};

}  // namespace

QString listingText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

SourceDialog::SourceDialog(const QString& text, QWidget* parent) : QDialog(parent), m_edit(new QPlainTextEdit(this)) {
    setWindowTitle(tr("Source"));
    const DialogUnits units(font());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setGeometry(units(kOkRect));

    // Read-only, but its text can be selected and copied with mouse or keyboard.
    m_edit->setReadOnly(true);
    m_edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setFocusPolicy(Qt::StrongFocus);
    m_edit->setGeometry(units(kEditRect));

    setTabOrder(ok, m_edit);  // OK comes first
    setFixedSize(units(QRect(QPoint(0, 0), kDialogSize)).size());
    m_edit->setPlainText(text);
}
