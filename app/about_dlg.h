#pragma once
// CAboutDlg: the About box. Program icon, name and version, OK.

#include <QDialog>

class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
