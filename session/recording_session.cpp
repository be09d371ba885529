// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/recording_session.h"

#include <utility>

RecordingSession::RecordingSession(Recorder& recorder, RecordingPlayer& player, QObject* parent)
    : QObject(parent), m_recorder(recorder), m_player(player) {
    connect(&m_recorder, &Recorder::failed, this, &RecordingSession::failed);
    connect(&m_player, &RecordingPlayer::failed, this, &RecordingSession::failed);
    connect(&m_recorder, &Recorder::stoppedByItself, this, [this] {
        finishTake();
        collect();  // recording() is the one that ended
        emit stateChanged();
    });
    connect(&m_player, &RecordingPlayer::finished, this, [this] {
        if (std::exchange(m_other, false)) emit samplesFinished();
        if (m_state == State::Replaying) setState(State::Held);
    });
}

void RecordingSession::toggleRecord() {
    if (m_recorder.isRecording()) {
        m_recorder.stop();
        finishTake();
        collect();
        setState(State::Held);
    } else if (m_player.isPlaying()) {
        m_player.stop();
        setState(State::Held);
    } else {
        // The last recording stays until the next one is collected.
        m_recorder.clear();
        if (m_recorder.start(kRate)) {
            m_takeItem = m_item, m_takeStart = 0;
            m_hadTurn = false;
        }
        m_state = State::Started;  // also when the device failed to open
        emit stateChanged();
    }
}

void RecordingSession::togglePlayRecorded() {
    if (m_recorder.isRecording()) {
        m_recorder.stop();
        finishTake();
        collect();
        setState(State::Held);
    }
    if (m_state == State::Replaying) {
        m_player.finishSoon();
        return;
    }
    collect();
    setState(m_samples.empty() ? State::Empty : State::Held);
    // A device that does not open was reported; the recording stays for another try.
    if (!m_samples.empty() && m_player.play(m_samples, kRate)) setState(State::Replaying);
}

void RecordingSession::startTurn() {
    if (!m_recorder.isRecording()) return;
    // What came before the first turn (the item being heard) is no take.
    m_hadTurn = true;
    m_takeItem = m_item, m_takeStart = m_recorder.count();
}

void RecordingSession::endTurn() {
    if (!m_recorder.isRecording() || !m_hadTurn) return;
    finishTake();
}

bool RecordingSession::playSamples(std::vector<int16_t> samples, int rate) {
    if (m_recorder.isRecording()) return false;
    if (m_player.isPlaying()) {
        m_other = false;  // replaced, not played out
        m_player.stop();
        if (m_state == State::Replaying) setState(State::Held);
    }
    m_other = m_player.play(std::move(samples), rate);
    return m_other;
}

void RecordingSession::finishTake() {
    if (m_takeStart < 0) return;
    const int from = m_takeStart;
    m_takeStart = -1;
    std::vector<int16_t> take = m_recorder.samples();
    if (from >= int(take.size())) return;
    take.erase(take.begin(), take.begin() + from);
    emit takeFinished(m_takeItem, take);
}

void RecordingSession::collect() { m_samples = m_recorder.samples(); }

void RecordingSession::setState(State state) {
    if (state == m_state) return;
    m_state = state;
    emit stateChanged();
}
