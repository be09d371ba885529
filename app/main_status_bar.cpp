// SPDX-License-Identifier: GPL-3.0-or-later
// The status bar: the message pane, then the indicator panes, each as wide
// as its text in the string table. The message pane shows command prompts
// while the pointer is on an item, and "Ready" otherwise.
#include "app/main_frame.h"

#include "app/string_table.h"
#include "view/command_ids.h"

#include <QStatusBar>

namespace {

constexpr int kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_TURN, ID_INDICATOR_RECORDING, ID_INDICATOR_SPEED,
                               ID_INDICATOR_TIME};

}  // namespace

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    const QString idle = LoadString(AFX_IDS_IDLEMESSAGE);
    connect(bar, &QStatusBar::messageChanged, bar, [bar, idle](const QString& text) {
        if (text.isEmpty()) bar->showMessage(idle);
    });
    bar->showMessage(idle);
    for (int id : kIndicators) {
        if (id == ID_SEPARATOR) continue;  // the message area itself
        auto* pane = new CStatusPane(id, bar);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        const int margin = 2 * pane->frameWidth() + pane->fontMetrics().horizontalAdvance(QLatin1Char(' '));
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(LoadString(id)) + margin);
        bar->addPermanentWidget(pane);
        m_panes.push_back(pane);
    }
}
