// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_frame.h"

#include "app/string_table.h"
#include "audio/replay_file.h"
#include "platform/wave_device.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QStatusBar>
#include <QToolBar>

namespace {

using Frame = CMainFrame;

constexpr CommandEntry<Frame> kCommands[] = {
    {ID_VIEW_TOOLBAR, &Frame::OnViewToolbar, &Frame::OnUpdateViewToolbar},
    {ID_VIEW_STATUS_BAR, &Frame::OnViewStatusBar, &Frame::OnUpdateViewStatusBar},
};

}  // namespace

CMainFrame::CMainFrame(CCmdTarget* pApp, CParlotypeDoc* pDocument, const QString& scriptIndex)
    : m_pApp(pApp), m_pView(new CParlotypeView(pDocument, scriptIndex, this)) {
    setWindowIcon(QIcon(QStringLiteral(":/icons/parlotype.svg")));
    setCentralWidget(m_pView);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    resize(900, 700);
    UpdateTitle(QString());
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &CMainFrame::OnIdleUpdateCmdUI);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::Action(int id) {
    QAction*& action = m_actions[id];
    if (!action) {
        action = new QAction(this);
        action->setStatusTip(PromptString(id));
        action->setToolTip(TooltipString(id));
        action->setEnabled(false);  // until its first update says otherwise
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    return action;
}

CStatusPane* CMainFrame::Pane(int id) const {
    for (CStatusPane* pane : m_panes)
        if (pane->m_nID == id) return pane;
    return nullptr;
}

void CMainFrame::OnCommand(int id) {
    for (CCmdTarget* target : {static_cast<CCmdTarget*>(m_pView), static_cast<CCmdTarget*>(this), m_pApp})
        if (target->OnCmdMsg(id, nullptr)) return;
}

void CMainFrame::UpdateCmdUI(CCmdUI& ui) {
    for (CCmdTarget* target : {static_cast<CCmdTarget*>(m_pView), static_cast<CCmdTarget*>(this), m_pApp})
        if (target->OnCmdMsg(ui.m_nID, &ui)) return;
    ui.Enable(false);  // no target has it (yet)
}

void CMainFrame::OnIdleUpdateCmdUI() {
    // Like the framework's idle processing, this belongs to the main loop: a
    // modal dialog's own loop does not run it.
    if (QApplication::activeModalWidget()) return;
    for (const auto& [id, action] : m_actions) {
        CActionCmdUI ui(id, action);
        UpdateCmdUI(ui);
    }
    if (!statusBar()->isVisibleTo(this)) return;  // panes are updated only while shown
    for (CStatusPane* pane : m_panes) {
        CPaneCmdUI ui(pane);
        UpdateCmdUI(ui);
    }
}

void CMainFrame::UpdateTitle(const QString& path) {
    const QString title = DocString(0);
    setWindowTitle(path.isEmpty() ? title : QFileInfo(path).fileName() + QStringLiteral(" - ") + title);
}

bool CMainFrame::OnCmdMsg(int id, CCmdUI* pCmdUI) {
    return RouteCmdMsg<Frame>(*this, kCommands, id, pCmdUI);
}

void CMainFrame::OnViewToolbar() { m_wndToolBar->setVisible(!m_wndToolBar->isVisibleTo(this)); }

void CMainFrame::OnUpdateViewToolbar(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_wndToolBar->isVisibleTo(this)); }

void CMainFrame::OnViewStatusBar() { statusBar()->setVisible(!statusBar()->isVisibleTo(this)); }

void CMainFrame::OnUpdateViewStatusBar(CCmdUI* pCmdUI) { pCmdUI->SetCheck(statusBar()->isVisibleTo(this)); }

bool CMainFrame::event(QEvent* e) {
    // The file player plays with this window as its receiver.
    if (e->type() == platform::WaveEvent::OutDone) {
        theReplayFile.OnBufferDone();
        return true;
    }
    return QMainWindow::event(e);
}
