// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/take_comparison.h"

#include "align/features.h"
#include "align/resample.h"
#include "align/speech_synth.h"
#include "align/warp_path.h"
#include "audio/pcm_reader.h"
#include "compare/pitch_track.h"
#include "compare/word_check.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kWordGap = 0.03;     // silence between synthesized words, seconds
constexpr double kNoiseDb = -40;      // noise in the synthetic speech's silences, re its RMS
constexpr double kFormantPerPitch = 0.3;  // formants scale between speakers as their pitch to this power
constexpr double kMaxFormantScale = 1.3;  // the most the take's frequencies are scaled, either way
constexpr int kAdaptRounds = 2;     // the take's voice mapped onto the model's, and aligned again, this often
// A word is missing when its evidence (word_check.h) plus the log of its
// counterpart's share of its length (at the take's pace) falls below this: a
// word that fits clearly worse than nothing, or somewhat worse and squeezed
// by the path. Set on bench_compare's takes of seeds 11 and 5 together.
constexpr double kMissingBelow = -1.2;
constexpr double kShareWeight = 1.0;
constexpr double kClearlyLower = 1.0;  // a neighbour's score this much lower takes the blame

// Reads a file's samples from `start` to `end` seconds (end 0: to its end), at kAnalysisRate.
class StretchSink : public PcmSink {
public:
    StretchSink(double start, double end, const std::atomic<bool>& cancel)
        : m_start(start), m_end(end), m_cancel(cancel) {}
    void start(int rate, size_t) override {
        m_resampler = std::make_unique<Resampler>(rate, kAnalysisRate);
        m_first = long(std::lround(m_start * rate));
        m_last = m_end > 0 ? long(std::lround(m_end * rate)) : -1;
    }
    void write(const float* samples, size_t count) override {
        const long from = std::max(0L, m_first - m_at);
        const long to = m_last < 0 ? long(count) : std::min(long(count), m_last - m_at);
        if (to > from) m_resampler->push(samples + from, size_t(to - from), m_samples);
        m_at += long(count);
    }
    bool stopped() const override { return m_cancel || (m_last >= 0 && m_at >= m_last); }
    std::vector<float> finish() {
        if (m_resampler) m_resampler->finish(m_samples);
        return std::move(m_samples);
    }
    bool pastEnd() const { return m_last >= 0 && m_at >= m_last; }

private:
    double m_start, m_end;
    const std::atomic<bool>& m_cancel;
    std::unique_ptr<Resampler> m_resampler;
    long m_first = 0, m_last = -1, m_at = 0;
    std::vector<float> m_samples;
};

// The frames from the first to the last that sound: louder than both 40 dB
// under the loudest frame and 12 dB over the noise floor (the quietest tenth);
// none when all is quieter than -70 dB.
std::pair<int, int> speechFrames(const std::vector<float>& s) {
    const int frames = int(s.size() / kHopSamples);
    std::vector<float> db(static_cast<size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        double sum = 0;
        for (int n = 0; n < kHopSamples; ++n) sum += double(s[size_t(f * kHopSamples + n)]) * s[size_t(f * kHopSamples + n)];
        db[size_t(f)] = float(10 * std::log10(sum / kHopSamples + 1e-12));
    }
    if (frames == 0) return {0, 0};
    std::vector<float> sorted = db;
    std::sort(sorted.begin(), sorted.end());
    const float floor = sorted[size_t(frames / 10)], peak = sorted.back();
    // Without silence around it (the floor near the peak), the speech is what
    // lies within 15 dB of the peak.
    const float threshold = std::max(peak - 40.0f, std::min(floor + 12.0f, peak - 15.0f));
    if (peak < -70) return {0, 0};
    int first = 0, last = frames - 1;
    while (first < frames && db[size_t(first)] <= threshold) ++first;
    while (last > first && db[size_t(last)] <= threshold) --last;
    constexpr int kMargin = 3;  // 30 ms each side: soft word edges
    return {std::max(0, first - kMargin), std::min(frames, last + 1 + kMargin)};
}

// The features of all of `s`.
FeatureMatrix featuresOf(const std::vector<float>& s) {
    FeatureStream stream;
    stream.push(s.data(), s.size());
    return stream.finish();
}

FeatureMatrix frameFeatures(const std::vector<float>& s, std::pair<int, int> frames) {
    FeatureStream stream;
    const size_t from = size_t(frames.first) * kHopSamples;
    const size_t to = std::min(s.size(), size_t(frames.second) * kHopSamples + (kWindowSamples - kHopSamples));
    stream.push(s.data() + from, to - from);
    return stream.finish();
}

void addNoise(std::vector<float>& s, float amplitude) {
    uint32_t seed = 12345;
    for (float& v : s) {
        seed = seed * 1664525u + 1013904223u;
        v += amplitude * (float(seed >> 8) / float(1 << 23) - 1.0f);
    }
}

// The samples played `factor` times as long (linear interpolation): their
// frequencies scaled by 1 / factor.
std::vector<float> scaledInTime(const float* s, size_t count, double factor) {
    std::vector<float> out;
    for (double x = 0; x + 1 < double(count); x += 1 / factor) {
        const size_t n = size_t(x);
        out.push_back(s[n] + float(x - double(n)) * (s[n + 1] - s[n]));
    }
    return out;
}

// The frames played `factor` times as long, between them linearly.
FeatureMatrix framesScaledInTime(const FeatureMatrix& f, double factor) {
    const int rows = f.rows() > 0 ? std::max(1, int(std::lround(f.rows() * factor))) : 0, dims = f.dims();
    FeatureMatrix out(rows, dims);
    for (int r = 0; r < rows; ++r) {
        const double x = std::min(double(f.rows() - 1), r / factor);
        const int i = int(x), j = std::min(i + 1, f.rows() - 1);
        const float w = float(x - i);
        for (int d = 0; d < dims; ++d) out.row(r)[d] = f.row(i)[d] + w * (f.row(j)[d] - f.row(i)[d]);
    }
    return out;
}

// The median of the voiced frames' F0 (0 when none is voiced).
double medianPitch(std::vector<float> hz) {
    hz.erase(std::remove(hz.begin(), hz.end(), 0.0f), hz.end());
    if (hz.empty()) return 0;
    std::nth_element(hz.begin(), hz.begin() + long(hz.size() / 2), hz.end());
    return hz[hz.size() / 2];
}

QStringList splitWords(const QString& text) {
    static const QRegularExpression edges(QStringLiteral("^[^\\w]+|[^\\w]+$"), QRegularExpression::UseUnicodePropertiesOption);
    QStringList words;
    for (QString word : text.split(u' ', Qt::SkipEmptyParts))
        if (!(word = word.remove(edges)).isEmpty()) words << word;
    return words;
}


}  // namespace

// What is kept of the model between takes.
struct TakeComparer::ModelAnalysis {
    std::vector<float> samples, pitch;
    std::pair<int, int> speech;  // frames
    FeatureMatrix features;
    std::vector<QString> words;
    std::vector<std::pair<int, int>> wordFrames;  // [first, last] speech frame of each word
};

TakeComparer::TakeComparer(QObject* parent) : QObject(parent) {}
TakeComparer::~TakeComparer() = default;

void TakeComparer::setInput(const ModelStretch& model, const QString& take) {
    if (!(model == m_model)) m_analysis.reset();
    m_model = model;
    m_take = take;
    m_cancel = false;
}

TakeComparer::Result TakeComparer::fail(Result result, const QString& text) {
    m_error = text;
    emit finished(result);
    return result;
}

TakeComparer::Result TakeComparer::analyseModel() {
    auto a = std::make_unique<ModelAnalysis>();
    StretchSink sink(m_model.start, m_model.end, m_cancel);
    const PcmReadResult read = readMonoPcm(m_model.audio, sink);
    if (m_cancel) return fail(Result::Cancelled, QString());
    if (read != PcmReadResult::Ok && !(read == PcmReadResult::Stopped && sink.pastEnd()))
        return fail(Result::BadModel, pcmReadMessage(read, m_model.audio));
    a->samples = sink.finish();
    a->speech = speechFrames(a->samples);
    if (a->speech.second - a->speech.first < 10)
        return fail(Result::NoSpeech, QCoreApplication::translate("TakeComparer", "No speech found in the model ('%1' from %2 s)")
                                          .arg(m_model.audio).arg(m_model.start));
    a->features = frameFeatures(a->samples, a->speech);
    a->pitch = trackPitch(a->samples);

    // The words, synthesized one by one with short gaps, warped onto the model.
    SpeechSynth synth;
    if (synth.open(m_model.language) != SpeechSynth::Result::Ok)
        return fail(Result::NoVoiceData, QCoreApplication::translate("TakeComparer", "espeak-ng has no voice for the language '%1'").arg(m_model.language));
    const QStringList words = splitWords(m_model.text);
    std::vector<float> spoken(size_t(kWordGap * kAnalysisRate), 0.0f);
    std::vector<std::pair<long, long>> spans;
    for (const QString& word : words) {
        if (m_cancel) return fail(Result::Cancelled, QString());
        std::vector<float> raw;
        if (!synth.speak(word, raw) || raw.empty()) continue;
        std::vector<float> speech = resample(raw, synth.sampleRate(), kAnalysisRate);
        const auto [first, last] = speechFrames(speech);
        if (last <= first) continue;
        const long at = long(spoken.size());
        spoken.insert(spoken.end(), speech.begin() + long(first) * kHopSamples,
                      speech.begin() + std::min(long(speech.size()), long(last) * kHopSamples));
        spans.emplace_back(at, long(spoken.size()));
        a->words.push_back(word);
        spoken.insert(spoken.end(), size_t(kWordGap * kAnalysisRate), 0.0f);
    }
    if (!a->words.empty()) {
        double power = 0;
        for (float v : spoken) power += double(v) * v;
        addNoise(spoken, float(std::sqrt(power / double(spoken.size())) * std::pow(10.0, kNoiseDb / 20) * std::sqrt(3.0)));
        FeatureStream stream;
        stream.push(spoken.data(), spoken.size());
        const FeatureMatrix synthFeatures = stream.finish();
        WarpPath path;
        if (!path.compute(synthFeatures, a->features, m_cancel)) return fail(Result::Cancelled, QString());
        for (const auto& [from, to] : spans) {
            const int r0 = std::min(path.rows() - 1, int(from / kHopSamples));
            const int r1 = std::clamp(int(to / kHopSamples) - 1, r0, path.rows() - 1);
            a->wordFrames.emplace_back(path.firstColumn(r0), std::max(path.firstColumn(r0), path.lastColumn(r1)));
        }
    }
    m_analysis = std::move(a);
    return Result::Ok;
}

TakeComparer::Result TakeComparer::prepare() {
    m_error.clear();
    return m_analysis ? Result::Ok : analyseModel();
}

TakeComparer::Result TakeComparer::run() {
    m_result.reset();
    m_error.clear();
    if (!m_analysis)
        if (const Result r = analyseModel(); r != Result::Ok) return r;
    const ModelAnalysis& a = *m_analysis;
    auto c = std::make_shared<Comparison>();
    StretchSink sink(0, 0, m_cancel);
    const PcmReadResult read = readMonoPcm(m_take, sink);
    if (m_cancel) return fail(Result::Cancelled, QString());
    if (read != PcmReadResult::Ok) return fail(Result::BadTake, pcmReadMessage(read, m_take));
    c->takeSamples = sink.finish();
    const std::pair<int, int> speech = speechFrames(c->takeSamples);
    if (speech.second - speech.first < 10)
        return fail(Result::NoSpeech, QCoreApplication::translate("TakeComparer", "No speech found in the take '%1'").arg(m_take));
    c->takePitch = trackPitch(c->takeSamples);
    c->modelSamples = a.samples;
    c->modelPitch = a.pitch;
    c->modelSpeech = (a.speech.second - a.speech.first) * kFrameSeconds;
    c->takeSpeech = (speech.second - speech.first) * kFrameSeconds;

    // A voice differs from the model's in the length of its vocal tract too,
    // which scales its formants: the take is heard resampled (formants, pitch
    // and length scaled by `stretch` alike) so that its formants lie about
    // where the model's voice would put them. Formants scale between speakers
    // about as their pitch does to the power kFormantPerPitch (women's
    // formants lie some 18 % above men's, their pitch some 75 %). The frames
    // are then brought back to the take's own times.
    const double modelHz = medianPitch(c->modelPitch), takeHz = medianPitch(c->takePitch);
    const double stretch = modelHz > 0 && takeHz > 0
                               ? std::clamp(std::pow(modelHz / takeHz, kFormantPerPitch), 1 / kMaxFormantScale, kMaxFormantScale)
                               : 1.0;
    FeatureMatrix features;
    if (std::abs(stretch - 1) > 0.02) {
        const size_t from = size_t(speech.first) * kHopSamples;
        const size_t to = std::min(c->takeSamples.size(), size_t(speech.second) * kHopSamples + (kWindowSamples - kHopSamples));
        features = framesScaledInTime(featuresOf(scaledInTime(c->takeSamples.data() + from, to - from, 1 / stretch)), stretch);
    } else {
        features = frameFeatures(c->takeSamples, speech);
    }
    WarpPath path;
    // The take's voice mapped onto the model's along the path, then aligned again.
    if (!path.compute(a.features, features, m_cancel)) return fail(Result::Cancelled, QString());
    for (int round = 0; round < kAdaptRounds; ++round) {
        features = mapOnto(features, a.features, path);
        if (!path.compute(a.features, features, m_cancel)) return fail(Result::Cancelled, QString());
    }
    const int modelFrames = int(a.samples.size() / kHopSamples);
    c->takeFrameOf.assign(size_t(modelFrames), -1);
    for (int r = 0; r < path.rows() && a.speech.first + r < modelFrames; ++r)
        c->takeFrameOf[size_t(a.speech.first + r)] = speech.first + (path.firstColumn(r) + path.lastColumn(r)) / 2;

    // Words: each model word's stretch through the path; whether the take
    // has it, from how the word sequence fits the take with and without it.
    std::vector<std::pair<int, int>> frames;
    for (const auto& [first, last] : a.wordFrames)
        frames.emplace_back(std::clamp(first, 0, path.rows() - 1), std::clamp(last, 0, path.rows() - 1));
    const std::vector<double> evidence = wordEvidence(a.features, frames, features, path);
    for (size_t w = 0; w < a.words.size(); ++w) {
        const int r0 = std::clamp(a.wordFrames[w].first, 0, path.rows() - 1);
        const int r1 = std::clamp(a.wordFrames[w].second, r0, path.rows() - 1);
        const int c0 = path.firstColumn(r0), c1 = path.lastColumn(r1);
        const double e = w < evidence.size() ? evidence[w] : 1.0;
        const double share = double(c1 - c0 + 1) / std::max(1.0, (r1 - r0 + 1) * c->pace());
        c->words.push_back({a.words[w], (a.speech.first + r0) * kFrameSeconds, (a.speech.first + r1 + 1) * kFrameSeconds,
                            (speech.first + c0) * kFrameSeconds, (speech.first + c1 + 1) * kFrameSeconds, share, e, false});
    }
    // A missing word's neighbour often fits worse too; next to a word that
    // scores clearly lower, it is not named.
    std::vector<double> score;
    for (const WordMatch& m : c->words) score.push_back(m.evidence + kShareWeight * std::log(std::max(m.share, 0.02)));
    for (size_t w = 0; w < score.size(); ++w) {
        const bool lowerNext = (w > 0 && score[w - 1] < kMissingBelow && score[w - 1] < score[w] - kClearlyLower) ||
                               (w + 1 < score.size() && score[w + 1] < kMissingBelow && score[w + 1] < score[w] - kClearlyLower);
        c->words[w].missing = score[w] < kMissingBelow && !lowerNext;
    }

    // Melody: the correlation of the two contours (semitones around each
    // speaker's median) over the model frames voiced in both.
    const std::vector<float> modelSt = toSemitones(c->modelPitch), takeSt = toSemitones(c->takePitch);
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    int n = 0;
    for (int f = 0; f < modelFrames && f < int(modelSt.size()); ++f) {
        const int t = c->takeFrameOf[size_t(f)];
        if (t < 0 || t >= int(takeSt.size()) || std::isnan(modelSt[size_t(f)]) || std::isnan(takeSt[size_t(t)])) continue;
        const double x = modelSt[size_t(f)], y = takeSt[size_t(t)];
        sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y, ++n;
    }
    c->melodyFrames = n;
    if (n > 1) {
        const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
        c->melody = vx > 0 && vy > 0 ? (sxy - sx * sy / n) / std::sqrt(vx * vy) : 0;
    }
    m_result = std::move(c);
    emit finished(Result::Ok);
    return Result::Ok;
}

QStringList Comparison::missingWords() const {
    QStringList missing;
    for (const WordMatch& w : words)
        if (w.missing) missing << w.word;
    return missing;
}

QString Comparison::missingLine() const {
    const QStringList missing = missingWords();
    return missing.isEmpty() ? QStringLiteral("missing:") : QStringLiteral("missing: ") + missing.join(u' ');
}

QString Comparison::paceLine() const {
    return QStringLiteral("pace: %1 (the take's speech lasted %2 s, the model's %3 s; above 1 is slower than the model)")
        .arg(pace(), 0, 'f', 2).arg(takeSpeech, 0, 'f', 2).arg(modelSpeech, 0, 'f', 2);
}

QString Comparison::melodyLine() const {
    if (!hasMelody())
        return QStringLiteral("melody: none (only %1 aligned frames are voiced in both)").arg(melodyFrames);
    return QStringLiteral("melody: %1 (correlation of the take's pitch contour with the model's once aligned, "
                          "over %2 frames voiced in both; 1 rises and falls alike, 0 unrelated)")
        .arg(melody, 0, 'f', 2).arg(melodyFrames);
}

QString Comparison::feedback() const {
    QStringList parts;
    const QStringList missing = missingWords();
    parts << (missing.isEmpty() ? QCoreApplication::translate("Comparison", "Every word has a counterpart")
                                : QCoreApplication::translate("Comparison", "Missed: %1").arg(missing.join(QStringLiteral(", "))));
    const double p = pace();
    parts << (p > 1.15 ? QCoreApplication::translate("Comparison", "slower than the model (%1×)").arg(p, 0, 'f', 2)
              : p < 0.87 ? QCoreApplication::translate("Comparison", "faster than the model (%1×)").arg(p, 0, 'f', 2)
                         : QCoreApplication::translate("Comparison", "about the model's pace"));
    if (hasMelody())
        parts << (melody >= 0.7 ? QCoreApplication::translate("Comparison", "the melody follows the model's closely")
                  : melody >= 0.4 ? QCoreApplication::translate("Comparison", "the melody follows the model's in part")
                                  : QCoreApplication::translate("Comparison", "the melody differs from the model's"));
    return parts.join(QStringLiteral("; ")) + u'.';
}
