// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds where each item of a text is spoken in a recording: the items are
// synthesized, the synthetic and the real speech matched frame by frame
// (WarpPath), and each item's mapped edges moved to the pauses around it.
// Audio before the first item or after the last (an announcement, music) is
// left out. run() is long: it may be called on a worker thread, and reports
// through signals; cancel() may be called from any thread.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

class FeatureStream;
class SpeechSynth;
struct SynthItem;

// Where a word of an item is spoken, seconds in the player's timeline.
struct WordTime {
    double start, end;
};

// Where one item was found, and how sure the aligner is of it.
class AlignedItem {
public:
    // Aligned: found, sure; Unsure: found, to be checked by ear; NotFound:
    // not in the recording (not read), no times.
    enum class State { Aligned, Unsure, NotFound };

    AlignedItem(double start, double end, double confidence, State state, std::vector<WordTime> words = {})
        : m_start(start), m_end(end), m_confidence(confidence), m_state(state), m_words(std::move(words)) {}
    double start() const { return m_start; }  // seconds in the player's timeline
    double end() const { return m_end; }
    double confidence() const { return m_confidence; }  // 0..1
    State state() const { return m_state; }
    bool isSure() const { return m_state == State::Aligned; }
    bool isFound() const { return m_state != State::NotFound; }
    // Each word of the item's text (split at spaces) in order; empty when not found.
    const std::vector<WordTime>& words() const { return m_words; }

private:
    double m_start, m_end, m_confidence;
    State m_state;
    std::vector<WordTime> m_words;
};

// A stretch of speech in the recording that no item covers (seconds).
struct ExtraSpeech {
    double start, end;
};

class Aligner : public QObject {
    Q_OBJECT
public:
    // NoScratchSpace: the temporary file for the recording's analysis could not be written or read.
    enum class Result { Ok, Cancelled, BadRecording, NoSpeech, UnknownLanguage, NoVoiceData, SkipTooLong, NoScratchSpace };
    Q_ENUM(Result)

    explicit Aligner(QObject* parent = nullptr);
    // The recording, its items, the language for speaking them, and the
    // seconds at the recording's start that are not part of the reading.
    void setInput(const QString& recording, const QStringList& items, const QString& language, double skip);

    Result run();
    void cancel() { m_cancel = true; }

    // After run(): the items in text order (when Ok), or what went wrong.
    const std::vector<AlignedItem>& items() const { return m_items; }
    // After run(): speech longer than a second that no item covers, in order.
    const std::vector<ExtraSpeech>& extraSpeech() const { return m_extra; }
    QString errorText() const { return m_error; }
    double recordingSeconds() const { return m_seconds; }

signals:
    void progress(int percent);
    void finished(Aligner::Result result);

private:
    Result fail(Result result, const QString& text);
    // Speaks items from `first` on into `features` until they hold `minFrames`
    // frames or the text ends; `spoken` gets where each lies (16 kHz samples),
    // `power` the mean square of each frame's samples.
    Result synthesize(SpeechSynth& synth, int first, long minFrames, FeatureStream& features, std::vector<SynthItem>& spoken,
                      std::vector<float>& power);
    // The synthetic voice's typical pitch (Hz) over the text's first lines, or 0.
    double referencePitch(SpeechSynth& synth) const;

    QString m_recording, m_language;
    QStringList m_texts;
    double m_skip = 0, m_seconds = 0;
    double m_noiseDb = 0;  // noise added to the synthetic speech, dB re its RMS
    std::atomic<bool> m_cancel{false};
    std::vector<AlignedItem> m_items;
    std::vector<ExtraSpeech> m_extra;
    QString m_error;
};
