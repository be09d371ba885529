// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// StatusPane: an indicator of the status bar, as wide as its widest text. A
// pane that is off is drawn empty; its text is kept and shows again once it
// is on.

#include <QLabel>
#include <QString>

class StatusPane : public QLabel {
    Q_OBJECT
public:
    // `widest` sizes the pane; `name` is its object name.
    StatusPane(const QString& name, const QString& widest, QWidget* parent);
    void setOn(bool on);
    void setPaneText(const QString& text);

private:
    void showText();

    QString m_text;
    bool m_on = false;
};
