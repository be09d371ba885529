// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// PlaybackSession: the playback of a script's audio, whoever drives it (the
// window, the desktop's media controls, `--play`). It plays audio links on
// the file player, knows the page's items for the file playing, and tracks
// the playback on a timer of its own while it sounds: the end time, Single
// Item Play, Repeat, Pause After Each Item (the reader's turn) and the item
// sounding. It reports by signals and has no widgets.

#include "align/script_page.h"
#include "audio/file_player.h"
#include "script/audio_item.h"

#include <QBasicTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <array>
#include <vector>

class PlaybackSession : public QObject {
    Q_OBJECT
public:
    enum class State { Stopped, Playing, Paused, Turn };

    // Audio > Speed, slowest first; 1 is the normal speed.
    static constexpr std::array<double, 8> kSpeeds = {0.5, 0.6, 0.75, 0.9, 1.0, 1.25, 1.5, 2.0};
    static constexpr double kSkipSeconds = 15.0;  // Rewind and Forward
    static constexpr int kTrackWakeMs = 20;       // tracking rounds while the file sounds

    explicit PlaybackSession(FilePlayer& player, QObject* parent = nullptr);

    // Plays `link` (FILE, FILE#START or FILE#START#END, seconds) from the page
    // at `pageUrl`, whose items for FILE are read when FILE is not the one
    // loaded. False when the file could not be opened (it was reported).
    bool playLink(const QString& link, const QString& pageUrl = QString());

    // Transport.
    void start();        // the loaded file from its beginning
    void stop();         // the file stays loaded; nothing repeats
    void togglePause();  // during the reader's turn: ends the turn early
    void rewind();
    void forward();
    // Play from the start of the item after or before the current one (from
    // the position when none is current) to the end of the file. False when
    // there is no such item.
    bool nextItem();
    bool previousItem();
    // Plays on from `seconds` of the file playing; false when nothing plays.
    bool jumpTo(double seconds);

    // Practice.
    void setSpeed(double speed);  // clamped to the player's range
    void slower();
    void faster();
    void setRepeat(bool on);
    void setSingleItem(bool on);
    void setPauseAfterItem(bool on);

    // Marks: the position of the file playing, as links.
    void mark();
    QStringList marks() const { return m_marks; }
    void clearMarks();

    State state() const;
    bool isLoaded() const { return m_player.isLoaded(); }
    bool isPlaying() const { return m_player.isPlaying(); }  // also paused or in a turn
    double position() const { return m_player.position(); }
    double length() const { return m_player.length(); }
    QString fileName() const { return m_player.fileName(); }
    bool hasQueuedAudio() const { return m_player.hasQueuedAudio(); }
    bool deviceFailed() const { return m_player.deviceFailed(); }
    double speed() const { return m_player.speed(); }
    bool canGoSlower() const { return speed() > kSpeeds.front(); }
    bool canGoFaster() const { return speed() < kSpeeds.back(); }
    bool repeat() const { return m_repeat; }
    bool singleItem() const { return m_singleItem; }
    bool pauseAfterItem() const { return m_pauseAfterItem; }
    int itemCount() const { return int(m_items.size()); }
    // The page the items were read from, fragment aside; empty for none.
    QUrl itemsPage() const { return m_itemsPage; }
    QString currentItemName() const;

signals:
    void stateChanged(PlaybackSession::State state);
    // Every tracking round while the file sounds, and when it stops.
    void positionChanged(double seconds);
    // The position jumped within a playback: a seek, a repeat, a link into
    // the file playing, Next or Previous Item.
    void positionJumped();
    // The item sounding; an empty name when none is.
    void currentItemChanged(const QString& name);
    // The word sounding, on a page that times its words: its index among
    // the item's timed words, -1 when none sounds. Reported at the word's
    // start, not at the next tracking round.
    void currentWordChanged(const QString& item, int word);
    void turnStarted();
    void turnEnded();
    void speedChanged(double speed);
    void practiceChanged();  // Repeat, Single Item Play or Pause After Each Item
    void fileChanged(const QString& path);
    void marksChanged();
    void failed(const QString& message);

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    void scanItems(const QString& pageUrl, const QString& fileName);
    void startTracking();
    void track();
    void showItemAt(double seconds);
    void goToItem(int k);
    void finishStretch();
    void repeatAtDataEnd();
    void startTurn(double fileSeconds);
    void endTurn();
    void cancelTurn();
    double itemSeconds(int k) const;
    // The item sounding is k (-1 none); reported when its name changes, or
    // `anew` when it became current again.
    void announce(int k, bool anew = false);
    // The word sounding at `seconds` within the current item, and the timer
    // for the next word's start or this one's end.
    void showWordAt(double seconds);
    void jumped();
    void reportChanges();
    bool isSounding() const { return m_player.isPlaying() && !m_player.isPaused(); }

    FilePlayer& m_player;
    std::vector<AudioItem> m_items;  // the page's items for the file loaded
    QUrl m_itemsPage;
    QHash<QString, std::vector<PageWord>> m_words;  // their timed words, by anchor name
    int m_currentWord = -1;
    QTimer m_wordTimer;
    int m_currentItem = -1;          // index of the current item; -1 none
    QString m_announced;             // name last reported as sounding
    double m_linkStart = 0;          // start of the audio link now playing
    double m_endTime = 0;            // its end time; 0 none
    bool m_repeatArmed = false;      // may repeat when the data ends (not after Stop)
    bool m_repeat = false;
    bool m_singleItem = false;
    bool m_pauseAfterItem = false;
    bool m_turnTaken = false;        // the current item has had its turn
    bool m_inTurn = false;           // the reader's turn: paused until m_turnTimer ends it
    QTimer m_turnTimer;
    int m_jumps = 0;                 // position jumps so far
    QBasicTimer m_trackTimer;        // runs while the file sounds
    QStringList m_marks;
    State m_reportedState = State::Stopped;
};
