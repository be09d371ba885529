// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CMarksDlg: the Marks dialog. Shows the marks taken so far in a read-only
// text, one per line, ready to be copied; Clear empties the text, and OK
// then tells the view to empty its list. Cancel, Escape and closing the
// window change nothing.

#include <QDialog>
#include <QRect>
#include <QString>

class QPlainTextEdit;
class QPushButton;

// The pixel rectangle of a dialog-unit rectangle: a horizontal unit is a
// quarter of the font's average character width `baseX`, a vertical unit
// an eighth of its height `baseY`; rounded to the nearest pixel.
QRect DialogUnitsToPixels(const QRect& units, int baseX, int baseY);

class CMarksDlg : public QDialog {
public:
    explicit CMarksDlg(QWidget* parent = nullptr);

    // Shows m_strText in the text control and runs the dialog. On OK the
    // control's text is read back into m_strText. QDialog::Accepted for OK.
    int DoModal();
    // The Clear button: empties m_strText and the control at once.
    void OnClear();

    void accept() override;

    QString m_strText;

private:
    QPlainTextEdit* m_pEdit;  // control 1000
};
