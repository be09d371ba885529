// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/string_table.h"

#include "view/command_ids.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <iterator>

namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStrings[] = {
    {IDR_MAINFRAME, QT_TRANSLATE_NOOP("StringTable", "Parlotype\n\nParlot\nParlotype Files (*.htm)\n.htm\nParlotype.Document\n"
                    "Parlot Document")},
    {ID_AUDIO_START, QT_TRANSLATE_NOOP("StringTable", "Start Replay\nPlay")},
    {ID_AUDIO_STOP, QT_TRANSLATE_NOOP("StringTable", "Stop replay\nStop")},
    {ID_VIEW_SOURCE, QT_TRANSLATE_NOOP("StringTable", "View HTML Source\nSource")},
    {ID_VIEW_PARSE, QT_TRANSLATE_NOOP("StringTable", "View Parsed HTML\nParsed")},
    {ID_AUDIO_PAUSE, QT_TRANSLATE_NOOP("StringTable", "Pause Replay\nPause")},
    {ID_AUDIO_REWIND, QT_TRANSLATE_NOOP("StringTable", "Rewind Replay\nRewind")},
    {ID_AUDIO_FORWARD, QT_TRANSLATE_NOOP("StringTable", "Forward Replay\nForward")},
    {ID_GO_BACK, QT_TRANSLATE_NOOP("StringTable", "Go Back\nGo Back")},
    {ID_GO_FORWARD, QT_TRANSLATE_NOOP("StringTable", "Go Forward\nGo Forward")},
    {ID_GO_HOME, QT_TRANSLATE_NOOP("StringTable", "Go Home\nGo Home")},
    {ID_AUDIO_MARK, QT_TRANSLATE_NOOP("StringTable", "Mark position in audio playback\nMark audio time")},
    {ID_VIEW_MARKS, QT_TRANSLATE_NOOP("StringTable", "View Marked Audio Times\nView Marks")},
    {ID_AUDIO_RECORD, QT_TRANSLATE_NOOP("StringTable", "Record Audio\nRecord")},
    {ID_AUDIO_PLAYREC, QT_TRANSLATE_NOOP("StringTable", "Replay recorded audio\nPlay Recorded")},
    {ID_AUDIO_SINGLE, QT_TRANSLATE_NOOP("StringTable", "Set replay for single items\nReplay single items")},
    {ID_AUDIO_SPEED1, QT_TRANSLATE_NOOP("StringTable", "Play at half speed\nSpeed")},
    {ID_AUDIO_SPEED1 + 1, QT_TRANSLATE_NOOP("StringTable", "Play at 0.6 times the speed\nSpeed")},
    {ID_AUDIO_SPEED1 + 2, QT_TRANSLATE_NOOP("StringTable", "Play at 0.75 times the speed\nSpeed")},
    {ID_AUDIO_SPEED1 + 3, QT_TRANSLATE_NOOP("StringTable", "Play at 0.9 times the speed\nSpeed")},
    {ID_AUDIO_SPEED1 + 4, QT_TRANSLATE_NOOP("StringTable", "Play at the normal speed\nSpeed")},
    {ID_AUDIO_SPEED1 + 5, QT_TRANSLATE_NOOP("StringTable", "Play at 1.25 times the speed\nSpeed")},
    {ID_AUDIO_SPEED1 + 6, QT_TRANSLATE_NOOP("StringTable", "Play at 1.5 times the speed\nSpeed")},
    {ID_AUDIO_SPEED1 + 7, QT_TRANSLATE_NOOP("StringTable", "Play at twice the speed\nSpeed")},
    {ID_AUDIO_SLOWER, QT_TRANSLATE_NOOP("StringTable", "Play slower, keeping the pitch\nSlower")},
    {ID_AUDIO_FASTER, QT_TRANSLATE_NOOP("StringTable", "Play faster, keeping the pitch\nFaster")},
    {ID_AUDIO_REPEAT, QT_TRANSLATE_NOOP("StringTable", "Play the link again when it ends\nRepeat")},
    {ID_AUDIO_PAUSE_AFTER, QT_TRANSLATE_NOOP("StringTable", "Pause after each item as long as it took, for repeating aloud\nPause after items")},
    {ID_VIEW_FOLLOW, QT_TRANSLATE_NOOP("StringTable", "Move the page to the item sounding\nFollow Page")},
    {ID_AUDIO_NEXT_ITEM, QT_TRANSLATE_NOOP("StringTable", "Play from the next item of the page\nNext Item")},
    {ID_AUDIO_PREV_ITEM, QT_TRANSLATE_NOOP("StringTable", "Play from the previous item of the page\nPrevious Item")},
    {AFX_IDS_IDLEMESSAGE, QT_TRANSLATE_NOOP("StringTable", "Ready")},
    {ID_FILE_NEW, QT_TRANSLATE_NOOP("StringTable", "Go Home\nHome")},
    {ID_FILE_OPEN, QT_TRANSLATE_NOOP("StringTable", "Open an existing document\nOpen")},
    {ID_FILE_PRINT, QT_TRANSLATE_NOOP("StringTable", "Print Page\nPrint")},
    {ID_FILE_MAKE_SCRIPT, QT_TRANSLATE_NOOP("StringTable", "Make a script page from a recording and its text\nMake Script")},
    {ID_FILE_MRU_FILE1, QT_TRANSLATE_NOOP("StringTable", "Open this document")},
    {ID_FILE_MRU_FILE1 + 1, QT_TRANSLATE_NOOP("StringTable", "Open this document")},
    {ID_FILE_MRU_FILE1 + 2, QT_TRANSLATE_NOOP("StringTable", "Open this document")},
    {ID_FILE_MRU_FILE1 + 3, QT_TRANSLATE_NOOP("StringTable", "Open this document")},
    {ID_APP_ABOUT, QT_TRANSLATE_NOOP("StringTable", "Display program information, version number and copyright\nAbout")},
    {ID_APP_EXIT, QT_TRANSLATE_NOOP("StringTable", "Quit the application\nExit")},
    {ID_HELP, QT_TRANSLATE_NOOP("StringTable", "Display Help\nHelp")},
    {ID_INDICATOR_TIME, QT_TRANSLATE_NOOP("StringTable", "00.00.0")},
    {ID_INDICATOR_RECORDING, QT_TRANSLATE_NOOP("StringTable", "** Recording **")},
    {ID_INDICATOR_SPEED, QT_TRANSLATE_NOOP("StringTable", "0.75\u00d7")},
    {ID_INDICATOR_TURN, QT_TRANSLATE_NOOP("StringTable", "Your turn")},
    {ID_VIEW_TOOLBAR, QT_TRANSLATE_NOOP("StringTable", "Show or hide the toolbar\nToggle ToolBar")},
    {ID_VIEW_STATUS_BAR, QT_TRANSLATE_NOOP("StringTable", "Show or hide the status bar\nToggle StatusBar")},
};

}  // namespace

QString LoadString(int id) {
    const auto it = std::find_if(std::begin(kStrings), std::end(kStrings),
                                 [id](const StringEntry& e) { return e.id == id; });
    return it == std::end(kStrings) ? QString() : QCoreApplication::translate("StringTable", it->text);
}

QString PromptString(int id) { return LoadString(id).section(QLatin1Char('\n'), 0, 0); }

QString TooltipString(int id) { return LoadString(id).section(QLatin1Char('\n'), 1, 1); }

QString DocString(int index) { return LoadString(IDR_MAINFRAME).split(QLatin1Char('\n')).value(index); }
