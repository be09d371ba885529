// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MarksDialog: the Marks dialog. Shows the marks taken so far in a read-only
// text, one per line, ready to be copied; Clear empties the text, and OK
// then empties the list. Cancel, Escape and closing the
// window change nothing.

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

class MarksDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `marks`, one per line.
    explicit MarksDialog(const QString& marks, QWidget* parent = nullptr);
    // The text at OK: the whole list, or empty after Clear.
    QString text() const { return m_text; }
    // The Clear button: empties the text at once.
    void clear();
    void accept() override;

private:
    QString m_text;
    QPlainTextEdit* m_edit;
};
