// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// AboutDialog: the About box. Program icon, name, version and licence, OK.

#include <QDialog>

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
