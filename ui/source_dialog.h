// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SourceDialog: the dialog of View Source and View Parse. Caption "Source", a
// read-only text that can be selected and copied, and OK; Escape and the
// close box end it too.

#include <QByteArray>
#include <QDialog>
#include <QString>

class QPlainTextEdit;

// A page listing's bytes as text to show: UTF-8 when they are valid UTF-8,
// otherwise each byte as the Latin-1 character of that value.
QString listingText(const QByteArray& bytes);

class SourceDialog : public QDialog {
    Q_OBJECT
public:
    SourceDialog(const QString& text, QWidget* parent = nullptr);

private:
    QPlainTextEdit* m_edit;
};
