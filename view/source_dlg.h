// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSourceDlg: the dialog of View Source and View Parse. Caption "Source", a
// read-only text that can be selected and copied, and OK; Escape and the
// close box end it too.

#include <QByteArray>
#include <QDialog>
#include <QString>

class QPlainTextEdit;

// A page listing's bytes as text to show: UTF-8 when they are valid UTF-8,
// otherwise each byte as the Latin-1 character of that value.
QString ListingText(const QByteArray& bytes);

class CSourceDlg : public QDialog {
public:
    explicit CSourceDlg(QWidget* parent = nullptr);

    // Shows m_strText in the text control and runs the dialog modally.
    int DoModal();
    // The text the control shows.
    QString ShownText() const;

    QString m_strText;

private:
    QPlainTextEdit* m_pEdit;  // control 1000
};
