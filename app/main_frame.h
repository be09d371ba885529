// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CMainFrame: the main window. Menu bar, toolbar and status bar around the
// script view. It routes every command to its targets (the view, itself, the
// application), runs the command-UI updates whenever the event loop goes
// idle, and hands the file player's finished buffers back to the player.
//
// Split: main_frame.cpp (window, routing, idle updates, buffer events),
// main_menu.cpp (the menu table and the recent files), main_toolbar.cpp (the
// toolbar table and its icons), main_status_bar.cpp (the panes).

#include "view/command_map.h"

#include <QMainWindow>
#include <QStringList>
#include <map>
#include <vector>

class CParlotypeDoc;
class CParlotypeView;
class CStatusPane;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow, public CCmdTarget {
public:
    // `pApp` takes the commands that neither the view nor the frame handles.
    CMainFrame(CCmdTarget* pApp, CParlotypeDoc* pDocument, const QString& scriptIndex);
    ~CMainFrame() override;

    CParlotypeView* GetActiveView() const { return m_pView; }
    QToolBar* GetToolBar() const { return m_wndToolBar; }

    // The action of command `id`, made on first use with its prompt and tooltip.
    QAction* Action(int id);
    // The status pane of indicator `id`, or null.
    CStatusPane* Pane(int id) const;

    // Runs command `id` on the first target that has a handler for it.
    void OnCommand(int id);
    // Recomputes every action and pane from its update rule; runs whenever
    // the event loop is about to wait, outside modal dialogs.
    void OnIdleUpdateCmdUI();

    // Shows `paths` (most recent first) as the File menu's recent files.
    void SetRecentFiles(const QStringList& paths);
    // Window title for the script `path` (empty: a new document).
    void UpdateTitle(const QString& path);

    bool OnCmdMsg(int id, CCmdUI* pCmdUI) override;
    void OnViewToolbar();
    void OnUpdateViewToolbar(CCmdUI* pCmdUI);
    void OnViewStatusBar();
    void OnUpdateViewStatusBar(CCmdUI* pCmdUI);

protected:
    bool event(QEvent* e) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateCmdUI(CCmdUI& ui);

    CCmdTarget* m_pApp;
    CParlotypeView* m_pView;
    QToolBar* m_wndToolBar = nullptr;
    std::vector<CStatusPane*> m_panes;
    std::map<int, QAction*> m_actions;
    QMenu* m_pFileMenu = nullptr;
};
