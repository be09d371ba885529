// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RecordingSession: Record and Play Recorded. Records from the default input
// while a file may go on playing, keeps the last recording and replays it.
// Reports by signals and has no widgets.

#include "audio/recorder.h"
#include "audio/recording_player.h"

#include <QObject>
#include <vector>

class RecordingSession : public QObject {
    Q_OBJECT
public:
    enum class State {
        Empty,      // nothing to replay
        Started,    // a recording was started (it may have ended by itself)
        Held,       // a recording is held
        Replaying,  // the recording is being replayed
    };
    static constexpr int kRate = 22050;  // recording and replay, Hz

    RecordingSession(Recorder& recorder, RecordingPlayer& player, QObject* parent = nullptr);

    // Record: starts a new recording, or ends the recording or its replay.
    void toggleRecord();
    // Play Recorded: replays the recording (ending a recording first), or
    // lets a replay play out what the device holds and end.
    void togglePlayRecorded();

    State state() const { return m_state; }
    bool isRecording() const { return m_recorder.isRecording(); }
    bool isReplaying() const { return m_player.isPlaying(); }
    bool canPlayRecorded() const { return m_state != State::Empty; }
    // Samples kept so far by the recording under way.
    int recordedSamples() const { return m_recorder.count(); }
    // The recording last ended, mono at kRate.
    const std::vector<int16_t>& recording() const { return m_samples; }

signals:
    void stateChanged();
    void failed(const QString& message);

private:
    void collect();
    void setState(State state);

    Recorder& m_recorder;
    RecordingPlayer& m_player;
    State m_state = State::Empty;
    std::vector<int16_t> m_samples;
};
