// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CParlotypeView: the script view. Shows script pages in the embedded
// browser and turns link navigation into audio playback; owns the table of
// the page's audio items, the marks and the recorded samples, and carries
// the program's commands apart from the file commands and the About box.
//
// The view is split into files by area:
//   parlotype_view.cpp   construction, destruction
//   view_navigation.cpp  navigation policy, audio links, Go Home, Help Contents
//   view_items.cpp       the audio-item table and current-item tracking
//   view_source.cpp      View Source and View Parse
//   view_recording.cpp   Record, Play Recorded and the recording devices' notifications
//   view_practice.cpp    speed, repeat, pause after each item, Follow Page,
//                        next and previous item
//   command_table.cpp    the command table (ID -> command and update handler)
//                        and the table of wave notifications
// Transport, marks, recording and the source dialogs each add a file of
// their own defining the handlers declared below, then fill in their
// entries of command_table.cpp.

#include "script/audio_item.h"
#include "view/command_map.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class CParlotypeDoc;
class QTimer;
namespace platform {
class WaveEvent;
class WebView;
}  // namespace platform

class CParlotypeView : public QWidget, public CCmdTarget {
public:
    // `scriptIndex` is the path Go Home and "index:" lead to.
    CParlotypeView(CParlotypeDoc* pDocument, const QString& scriptIndex, QWidget* parent = nullptr);
    ~CParlotypeView() override;
    CParlotypeView(const CParlotypeView&) = delete;
    CParlotypeView& operator=(const CParlotypeView&) = delete;

    CParlotypeDoc* GetDocument() const { return m_pDocument; }
    platform::WebView* GetWebView() const { return m_pWebView; }

    // Navigation (view_navigation.cpp)
    void OnInitialUpdate();                       // after every new or opened document
    bool OnBeforeNavigate2(const QString& url);   // false cancels the navigation
    bool PlayAudioLink(const QString& url);       // true: the link was taken over
    void Navigate2(const QString& url);
    void LoadFromResource();                      // the built-in home page

    // Audio item table and tracking (view_items.cpp)
    void ScanItems(const QString& fileName);
    void ShowItemAt(double seconds);
    // While a file sounds, the playback is tracked this often.
    static constexpr int kTrackWakeMs = 20;
    // Plays on from `seconds` of the file playing (the desktop's media
    // controls); false when nothing plays.
    bool jumpTo(double seconds);
    // How many times the position has jumped within a playback (a seek, a
    // repeat, a link into the file playing, Next or Previous Item).
    int positionJumps() const { return m_jumps; }

    // Commands, in the order of the command table
    bool OnCmdMsg(int id, CCmdUI* pCmdUI) override;
    void OnAudioStart();
    void OnUpdateAudioStart(CCmdUI* pCmdUI);  // also Rewind and Forward
    void OnAudioStop();
    void OnUpdateAudioStop(CCmdUI* pCmdUI);
    void OnFilePrint();
    void OnViewSource();
    void OnViewParse();
    void OnAudioPause();
    void OnUpdateAudioPause(CCmdUI* pCmdUI);
    void OnAudioRewind();
    void OnAudioForward();
    void OnGoBack();
    void OnGoForward();
    void OnGoHome();
    void OnAudioMark();
    void OnViewMarks();
    void OnAudioRecord();
    void OnUpdateAudioRecord(CCmdUI* pCmdUI);
    void OnAudioPlayrec();
    void OnUpdateAudioPlayrec(CCmdUI* pCmdUI);
    void OnAudioSingle();
    void OnUpdateAudioSingle(CCmdUI* pCmdUI);
    void OnHelpContents();
    void OnUpdateIndicatorTime(CCmdUI* pCmdUI);
    void OnUpdateIndicatorRecording(CCmdUI* pCmdUI);
    void OnAudioSlower();
    void OnUpdateAudioSlower(CCmdUI* pCmdUI);
    void OnAudioFaster();
    void OnUpdateAudioFaster(CCmdUI* pCmdUI);
    void OnAudioRepeat();
    void OnUpdateAudioRepeat(CCmdUI* pCmdUI);
    void OnAudioPauseAfter();
    void OnUpdateAudioPauseAfter(CCmdUI* pCmdUI);
    void OnViewFollow();
    void OnUpdateViewFollow(CCmdUI* pCmdUI);
    void OnAudioNextItem();
    void OnAudioPrevItem();
    void OnUpdateAudioNextItem(CCmdUI* pCmdUI);  // also Previous Item
    void OnUpdateIndicatorSpeed(CCmdUI* pCmdUI);
    void OnUpdateIndicatorTurn(CCmdUI* pCmdUI);

    // Practice (view_practice.cpp)
    // Sets the playback speed (clamped to the player's range) and keeps it in
    // the settings.
    void SetSpeed(double speed);
    // The anchor name of the item now sounding; empty when none.
    QString CurrentItemName() const;
    // How many audio items the page shown has for the file loaded.
    int ItemCount() const { return m_nItems; }

    // Wave notifications from the recorder and the recording player
    void OnWimData(platform::WaveEvent* pEvent);
    void OnWomDone(platform::WaveEvent* pEvent);
    void OnWomClose(platform::WaveEvent* pEvent);

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;  // the tracking timer (view_items.cpp)

private:
    // Tracking (view_items.cpp): one round of it, and its timer started.
    void track();
    void startTracking();
    // Practice (view_practice.cpp)
    void LoadPracticeSettings();
    bool OnSpeedCmdMsg(int id, CCmdUI* pCmdUI);  // the Audio > Speed items
    QString ItemName(int k) const;
    double ItemSeconds(int k) const;
    void GoToItem(int k);
    void FinishStretch();                         // the end time passed
    void RepeatAtDataEnd();
    void StartTurn(double fileSeconds);
    void EndTurn();
    void MarkItem(int k);                         // highlights item k; -1 none

    // Recording and its replay (view_recording.cpp)
    void TakeBackStoppedBuffers();
    void CollectRecording();
    void QueueRecordedPart();
    int RecordedSamples() const { return int(m_recSamples.size()); }

    // State
    int m_nMaxItems = kMaxAudioItems;
    std::unique_ptr<AudioItem[]> m_items;  // m_nMaxItems records, allocated zero-filled once
    int m_nItems = 0;
    QStringList m_marks;
    double m_dEndTime = 0;         // end time of the audio link now playing; 0 = none
    int m_bSingleItem = 0;
    std::vector<int16_t> m_recSamples;  // the joined recording (from the recorder)
    int m_nReplayPos = 0;
    int m_nRecState = 0;
    int m_nCurItem = -1;           // index into m_items of the current item; -1 = none

    CParlotypeDoc* m_pDocument;
    QString m_strScriptIndex;
    platform::WebView* m_pWebView;
    int m_nTrackTimer = 0;  // id of the tracking timer; 0 while it is not running
    int m_jumps = 0;       // see positionJumps

    // Practice
    int m_bRepeat = 0;
    int m_bPauseAfter = 0;
    int m_bFollowPage = 1;
    double m_dLinkStart = 0;       // start time of the audio link now playing
    int m_bRepeatArmed = 0;        // the playback may repeat when its data ends (not after Stop)
    QTimer* m_pTurnTimer;          // runs while it is the reader's turn
    bool m_turnTaken = false;      // the current item has had its turn
    QString m_strMarked;           // anchor name of the highlighted item
};
