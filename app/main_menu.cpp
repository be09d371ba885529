// The menu bar, described as a table, and the File menu's recent files.
#include "app/main_frame.h"

#include "view/command_ids.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>

namespace {

enum class Kind { Popup, Item, Separator, BarItem, RecentFiles };

struct MenuEntry {
    Kind kind;
    const char* text;  // an item's text: after '\t' its shortcut
    int id;
};

constexpr MenuEntry kMenu[] = {
    {Kind::Popup, "&File", 0},
    {Kind::Item, "&Open...\tCtrl+O", ID_FILE_OPEN},
    {Kind::Item, "&Print\tCtrl+P", ID_FILE_PRINT},
    {Kind::Item, "&Make Script...", ID_FILE_MAKE_SCRIPT},
    {Kind::Separator, nullptr, 0},
    {Kind::RecentFiles, "Recent File", ID_FILE_MRU_FILE1},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, "E&xit", ID_APP_EXIT},
    {Kind::Popup, "&Go", 0},
    {Kind::Item, "&Back", ID_GO_BACK},
    {Kind::Item, "&Forward", ID_GO_FORWARD},
    {Kind::Item, "&Home", ID_GO_HOME},
    {Kind::Popup, "&Audio", 0},
    {Kind::Item, "&Start", ID_AUDIO_START},
    {Kind::Item, "S&top", ID_AUDIO_STOP},
    {Kind::Item, "&Pause", ID_AUDIO_PAUSE},
    {Kind::Item, "&Rewind", ID_AUDIO_REWIND},
    {Kind::Item, "&Forward", ID_AUDIO_FORWARD},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, "Single &Item Play", ID_AUDIO_SINGLE},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, "R&ecord", ID_AUDIO_RECORD},
    {Kind::Item, "P&lay Recorded", ID_AUDIO_PLAYREC},
    {Kind::BarItem, "&Mark!", ID_AUDIO_MARK},
    {Kind::Popup, "&View", 0},
    {Kind::Item, "S&ource", ID_VIEW_SOURCE},
    {Kind::Item, "&Parse", ID_VIEW_PARSE},
    {Kind::Item, "&Marks", ID_VIEW_MARKS},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, "&Toolbar", ID_VIEW_TOOLBAR},
    {Kind::Item, "&Status Bar", ID_VIEW_STATUS_BAR},
    {Kind::Popup, "&Help", 0},
    {Kind::Item, "&Contents", ID_HELP},
    {Kind::Item, "&About parlotype...", ID_APP_ABOUT},
};

// Keys with no menu item of their own.
struct Accelerator {
    const char* key;
    int id;
};

constexpr Accelerator kAccelerators[] = {
    {"Ctrl+N", ID_FILE_NEW},  // a new document: the built-in home page
};

// Sets an action's text and binds the shortcut written after its '\t'.
void SetMenuText(QAction* action, const QString& text) {
    action->setText(text.section(QLatin1Char('\t'), 0, 0));
    const QString key = text.section(QLatin1Char('\t'), 1, 1);
    if (!key.isEmpty()) action->setShortcut(QKeySequence::fromString(key, QKeySequence::PortableText));
}

}  // namespace

void CMainFrame::CreateMenus() {
    QMenu* popup = nullptr;
    for (const MenuEntry& e : kMenu) {
        switch (e.kind) {
        case Kind::Popup:
            popup = menuBar()->addMenu(QString::fromLatin1(e.text));
            if (!m_pFileMenu) m_pFileMenu = popup;
            break;
        case Kind::Item:
            SetMenuText(Action(e.id), QString::fromLatin1(e.text));
            popup->addAction(Action(e.id));
            break;
        case Kind::Separator:
            popup->addSeparator();
            break;
        case Kind::BarItem:
            SetMenuText(Action(e.id), QString::fromLatin1(e.text));
            menuBar()->addAction(Action(e.id));
            break;
        case Kind::RecentFiles:
            for (int i = 0; i < kRecentFileCount; ++i) popup->addAction(Action(e.id + i));
            SetRecentFiles({});
            break;
        }
    }
    for (const Accelerator& a : kAccelerators) {
        QAction* action = Action(a.id);
        action->setShortcut(QKeySequence::fromString(QString::fromLatin1(a.key)));
        addAction(action);
    }
}

void CMainFrame::SetRecentFiles(const QStringList& paths) {
    for (int i = 0; i < kRecentFileCount; ++i) {
        QAction* action = Action(ID_FILE_MRU_FILE1 + i);
        if (i < paths.size()) {
            QString shown = QDir::toNativeSeparators(paths[i]);
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown.replace(QLatin1Char('&'), QLatin1String("&&"))));
            action->setVisible(true);
        } else {
            // With no recent file, the first item is a greyed placeholder.
            action->setText(QStringLiteral("Recent File"));
            action->setVisible(i == 0);
        }
    }
}
