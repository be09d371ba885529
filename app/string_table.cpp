#include "app/string_table.h"

#include "view/command_ids.h"

#include <QStringList>
#include <algorithm>
#include <iterator>

namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStrings[] = {
    {IDR_MAINFRAME, "Parlotype\n\nParlot\nParlotype Files (*.htm)\n.htm\nParlotype.Document\n"
                    "Parlot Document"},
    {ID_AUDIO_START, "Start Replay\nPlay"},
    {ID_AUDIO_STOP, "Stop replay\nStop"},
    {ID_VIEW_SOURCE, "View HTML Source\nSource"},
    {ID_VIEW_PARSE, "View Parsed HTML\nParsed"},
    {ID_AUDIO_PAUSE, "Pause Replay\nPause"},
    {ID_AUDIO_REWIND, "Rewind Replay\nRewind"},
    {ID_AUDIO_FORWARD, "Forward Replay\nForward"},
    {ID_GO_BACK, "Go Back\nGo Back"},
    {ID_GO_FORWARD, "Go Forward\nGo Forward"},
    {ID_GO_HOME, "Go Home\nGo Home"},
    {ID_AUDIO_MARK, "Mark position in audio playback\nMark audio time"},
    {ID_VIEW_MARKS, "View Marked Audio Times\nView Marks"},
    {ID_AUDIO_RECORD, "Record Audio\nRecord"},
    {ID_AUDIO_PLAYREC, "Replay recorded audio\nPlay Recorded"},
    {ID_AUDIO_SINGLE, "Set replay for single items\nReplay single items"},
    {AFX_IDS_APP_TITLE, "Parlotype"},
    {AFX_IDS_IDLEMESSAGE, "Ready"},
    {ID_FILE_NEW, "Go Home\nHome"},
    {ID_FILE_OPEN, "Open an existing document\nOpen"},
    {ID_FILE_PRINT, "Print Page\nPrint"},
    {ID_FILE_MAKE_SCRIPT, "Make a script page from a recording and its text\nMake Script"},
    {ID_FILE_MRU_FILE1, "Open this document"},
    {ID_FILE_MRU_FILE1 + 1, "Open this document"},
    {ID_FILE_MRU_FILE1 + 2, "Open this document"},
    {ID_FILE_MRU_FILE1 + 3, "Open this document"},
    {ID_EDIT_COPY, "Copy the selection and put it on the Clipboard\nCopy"},
    {ID_EDIT_CUT, "Cut the selection and put it on the Clipboard\nCut"},
    {ID_EDIT_PASTE, "Insert Clipboard contents\nPaste"},
    {ID_EDIT_UNDO, "Undo the last action\nUndo"},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
    {ID_APP_EXIT, "Quit the application\nExit"},
    {ID_HELP, "Display Help\nHelp"},
    {ID_NEXT_PANE, "Switch to the next window pane\nNext Pane"},
    {ID_PREV_PANE, "Switch back to the previous window pane\nPrevious Pane"},
    {ID_INDICATOR_TIME, "00.00.0"},
    {ID_INDICATOR_RECORDING, "** Recording **"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
};

}  // namespace

QString LoadString(int id) {
    const auto it = std::find_if(std::begin(kStrings), std::end(kStrings),
                                 [id](const StringEntry& e) { return e.id == id; });
    return it == std::end(kStrings) ? QString() : QString::fromLatin1(it->text);
}

QString PromptString(int id) { return LoadString(id).section(QLatin1Char('\n'), 0, 0); }

QString TooltipString(int id) { return LoadString(id).section(QLatin1Char('\n'), 1, 1); }

QString DocString(int index) { return LoadString(IDR_MAINFRAME).split(QLatin1Char('\n')).value(index); }
