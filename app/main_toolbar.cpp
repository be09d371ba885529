// SPDX-License-Identifier: GPL-3.0-or-later
// The toolbar, described as a table: 18 slots with their separators. Icons
// come from the desktop's icon theme where it has them, else from the
// program's own SVG icons, which stay sharp at any screen scale.
#include "app/main_frame.h"

#include "view/command_ids.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QToolBar>

namespace {

struct ToolButton {
    int id;                // ID_SEPARATOR for a separator
    const char* theme;     // freedesktop icon name; null: the program's own icon only
    const char* fallback;  // the program's own icon, in :/icons
};

constexpr ToolButton kToolBar[] = {
    {ID_FILE_OPEN, "document-open", "open"},
    {ID_SEPARATOR, nullptr, nullptr},
    {ID_FILE_PRINT, "document-print", "print"},
    {ID_SEPARATOR, nullptr, nullptr},
    {ID_AUDIO_SINGLE, nullptr, "single"},
    {ID_AUDIO_START, "media-playback-start", "start"},
    {ID_AUDIO_PAUSE, "media-playback-pause", "pause"},
    {ID_AUDIO_STOP, "media-playback-stop", "stop"},
    {ID_SEPARATOR, nullptr, nullptr},
    {ID_AUDIO_REWIND, "media-seek-backward", "rewind"},
    {ID_AUDIO_FORWARD, "media-seek-forward", "forward"},
    {ID_SEPARATOR, nullptr, nullptr},
    {ID_AUDIO_RECORD, "media-record", "record"},
    {ID_AUDIO_PLAYREC, nullptr, "playrec"},
    {ID_SEPARATOR, nullptr, nullptr},
    {ID_GO_BACK, "go-previous", "back"},
    {ID_GO_HOME, "go-home", "home"},
    {ID_GO_FORWARD, "go-next", "next"},
};

QIcon ToolIcon(const ToolButton& b) {
    const QIcon own(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(b.fallback)));
    return b.theme ? QIcon::fromTheme(QLatin1String(b.theme), own) : own;
}

}  // namespace

void CMainFrame::CreateToolBar() {
    m_wndToolBar = addToolBar(QCoreApplication::translate("CMainFrame", "Toolbar"));
    m_wndToolBar->setObjectName(QStringLiteral("toolbar"));
    m_wndToolBar->setIconSize(QSize(16, 16));
    for (const ToolButton& b : kToolBar) {
        if (b.id == ID_SEPARATOR) {
            m_wndToolBar->addSeparator();
            continue;
        }
        QAction* action = Action(b.id);
        action->setIcon(ToolIcon(b));
        m_wndToolBar->addAction(action);
    }
}
