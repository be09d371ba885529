// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/playback_session.h"

#include "platform/page_stream.h"
#include "script/audio_link.h"
#include "script/time_text.h"

#include <QFile>
#include <QTimerEvent>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace {

// The reader's turn lasts as long as the item took, within these bounds.
constexpr double kMinTurnSeconds = 0.3;
constexpr double kMaxTurnSeconds = 60.0;

}  // namespace

PlaybackSession::PlaybackSession(FilePlayer& player, QObject* parent) : QObject(parent), m_player(player) {
    m_turnTimer.setSingleShot(true);
    m_wordTimer.setSingleShot(true);
    m_wordTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_wordTimer, &QTimer::timeout, this, [this] {
        if (isSounding()) showWordAt(position());
    });
    connect(&m_turnTimer, &QTimer::timeout, this, &PlaybackSession::endTurn);
    connect(&m_player, &FilePlayer::failed, this, &PlaybackSession::failed);
}

PlaybackSession::State PlaybackSession::state() const {
    if (!m_player.isPlaying()) return State::Stopped;
    if (m_inTurn) return State::Turn;
    return m_player.isPaused() ? State::Paused : State::Playing;
}

QString PlaybackSession::currentItemName() const {
    return m_currentItem == -1 ? QString() : m_items[size_t(m_currentItem)].name;
}

bool PlaybackSession::playLink(const QString& link, const QString& pageUrl) {
    const AudioLinkParts parts = splitAudioLink(link);
    if (parts.file == fileName() && isPlaying()) jumped();
    if (parts.file != fileName()) {
        m_currentItem = -1;
        const bool opened = m_player.open(parts.file);
        scanItems(opened ? pageUrl : QString(), parts.file);  // none for a file not opened
        emit fileChanged(fileName());
        if (!opened) {
            reportChanges();
            return false;
        }
    } else if (!pageUrl.isEmpty() && QUrl(pageUrl).adjusted(QUrl::RemoveFragment) != m_itemsPage) {
        scanItems(pageUrl, parts.file);  // the file loaded, played from another page: that page's items
    }
    cancelTurn();
    m_player.play(parts.start);
    m_linkStart = parts.start;
    m_endTime = parts.end;
    m_repeatArmed = true;
    m_currentItem = -1;
    startTracking();
    reportChanges();
    return true;
}

void PlaybackSession::scanItems(const QString& pageUrl, const QString& fileName) {
    m_items.clear();
    m_itemsPage.clear();
    if (pageUrl.isEmpty() || pageUrl.startsWith(QLatin1String("res:"))) return;  // no page, or the built-in one
    m_itemsPage = QUrl(pageUrl).adjusted(QUrl::RemoveFragment);  // tried once, whatever comes of it
    platform::PageOpenResult page = platform::openPageStream(pageUrl);
    if (page.status == platform::PageOpenStatus::Unreadable) {
        emit failed(page.message);
        return;
    }
    if (page.status != platform::PageOpenStatus::Opened) return;  // an internet error: quietly none
    std::vector<AudioItem> items(kMaxAudioItems);
    const int n = scanItemsFromStream(*page.stream, pageUrl, fileName, items.data(), kMaxAudioItems);
    if (page.stream->failed()) {
        // Part of the page is missing: keep no items rather than some.
        emit failed(page.stream->errorMessage());
        return;
    }
    items.resize(size_t(n));
    m_items = std::move(items);
    // Word times come with pages Make Script wrote: local files.
    m_words.clear();
    QFile file(QUrl(pageUrl).toLocalFile());
    if (!QUrl(pageUrl).isLocalFile() || !file.open(QIODevice::ReadOnly)) return;
    for (PageItemWords& item : readPageWords(file.readAll())) m_words.insert(item.anchor, std::move(item.words));
}

void PlaybackSession::start() {
    cancelTurn();
    m_linkStart = 0;
    m_repeatArmed = true;
    m_player.play(0.0);
    startTracking();
    reportChanges();
}

void PlaybackSession::stop() {
    m_repeatArmed = false;
    m_player.stop();
    startTracking();
    reportChanges();
}

void PlaybackSession::togglePause() {
    if (m_inTurn)
        endTurn();
    else if (m_player.isPaused())
        m_player.resume();
    else if (m_player.isPlaying())
        m_player.pause();
    startTracking();
    reportChanges();
}

// Rewind and Forward play again from the new position; a paused playback
// restarts unpaused. The end time of the last link still applies.
void PlaybackSession::rewind() {
    if (isPlaying()) jumped();
    m_player.play(std::max(position() - kSkipSeconds, 0.0));
    startTracking();
    reportChanges();
}

// No upper bound: a start beyond the end plays nothing.
void PlaybackSession::forward() {
    if (isPlaying()) jumped();
    m_player.play(position() + kSkipSeconds);
    startTracking();
    reportChanges();
}

bool PlaybackSession::nextItem() {
    const double pos = position();
    int k = m_currentItem + 1;
    if (m_currentItem == -1) {
        k = 0;
        while (k < itemCount() && m_items[size_t(k)].start <= pos) ++k;
    }
    goToItem(k);
    return k >= 0 && k < itemCount();
}

bool PlaybackSession::previousItem() {
    const double pos = position();
    int k = m_currentItem - 1;
    if (m_currentItem == -1) {
        k = itemCount() - 1;
        while (k >= 0 && m_items[size_t(k)].start >= pos) --k;
    }
    goToItem(k);
    return k >= 0 && k < itemCount();
}

// Plays from item k to the end of the file; Single Item Play still stops after it.
void PlaybackSession::goToItem(int k) {
    if (k < 0 || k >= itemCount()) return;
    cancelTurn();
    m_currentItem = -1;  // found again by the next round, without a turn
    m_linkStart = m_items[size_t(k)].start;
    m_endTime = 0;
    m_repeatArmed = true;
    jumped();
    if (!m_player.playFrom(m_linkStart)) m_player.play(m_linkStart);
    startTracking();
    reportChanges();
}

bool PlaybackSession::jumpTo(double seconds) {
    if (!m_player.playFrom(seconds)) return false;
    cancelTurn();
    m_currentItem = -1;  // found again by the next round, without a turn
    jumped();
    startTracking();
    reportChanges();
    return true;
}

void PlaybackSession::setSpeed(double speed) {
    speed = std::clamp(speed, FilePlayer::kMinSpeed, FilePlayer::kMaxSpeed);
    if (speed == m_player.speed() || !m_player.setSpeed(speed)) return;  // unchanged, or not a number
    emit speedChanged(speed);
}

// Slower and Faster step to the next speed of the list, from any speed.
void PlaybackSession::slower() {
    const double now = speed();
    const auto it = std::find_if(kSpeeds.rbegin(), kSpeeds.rend(), [now](double s) { return s < now; });
    if (it != kSpeeds.rend()) setSpeed(*it);
}

void PlaybackSession::faster() {
    const double now = speed();
    const auto it = std::find_if(kSpeeds.begin(), kSpeeds.end(), [now](double s) { return s > now; });
    if (it != kSpeeds.end()) setSpeed(*it);
}

void PlaybackSession::setRepeat(bool on) {
    m_repeat = on;
    emit practiceChanged();
}

void PlaybackSession::setSingleItem(bool on) {
    m_singleItem = on;
    emit practiceChanged();
}

void PlaybackSession::setPauseAfterItem(bool on) {
    m_pauseAfterItem = on;
    if (!on && m_inTurn) endTurn();
    emit practiceChanged();
}

// A paused playback still counts as playing, so marks can be taken in a pause.
void PlaybackSession::mark() {
    if (!isPlaying()) return;
    QString mark = markText(fileName(), position());
    if (m_currentItem != -1 && m_currentWord != -1)  // the word sounding, after the link
        mark.insert(mark.size() - 2, QLatin1Char(' ') + m_words.value(m_items[size_t(m_currentItem)].name)[size_t(m_currentWord)].text);
    m_marks.append(mark);
    emit marksChanged();
}

void PlaybackSession::clearMarks() {
    m_marks.clear();
    emit marksChanged();
}

void PlaybackSession::startTracking() {
    if (!m_trackTimer.isActive()) m_trackTimer.start(kTrackWakeMs, Qt::PreciseTimer, this);
}

void PlaybackSession::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_trackTimer.timerId())
        track();
    else
        QObject::timerEvent(e);
}

// One round of tracking. Runs every kTrackWakeMs while the file sounds,
// whatever the window shows; the player's returned buffers may be seconds apart.
void PlaybackSession::track() {
    const int jumps = m_jumps;
    if (!m_player.isPlaying()) {
        cancelTurn();
        announce(-1);
        repeatAtDataEnd();
    } else if (!m_player.isPaused() && !m_player.hasQueuedAudio()) {
        // A start past the end of the data plays nothing: that playback is
        // over, and there is nothing to repeat.
        m_repeatArmed = false;
        m_player.stop();
        reportChanges();
        return;  // the next round ends it
    } else if (m_inTurn) {
        // The reader's turn: nothing moves until it ends.
    } else {
        const double pos = position();
        emit positionChanged(pos);
        if (m_endTime <= 0 || pos <= m_endTime)
            showItemAt(pos);
        else if (m_pauseAfterItem && !m_player.isPaused() && !m_turnTaken) {
            // The end time: a turn for what was heard, unless the item had its turn just now.
            m_turnTaken = true;
            startTurn(m_endTime - (m_currentItem == -1 ? m_linkStart : std::max(m_linkStart, m_items[size_t(m_currentItem)].start)));
        } else {
            finishStretch();
        }
    }
    // A repeat shows its item at once.
    if (m_jumps != jumps && isSounding()) showItemAt(position());
    if (!isSounding()) m_trackTimer.stop();  // paused or stopped: a command or the turn's end starts it again
    reportChanges();
}

void PlaybackSession::showItemAt(double seconds) {
    const int k = findCurrentItem(m_items.data(), itemCount(), seconds);
    if (k == m_currentItem) {
        announce(k);  // again after a stop
        showWordAt(seconds);
        return;
    }
    if (m_singleItem && m_currentItem != -1) {
        // The sounding item changed: single-item play ends, or with Repeat
        // plays the item again.
        if (m_repeat && m_player.playFrom(m_items[size_t(m_currentItem)].start))
            jumped();
        else
            m_player.stop();
        return;
    }
    if (m_pauseAfterItem && m_currentItem != -1 && k > m_currentItem && !m_turnTaken) {
        // The item just heard stays current through the reader's turn.
        m_turnTaken = true;
        startTurn(itemSeconds(m_currentItem));
        return;
    }
    m_currentItem = k;
    m_turnTaken = false;
    announce(k, true);
    showWordAt(seconds);
}

void PlaybackSession::showWordAt(double seconds) {
    int word = -1;
    double next = -1;  // the next change: this word's end or the next one's start
    const QString item = m_currentItem == -1 ? QString() : m_items[size_t(m_currentItem)].name;
    if (const auto it = m_words.constFind(item); it != m_words.constEnd()) {
        for (size_t i = 0; i < it->size(); ++i) {
            const PageWord& w = (*it)[i];
            if (w.start > seconds) {
                next = next < 0 ? w.start : std::min(next, w.start);
                break;
            }
            if (seconds < w.end) word = int(i), next = w.end;
        }
    }
    if (word != m_currentWord) {
        m_currentWord = word;
        emit currentWordChanged(item, word);
    }
    if (next > seconds && isSounding())
        m_wordTimer.start(std::max(1, int(std::ceil((next - seconds) / speed() * 1000))));
    else
        m_wordTimer.stop();
}

void PlaybackSession::announce(int k, bool anew) {
    const QString name = k == -1 ? QString() : m_items[size_t(k)].name;
    if (k == -1 && m_currentWord != -1) {
        m_wordTimer.stop();
        m_currentWord = -1;
        emit currentWordChanged(QString(), -1);
    }
    if (!anew && name == m_announced) return;
    m_announced = name;
    emit currentItemChanged(name);
}

// At the end time: with Repeat the stretch plays again from its start.
void PlaybackSession::finishStretch() {
    if (m_repeat && m_player.playFrom(m_linkStart)) {
        m_currentItem = -1;
        jumped();
        return;
    }
    m_player.stop();
}

// With Repeat, a playback that ran to the end of the data starts again from
// the link's start. One attempt: a failing device ends it.
void PlaybackSession::repeatAtDataEnd() {
    if (!m_repeatArmed) return;
    m_repeatArmed = false;
    if (m_repeat && isLoaded() && m_player.play(m_linkStart)) {
        m_currentItem = -1;
        jumped();
        m_repeatArmed = true;
    }
}

// The reader's turn after `fileSeconds` of the file: paused as long as
// those took to hear.
void PlaybackSession::startTurn(double fileSeconds) {
    const double seconds = std::clamp(fileSeconds / speed(), kMinTurnSeconds, kMaxTurnSeconds);
    m_player.pause();
    m_turnTimer.start(int(std::lround(seconds * 1000)));
    m_inTurn = true;
    emit turnStarted();
    reportChanges();
}

// A new playback or a jump: the turn ends without resuming.
void PlaybackSession::cancelTurn() {
    m_turnTimer.stop();
    if (!m_inTurn) return;
    m_inTurn = false;
    emit turnEnded();
}

// The turn is over: playback goes on, or, past the end time, the stretch ends.
void PlaybackSession::endTurn() {
    cancelTurn();
    if (!m_player.isPaused()) return;
    m_player.resume();
    startTracking();
    if (m_endTime > 0 && position() > m_endTime) finishStretch();
    reportChanges();
}

// The span of item k up to where the next one starts (or its end, or the
// end time), in file seconds.
double PlaybackSession::itemSeconds(int k) const {
    const AudioItem& item = m_items[size_t(k)];
    double end = k + 1 < itemCount() ? m_items[size_t(k) + 1].start : position();
    if (item.end > item.start) end = item.end;
    if (m_endTime > 0) end = std::min(end, m_endTime);
    return end - item.start;
}

void PlaybackSession::jumped() {
    ++m_jumps;
    emit positionJumped();
}

void PlaybackSession::reportChanges() {
    const State now = state();
    if (now == m_reportedState) return;
    m_reportedState = now;
    emit stateChanged(now);
}
