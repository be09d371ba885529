// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CAboutDlg: the About box. Program icon, name, version and licence, OK.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
