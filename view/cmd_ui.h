// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-UI update mechanism. When the event loop goes idle, the main
// frame asks the command targets, for every menu item, toolbar button and
// status pane, what state it should show now: each target's update handler
// receives a CCmdUI for the item and sets it. State is recomputed, never pushed.

#include <QLabel>
#include <QString>

class QAction;

class CCmdUI {
public:
    explicit CCmdUI(int id) : m_nID(id) {}
    virtual ~CCmdUI() = default;

    virtual void Enable(bool on = true) = 0;
    virtual void SetCheck(int check = 1) = 0;  // 1 checked (a toolbar button drawn pressed), 0 not
    virtual void SetText(const QString& text) = 0;

    const int m_nID;
    bool m_bEnableChanged = false;  // set by Enable: the update handler decided
};

// A menu item and the toolbar button sharing one action.
class CActionCmdUI : public CCmdUI {
public:
    CActionCmdUI(int id, QAction* action) : CCmdUI(id), m_pAction(action) {}
    void Enable(bool on) override;
    void SetCheck(int check) override;
    void SetText(const QString& text) override;

private:
    QAction* m_pAction;
};

// A status-bar pane. A disabled pane is drawn empty; its text is kept and
// shows again once the pane is enabled. Starts disabled.
class CStatusPane : public QLabel {
public:
    CStatusPane(int id, QWidget* parent);
    void SetEnabled(bool on);
    void SetPaneText(const QString& text);
    const int m_nID;

private:
    void Show();
    QString m_strText;
    bool m_bEnabled = false;
};

class CPaneCmdUI : public CCmdUI {
public:
    explicit CPaneCmdUI(CStatusPane* pane) : CCmdUI(pane->m_nID), m_pPane(pane) {}
    void Enable(bool on) override;
    void SetCheck(int) override {}
    void SetText(const QString& text) override { m_pPane->SetPaneText(text); }

private:
    CStatusPane* m_pPane;
};
