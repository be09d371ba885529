// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A learner's take against the model's stretch. The take is time-aligned onto
// the model's timeline by dynamic time warping on the aligner's speech
// features (WarpPath), heard resampled so that its formants lie near the
// model voice's (by the two voices' pitch); the take's features are then
// mapped onto the model's voice along the path (twice, aligning again each
// time). The item's words
// are found in the model the way Make Script finds items (synthesized word by
// word and warped onto the model), and each word's stretch is looked up in
// the take through the path and tested for a counterpart (word_check.h). What
// it measures: the words without counterpart in the take, the pace (the take's
// length against the model's, speech only) and the melody (how the take's
// pitch contour, in semitones around the speaker's own median, correlates
// with the model's after alignment). TakeComparer::run() is long: it may be
// called on a worker thread; cancel() may be called from any thread.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>

// The model: a stretch of an audio file and the words spoken in it.
struct ModelStretch {
    QString audio;
    double start = 0, end = 0;  // seconds; end 0: to the end of the file
    QString text;
    QString language = QStringLiteral("en");
    bool operator==(const ModelStretch&) const = default;
};

struct WordMatch {
    QString word;                  // as written, without surrounding punctuation
    double modelStart, modelEnd;   // seconds into the model's stretch
    double takeStart, takeEnd;     // seconds into the take, through the path
    double share;                  // the counterpart's length against the word's at the take's pace
    double evidence;               // how much worse the take fits without the word (word_check.h)
    bool missing;                  // no counterpart in the take
};

// One comparison, with what a drawing of it needs. Times are seconds from the
// start of each signal (the model's stretch, the take); frames are 10 ms.
struct Comparison {
    static constexpr int kRate = 16000;
    std::vector<float> modelSamples, takeSamples;  // at kRate
    std::vector<float> modelPitch, takePitch;      // Hz per frame, 0 unvoiced
    std::vector<int> takeFrameOf;   // per model frame: the take frame it lines up with (-1 outside speech)
    std::vector<WordMatch> words;
    double modelSpeech = 0, takeSpeech = 0;  // seconds of speech (first to last sound)
    double melody = 0;     // correlation of the aligned contours, -1..1
    int melodyFrames = 0;  // frames voiced in both that it rests on

    double pace() const { return modelSpeech > 0 ? takeSpeech / modelSpeech : 0; }
    bool hasMelody() const { return melodyFrames >= kMinMelodyFrames; }
    QStringList missingWords() const;
    // The command's lines: "missing: ...", "pace: ...", "melody: ...".
    QString missingLine() const;
    QString paceLine() const;
    QString melodyLine() const;
    // One sentence for the learner.
    QString feedback() const;

    static constexpr int kMinMelodyFrames = 20;
};

class TakeComparer : public QObject {
    Q_OBJECT
public:
    enum class Result { Ok, Cancelled, BadModel, BadTake, NoSpeech, NoVoiceData };
    Q_ENUM(Result)

    explicit TakeComparer(QObject* parent = nullptr);
    ~TakeComparer() override;

    // The model is analysed once and kept while the next takes are compared with it.
    void setInput(const ModelStretch& model, const QString& take);
    Q_INVOKABLE TakeComparer::Result run();
    // Analyses the model alone (when not done yet), so that a take made
    // meanwhile is compared sooner (a failure is told as run() tells it).
    Result prepare();
    void cancel() { m_cancel = true; }

    // After run(): the comparison (when Ok), or what went wrong.
    std::shared_ptr<const Comparison> comparison() const { return m_result; }
    QString errorText() const { return m_error; }

signals:
    void finished(TakeComparer::Result result);

private:
    struct ModelAnalysis;
    Result fail(Result result, const QString& text);
    Result analyseModel();

    ModelStretch m_model;
    QString m_take;
    std::unique_ptr<ModelAnalysis> m_analysis;
    std::atomic<bool> m_cancel{false};
    std::shared_ptr<Comparison> m_result;
    QString m_error;
};
