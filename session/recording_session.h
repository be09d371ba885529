// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RecordingSession: Record and Play Recorded. Records from the default input
// while a file may go on playing, keeps the last recording and replays it.
// Reports by signals and has no widgets.
// Takes: during the drill (Pause After Each Item with Record on) each turn's
// recording is a take of the item just heard; a recording with no turn in it
// is a take of the item current when it started (or of no item).

#include "audio/recorder.h"
#include "audio/recording_player.h"

#include <QObject>
#include <QString>
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

    // The item sounding (its anchor name; empty for none), and the reader's
    // turns, told by the playback session.
    void setCurrentItem(const QString& name) { m_item = name; }
    void startTurn();
    void endTurn();
    // Plays other samples (a take, the model) on the replay device, ending a
    // replay under way; refused (false) while recording.
    bool playSamples(std::vector<int16_t> samples, int rate);

signals:
    // A take ended: `samples` mono at kRate, of `item` (empty: no item).
    void takeFinished(const QString& item, const std::vector<int16_t>& samples);
    // What playSamples() played has ended.
    void samplesFinished();
    void stateChanged();
    void failed(const QString& message);

private:
    void collect();
    void setState(State state);
    void finishTake();

    Recorder& m_recorder;
    RecordingPlayer& m_player;
    State m_state = State::Empty;
    std::vector<int16_t> m_samples;
    QString m_item;      // the item sounding
    QString m_takeItem;  // the item of the take under way
    int m_takeStart = -1;  // its first sample in the recording; -1: no take under way
    bool m_hadTurn = false;  // the recording under way has had a turn
    bool m_other = false;    // the player plays samples given to playSamples()
};
