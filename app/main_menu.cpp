// SPDX-License-Identifier: GPL-3.0-or-later
// The menu bar, described as a table, and the File menu's recent files.
#include "app/main_frame.h"

#include "view/command_ids.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>

namespace {

enum class Kind { Popup, Item, Separator, BarItem, RecentFiles, Speeds };

struct MenuEntry {
    Kind kind;
    const char* text;  // an item's text, marked for translation: after '\t' its shortcut
    int id;
    // The shortcut works whatever has the focus (the page included).
    bool global = false;
};

// Within a menu no two items share an access letter. Audio's letters of long
// standing stay; Faster has none left (Speed reaches every speed).
constexpr MenuEntry kMenu[] = {
    {Kind::Popup, QT_TRANSLATE_NOOP("CMainFrame", "&File"), 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Open...\tCtrl+O"), ID_FILE_OPEN},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Print\tCtrl+P"), ID_FILE_PRINT},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Make Script..."), ID_FILE_MAKE_SCRIPT},
    {Kind::Separator, nullptr, 0},
    {Kind::RecentFiles, QT_TRANSLATE_NOOP("CMainFrame", "Recent File"), ID_FILE_MRU_FILE1},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "E&xit"), ID_APP_EXIT},
    {Kind::Popup, QT_TRANSLATE_NOOP("CMainFrame", "&Go"), 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Back"), ID_GO_BACK},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Forward"), ID_GO_FORWARD},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Home"), ID_GO_HOME},
    {Kind::Popup, QT_TRANSLATE_NOOP("CMainFrame", "&Audio"), 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Start"), ID_AUDIO_START},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "S&top\tF4"), ID_AUDIO_STOP, true},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Pause\tF6"), ID_AUDIO_PAUSE, true},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Rewind\tF5"), ID_AUDIO_REWIND, true},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Forward\tF7"), ID_AUDIO_FORWARD, true},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "Pre&vious Item"), ID_AUDIO_PREV_ITEM},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Next Item"), ID_AUDIO_NEXT_ITEM},
    {Kind::Separator, nullptr, 0},
    {Kind::Speeds, QT_TRANSLATE_NOOP("CMainFrame", "Spee&d"), ID_AUDIO_SPEED1},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "Slo&wer\tF9"), ID_AUDIO_SLOWER, true},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "Faster\tF10"), ID_AUDIO_FASTER, true},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "Single &Item Play"), ID_AUDIO_SINGLE},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "Repe&at\tF3"), ID_AUDIO_REPEAT, true},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "Pause After Ea&ch Item"), ID_AUDIO_PAUSE_AFTER},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "R&ecord"), ID_AUDIO_RECORD},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "P&lay Recorded"), ID_AUDIO_PLAYREC},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Mark!\tF8"), ID_AUDIO_MARK, true},
    {Kind::BarItem, QT_TRANSLATE_NOOP("CMainFrame", "&Mark!\tF8"), ID_AUDIO_MARK, true},
    {Kind::Popup, QT_TRANSLATE_NOOP("CMainFrame", "&View"), 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "S&ource"), ID_VIEW_SOURCE},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Parse"), ID_VIEW_PARSE},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Marks"), ID_VIEW_MARKS},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Follow Page"), ID_VIEW_FOLLOW},
    {Kind::Separator, nullptr, 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Toolbar"), ID_VIEW_TOOLBAR},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Status Bar"), ID_VIEW_STATUS_BAR},
    {Kind::Popup, QT_TRANSLATE_NOOP("CMainFrame", "&Help"), 0},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&Contents"), ID_HELP},
    {Kind::Item, QT_TRANSLATE_NOOP("CMainFrame", "&About parlotype..."), ID_APP_ABOUT},
};

// Keys with no menu item of their own.
struct Accelerator {
    const char* key;
    int id;
};

constexpr Accelerator kAccelerators[] = {
    {"Ctrl+N", ID_FILE_NEW},  // a new document: the built-in home page
};

QString MenuText(const char* text) { return QCoreApplication::translate("CMainFrame", text); }

// Sets an action's text and binds the shortcut written after its '\t'.
void SetMenuText(QAction* action, const QString& text, bool global) {
    action->setText(text.section(QLatin1Char('\t'), 0, 0));
    const QString key = text.section(QLatin1Char('\t'), 1, 1);
    if (key.isEmpty()) return;
    action->setShortcut(QKeySequence::fromString(key, QKeySequence::PortableText));
    if (global) action->setShortcutContext(Qt::ApplicationShortcut);
}

}  // namespace

void CMainFrame::CreateMenus() {
    QMenu* popup = nullptr;
    for (const MenuEntry& e : kMenu) {
        switch (e.kind) {
        case Kind::Popup:
            popup = menuBar()->addMenu(MenuText(e.text));
            if (!m_pFileMenu) m_pFileMenu = popup;
            break;
        case Kind::Item:
            SetMenuText(Action(e.id), MenuText(e.text), e.global);
            popup->addAction(Action(e.id));
            break;
        case Kind::Separator:
            popup->addSeparator();
            break;
        case Kind::BarItem:
            SetMenuText(Action(e.id), MenuText(e.text), e.global);
            menuBar()->addAction(Action(e.id));
            break;
        case Kind::RecentFiles:
            for (int i = 0; i < kRecentFileCount; ++i) popup->addAction(Action(e.id + i));
            SetRecentFiles({});
            break;
        case Kind::Speeds: {
            QMenu* speeds = popup->addMenu(MenuText(e.text));
            for (int i = 0; i < kSpeedCount; ++i) {
                QAction* action = Action(e.id + i);
                action->setText(QString::number(kSpeeds[i]) + QChar(0x00D7));
                speeds->addAction(action);
            }
            break;
        }
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
            action->setText(MenuText("Recent File"));
            action->setVisible(i == 0);
        }
    }
}
