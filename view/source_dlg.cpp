// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/source_dlg.h"

#include <QCoreApplication>
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
        m_nBaseX = (letters / 26 + 1) / 2;
        m_nBaseY = fm.height();
    }
    QRect operator()(const QRect& r) const {
        return {r.x() * m_nBaseX / 4, r.y() * m_nBaseY / 8, r.width() * m_nBaseX / 4, r.height() * m_nBaseY / 8};
    }

private:
    int m_nBaseX;
    int m_nBaseY;
};

}  // namespace

QString ListingText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

CSourceDlg::CSourceDlg(QWidget* parent) : QDialog(parent), m_pEdit(new QPlainTextEdit(this)) {
    setWindowTitle(QCoreApplication::translate("CSourceDlg", "Source"));
    const DialogUnits units(font());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setGeometry(units(kOkRect));

    // Read-only, but its text can be selected and copied with mouse or keyboard.
    m_pEdit->setReadOnly(true);
    m_pEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEdit->setFocusPolicy(Qt::StrongFocus);
    m_pEdit->setGeometry(units(kEditRect));

    setTabOrder(ok, m_pEdit);  // OK comes first
    setFixedSize(units(QRect(QPoint(0, 0), kDialogSize)).size());
}

int CSourceDlg::DoModal() {
    m_pEdit->setPlainText(m_strText);
    return exec();
}

QString CSourceDlg::ShownText() const { return m_pEdit->toPlainText(); }
