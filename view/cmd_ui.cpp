// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/cmd_ui.h"

#include <QAction>

void CActionCmdUI::Enable(bool on) {
    m_bEnableChanged = true;
    m_pAction->setEnabled(on);
}

void CActionCmdUI::SetCheck(int check) {
    m_pAction->setCheckable(true);
    m_pAction->setChecked(check != 0);
}

void CActionCmdUI::SetText(const QString& text) {
    if (m_pAction->text() != text) m_pAction->setText(text);
}

CStatusPane::CStatusPane(int id, QWidget* parent) : QLabel(parent), m_nID(id) {}

void CStatusPane::SetEnabled(bool on) {
    m_bEnabled = on;
    Show();
}

void CStatusPane::SetPaneText(const QString& text) {
    m_strText = text;
    Show();
}

void CStatusPane::Show() {
    const QString shown = m_bEnabled ? m_strText : QString();
    if (text() != shown) setText(shown);  // an unchanged pane must not repaint
}

void CPaneCmdUI::Enable(bool on) {
    m_bEnableChanged = true;
    m_pPane->SetEnabled(on);
}
