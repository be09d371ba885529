// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/recording_session.h"

RecordingSession::RecordingSession(Recorder& recorder, RecordingPlayer& player, QObject* parent)
    : QObject(parent), m_recorder(recorder), m_player(player) {
    connect(&m_recorder, &Recorder::failed, this, &RecordingSession::failed);
    connect(&m_player, &RecordingPlayer::failed, this, &RecordingSession::failed);
    connect(&m_recorder, &Recorder::stoppedByItself, this, &RecordingSession::stateChanged);
    connect(&m_player, &RecordingPlayer::finished, this, [this] {
        if (m_state == State::Replaying) setState(State::Held);
    });
}

void RecordingSession::toggleRecord() {
    if (m_recorder.isRecording()) {
        m_recorder.stop();
        collect();
        setState(State::Held);
    } else if (m_player.isPlaying()) {
        m_player.stop();
        setState(State::Held);
    } else {
        // The last recording stays until the next one is collected.
        m_recorder.clear();
        m_recorder.start(kRate);
        m_state = State::Started;  // also when the device failed to open
        emit stateChanged();
    }
}

void RecordingSession::togglePlayRecorded() {
    if (m_recorder.isRecording()) {
        m_recorder.stop();
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

void RecordingSession::collect() { m_samples = m_recorder.samples(); }

void RecordingSession::setState(State state) {
    if (state == m_state) return;
    m_state = state;
    emit stateChanged();
}
