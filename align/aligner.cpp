// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/aligner.h"

#include "align/features.h"
#include "align/item_edges.h"
#include "align/item_recheck.h"
#include "align/pause_finder.h"
#include "align/repeat_finder.h"
#include "align/resample.h"
#include "align/scratch_file.h"
#include "align/speech_synth.h"
#include "align/voice_pitch.h"
#include "align/warp_path.h"
#include "align/word_path.h"
#include "audio/pcm_reader.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>

namespace {

constexpr double kItemGap = 0.3;        // silence between synthesized items, seconds
constexpr double kQuietestNoiseDb = -40;  // noise added to the synthetic speech, re its RMS: at least this
constexpr double kLoudestNoiseDb = -15;   // and at most this
constexpr double kMinSpeech = 0.2;      // the recording must hold this much sound
constexpr int kMaxPieceChars = 400;     // the longest text spoken at once, about 25 s of speech
constexpr int kWindowFrames = 36000;    // the recording is matched 6 minutes at a time
constexpr int kWindowMargin = 6000;     // items ending in a window's last minute wait for the next
constexpr double kFirstRatio = 0.75;    // the recording's length over the synthetic one's, until measured
// The synthetic voice speaks slower than most readers: the path then has a
// few synthetic frames for each of the reader's sounds, and word edges come
// closer (p95 58 ms at 140 words a minute, 67 ms at espeak-ng's own 175).
constexpr int kWordsPerMinute = 140;
// A reader faster than this share of the synthetic voice's length leaves it
// too few frames for each of the reader's sounds: the path passes lines over.
// The voice then speaks at the reader's pace, up to kMaxWordsPerMinute.
constexpr double kFastReader = 0.65;
constexpr int kMaxWordsPerMinute = 400;

// The first and one past the last sample louder than -40 dB re the peak, in 5 ms steps.
std::pair<long, long> soundSpan(const std::vector<float>& s, int rate) {
    float peak = 0;
    for (float v : s) peak = std::max(peak, std::abs(v));
    const double limit = double(peak) * peak * 1e-4;
    const long step = std::max(1, rate / 200), count = long(s.size()) / step;
    auto loud = [&](long b) {
        double sum = 0;
        for (long n = b * step; n < (b + 1) * step; ++n) sum += double(s[size_t(n)]) * s[size_t(n)];
        return sum / double(step) > limit;
    };
    long first = 0, last = count - 1;
    while (first < count && !loud(first)) ++first;
    while (last > first && !loud(last)) --last;
    return first < count ? std::pair<long, long>{first * step, (last + 1) * step} : std::pair<long, long>{0, 0};
}

// Each dimension to zero mean and unit variance over the speech frames alone
// (those within 25 dB of the loud ones), so that how much silence a stretch
// holds does not shift its speech frames: the recording's pauses are longer
// or shorter than the synthetic ones.
void normaliseOnSpeech(FeatureMatrix& f) {
    const int rows = f.rows(), dims = f.dims(), energy = kFeatureDims - 1;
    if (rows == 0) return;
    std::vector<float> levels(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) levels[size_t(i)] = f.row(i)[energy];
    std::nth_element(levels.begin(), levels.begin() + rows * 95 / 100, levels.end());
    const float limit = levels[size_t(rows * 95 / 100)] - float(2.5 * std::log(10.0));
    std::vector<double> sum(size_t(dims), 0.0), sq(size_t(dims), 0.0);
    int count = 0;
    for (int i = 0; i < rows; ++i) {
        if (f.row(i)[energy] < limit) continue;
        ++count;
        for (int d = 0; d < dims; ++d) sum[size_t(d)] += f.row(i)[d], sq[size_t(d)] += double(f.row(i)[d]) * f.row(i)[d];
    }
    for (int d = 0; d < dims; ++d) {
        const double mean = sum[size_t(d)] / count, scale = 1.0 / std::sqrt(std::max(sq[size_t(d)] / count - mean * mean, 1e-6));
        for (int i = 0; i < rows; ++i) f.row(i)[d] = float((f.row(i)[d] - mean) * scale);
    }
}

// White noise, as a recording has, so that silence and weak sounds in the
// synthetic and in the real speech look alike: `db` re the first item's RMS
// (every item is spoken at the same level).
class NoiseSource {
public:
    void setLevel(const std::vector<float>& speech, double db) {
        double power = 0;
        for (float v : speech) power += double(v) * v;
        m_amp = float(std::sqrt(power / double(std::max<size_t>(1, speech.size()))) * std::pow(10.0, db / 20) * std::sqrt(3.0));
    }
    void add(std::vector<float>& s) {
        for (float& v : s) {
            m_seed = m_seed * 1664525u + 1013904223u;
            v += m_amp * (float(m_seed >> 8) / float(1 << 23) - 1.0f);
        }
    }

private:
    float m_amp = 0;
    uint32_t m_seed = 12345;
};

// The recording, resampled to the analysis rate as it is read, into its
// features (packed, a byte a value) and pauses, both kept in a scratch file
// until needed so that memory does not grow with the recording's length;
// `progress` hears the share read so far, in percent. Reading stops when the
// file cannot be written.
class AnalysisSink : public PcmSink {
public:
    AnalysisSink(const std::atomic<bool>& cancel, std::function<void(int)> progress)
        : m_cancel(cancel), m_progress(std::move(progress)), m_packed(m_scratch), m_pauses(m_scratch) {}
    // Features then follow the reader's voice relative to this pitch (Hz).
    void followSpeaker(double referencePitch) { m_features.followSpeaker(referencePitch); }
    void start(int rate, size_t expected) override {
        m_resampler = std::make_unique<Resampler>(rate, kAnalysisRate);
        m_expected = expected;
    }
    void write(const float* samples, size_t count) override {
        m_block.clear();
        m_resampler->push(samples, count, m_block);
        pass();
        m_read += count;
        const int percent = m_expected ? int(std::min<size_t>(100, 100 * m_read / m_expected)) : 0;
        if (percent > m_percent) m_progress(m_percent = percent);
    }
    // After the last block: the recording's features and pauses are ready.
    void finish() {
        m_block.clear();
        if (m_resampler) m_resampler->finish(m_block);
        pass(true);
        m_pauses.finish();
        m_packed.finish();
    }
    const PackedFeatures& features() const { return m_packed; }
    const PauseFinder& pauses() const { return m_pauses; }
    // Why the scratch file failed, empty while it has not.
    QString scratchError() const { return m_scratch.errorString(); }
    bool stopped() const override { return m_cancel || m_scratch.hasFailed(); }

private:
    void pass(bool last = false) {
        m_features.push(m_block.data(), m_block.size());
        if (last) m_features.flush();
        m_frames.clear();
        m_features.takeFrames(m_frames);
        m_packed.append(m_frames);
        m_pauses.push(m_block.data(), m_block.size());
    }

    const std::atomic<bool>& m_cancel;
    std::function<void(int)> m_progress;
    std::unique_ptr<Resampler> m_resampler;
    std::vector<float> m_block, m_frames;
    ScratchFile m_scratch;
    FeatureStream m_features;
    PackedFeatures m_packed;
    PauseFinder m_pauses;
    size_t m_expected = 0, m_read = 0;
    int m_percent = 0;
};

}  // namespace

Aligner::Aligner(QObject* parent) : QObject(parent) {}

void Aligner::setInput(const QString& recording, const QStringList& items, const QString& language, double skip) {
    m_recording = recording;
    m_texts = items;
    m_language = language;
    m_skip = std::max(0.0, skip);
}

Aligner::Result Aligner::fail(Result result, const QString& text) {
    m_error = text;
    emit finished(result);
    return result;
}

namespace {

// Every word (space-separated token) of a line gets a stretch: a token
// espeak-ng began no word in (a dash, say) shares the stretch of the token
// before it, or of the first one with a word when it leads.
std::vector<std::pair<long, long>> shareStretches(const std::vector<std::pair<long, long>>& words, long from, long to) {
    std::vector<int> anchors;
    for (int k = 0; k < int(words.size()); ++k)
        if (words[size_t(k)].first >= 0) anchors.push_back(k);
    std::vector<std::pair<long, long>> out(words.size());
    auto share = [&](int first, int end, std::pair<long, long> span) {
        const int n = end - first;
        for (int j = 0; j < n; ++j)
            out[size_t(first + j)] = {span.first + (span.second - span.first) * j / n, span.first + (span.second - span.first) * (j + 1) / n};
    };
    if (anchors.empty()) share(0, int(words.size()), {from, to});
    for (size_t j = 0; j < anchors.size(); ++j)
        share(j == 0 ? 0 : anchors[j], j + 1 < anchors.size() ? anchors[j + 1] : int(words.size()), words[size_t(anchors[j])]);
    return out;
}

}  // namespace

Aligner::Result Aligner::synthesize(SpeechSynth& synth, int first, long minFrames, FeatureStream& features,
                                    std::vector<SynthItem>& spoken, std::vector<float>& power) {
    const size_t gap = size_t(kItemGap * kAnalysisRate);
    const int rate = synth.sampleRate();
    NoiseSource noise;
    long at = 0;
    auto pass = [&](std::vector<float> samples) {
        power.resize(size_t((at + long(samples.size())) / kHopSamples + 1), 0.0f);
        for (size_t k = 0; k < samples.size();) {
            const long frame = (at + long(k)) / kHopSamples;
            float sum = 0;
            for (const size_t end = std::min(samples.size(), size_t((frame + 1) * kHopSamples - at)); k < end; ++k) sum += samples[k] * samples[k];
            power[size_t(frame)] += sum / kHopSamples;
        }
        noise.add(samples);
        features.push(samples.data(), samples.size());
        at += long(samples.size());
    };
    for (int i = first; i < m_texts.size() && at / kHopSamples < minFrames; ++i) {
        // A long line is spoken in pieces, a gap between them, so that only
        // one piece's samples are held at a time; its span covers them all.
        const QString line = m_texts[i].simplified();
        std::vector<int> tokenOf(size_t(line.size()) + 1);
        for (qsizetype c = 0, t = 0; c < line.size(); ++c) tokenOf[size_t(c)] = int(t += line[c] == u' ' ? 1 : 0);
        std::vector<std::pair<long, long>> words(size_t(line.count(u' ') + 1), {-1, -1});
        long start = -1;
        qsizetype cursor = 0;
        for (const QString& piece : speechPieces(line, kMaxPieceChars)) {
            if (m_cancel) return fail(Result::Cancelled, QString());
            const qsizetype offset = std::max(cursor, line.indexOf(piece, cursor));
            cursor = offset + piece.size();
            std::vector<float> raw;
            std::vector<SpokenWord> events;
            if (!synth.speak(piece, raw, &events)) {
                if (m_cancel) return fail(Result::Cancelled, QString());
                return fail(Result::NoVoiceData, QCoreApplication::translate("Aligner", "espeak-ng could not speak line %1: %2").arg(i + 1).arg(m_texts[i]));
            }
            const auto [from, to] = soundSpan(raw, rate);
            std::vector<float> sound(raw.begin() + from, raw.begin() + to);
            // The first word espeak-ng began in each token, and its sound.
            std::vector<int> tokens;
            std::vector<long> starts;
            for (const SpokenWord& w : events) {
                const qsizetype c = offset + std::clamp<qsizetype>(w.position, 0, piece.size() - 1);
                const int t = tokenOf[size_t(std::min(c, line.size() - 1))];
                if (words[size_t(t)].first >= 0 || (!tokens.empty() && tokens.back() >= t)) continue;
                tokens.push_back(t), starts.push_back(std::clamp(w.sample, from, to) - from);
            }
            const std::vector<std::pair<long, long>> sounds = wordSounds(sound, starts, rate);
            std::vector<float> speech = resample(sound, rate, kAnalysisRate);
            if (at == 0) noise.setLevel(speech, m_noiseDb), pass(std::vector<float>(gap, 0.0f));
            if (start >= 0) pass(std::vector<float>(gap, 0.0f));
            else start = at;
            for (size_t k = 0; k < tokens.size(); ++k)
                words[size_t(tokens[k])] = {at + long(double(sounds[k].first) * kAnalysisRate / rate),
                                            at + long(double(sounds[k].second) * kAnalysisRate / rate)};
            pass(std::move(speech));
        }
        spoken.push_back({start, at, shareStretches(words, start, at)});
        pass(std::vector<float>(gap, 0.0f));
    }
    return Result::Ok;
}

double Aligner::referencePitch(SpeechSynth& synth) const {
    constexpr double kSeconds = 8;  // synthetic speech enough for a steady median
    std::vector<float> speech;
    for (int i = 0; i < m_texts.size() && speech.size() < size_t(kSeconds * kAnalysisRate) && !m_cancel; ++i) {
        std::vector<float> raw;
        if (!synth.speak(m_texts[i].simplified().left(kMaxPieceChars), raw)) break;
        const std::vector<float> part = resample(raw, synth.sampleRate(), kAnalysisRate);
        speech.insert(speech.end(), part.begin(), part.end());
    }
    return typicalPitch(speech);
}

Aligner::Result Aligner::run() {
    m_items.clear();
    m_extra.clear();
    m_error.clear();
    emit progress(0);
    SpeechSynth synth;
    synth.setStopFlag(&m_cancel);
    const SpeechSynth::Result opened = synth.open(m_language, kWordsPerMinute);
    // Reading the recording is the first third of the work.
    AnalysisSink sink(m_cancel, [this](int percent) { emit progress(percent / 3); });
    if (opened == SpeechSynth::Result::Ok)
        if (const double pitch = referencePitch(synth); pitch > 0) sink.followSpeaker(pitch);
    if (m_cancel) return fail(Result::Cancelled, QString());
    const PcmReadResult read = readMonoPcm(m_recording, sink);
    if (!sink.scratchError().isEmpty()) return fail(Result::NoScratchSpace, sink.scratchError());
    if (read == PcmReadResult::Stopped) return fail(Result::Cancelled, QString());
    if (read != PcmReadResult::Ok) return fail(Result::BadRecording, pcmReadMessage(read, m_recording));
    sink.finish();
    if (!sink.scratchError().isEmpty()) return fail(Result::NoScratchSpace, sink.scratchError());
    const PauseFinder& pauses = sink.pauses();
    // The synthetic speech about as noisy as the reading: its noise as far
    // under it as the recording's floor lies under the reader's speech, never
    // quieter than kQuietestNoiseDb.
    m_noiseDb = std::clamp(-pauses.floorBelowSpeech(), kQuietestNoiseDb, kLoudestNoiseDb);
    const PackedFeatures& real = sink.features();
    m_seconds = pauses.seconds();
    if (m_skip >= m_seconds)
        return fail(Result::SkipTooLong, QStringLiteral("--skip %1 s lies past the end of the recording (%2 s)")
                                             .arg(m_skip).arg(m_seconds, 0, 'f', 2));
    if (!pauses.hasSpeech(kMinSpeech, m_skip) || real.rows() == 0)
        return fail(Result::NoSpeech, m_skip > 0 ? QCoreApplication::translate("Aligner", "No speech found in '%1' after %2 s").arg(m_recording).arg(m_skip)
                                                  : QCoreApplication::translate("Aligner", "No speech found in '%1'").arg(m_recording));
    emit progress(33);

    if (opened == SpeechSynth::Result::UnknownLanguage)
        return fail(Result::UnknownLanguage, QCoreApplication::translate("Aligner", "espeak-ng has no voice for the language '%1'").arg(m_language));
    if (opened != SpeechSynth::Result::Ok)
        return fail(Result::NoVoiceData, QCoreApplication::translate("Aligner", "espeak-ng could not start (is espeak-ng-data installed?)"));

    // The recording is matched a window at a time, so memory does not grow
    // with its length: each window against the text that should fill it (at
    // the reading's speed so far). The items that end well inside the window
    // are kept; the next window starts where the last of them ends.
    const int total = real.rows(), n = int(m_texts.size());
    std::vector<ItemMatch> matches;
    // Item edges snap to them, and they divide the speech compared for a repeat.
    const std::vector<PauseFinder::Pause> allPauses = pauses.pauses(kItemPause);
    int next = 0, column = std::min(total - 1, int(m_skip / kFrameSeconds));
    bool paced = false;  // the synthetic voice's pace has been set from the first window's
    double realSeconds = 0, synthSeconds = 0;
    while (next < n) {
        const int width = std::min(kWindowFrames, total - column);
        const bool lastWindow = column + width >= total;
        // Until a minute of items is matched the reader is taken to be fast,
        // so that the text spoken surely fills the window.
        const double ratio = synthSeconds > 60 ? std::clamp(realSeconds / synthSeconds, 0.5, 3.0) : kFirstRatio;
        FeatureStream synthStream;
        std::vector<SynthItem> spoken;
        std::vector<float> synthPower;
        const long want = lastWindow ? std::numeric_limits<long>::max() : long(width / ratio * 1.2) + 300;
        if (const Result said = synthesize(synth, next, want, synthStream, spoken, synthPower); said != Result::Ok) return said;
        FeatureMatrix synthFeatures = synthStream.finish();
        synthPower.resize(size_t(synthFeatures.rows()));  // a frame per row: the last samples make no whole frame
        FeatureMatrix realFeatures = real.unpack(column, width);
        if (!sink.scratchError().isEmpty()) return fail(Result::NoScratchSpace, sink.scratchError());
        normaliseOnSpeech(synthFeatures);
        normaliseOnSpeech(realFeatures);
        // Speech not in the text (a sentence added, a line read twice) lies between items.
        std::vector<bool> open(size_t(synthFeatures.rows()), true);
        for (const SynthItem& item : spoken)
            for (long r = item.from / kHopSamples; r < std::min<long>(item.to / kHopSamples, long(open.size())); ++r) open[size_t(r)] = false;
        WarpPath path;
        // A stretch read again right after is speech not in the text, unless
        // the text says something again itself (a refrain, a drill): its own
        // speech then holds a repeat too, and none is taken for the reader's.
        std::vector<FrameSpan> repeats = findRepeats(realFeatures, speechChunks(allPauses, column, width));
        if (!repeats.empty() && !findRepeats(synthFeatures, speechChunks(synthPower), kLooseSameLimit).empty()) repeats.clear();
        std::vector<bool> again(size_t(realFeatures.rows()), false);
        for (const FrameSpan& r : repeats) std::fill(again.begin() + r.from, again.begin() + r.to, true);
        if (!path.compute(synthFeatures, realFeatures, m_cancel, open, !lastWindow, again) || m_cancel) return fail(Result::Cancelled, QString());
        std::vector<ItemMatch> window = matchItems(path, spoken, spoken.size(), pauses, column);
        if (!paced) {
            paced = true;
            if (const double pace = readingPace(window); pace < kFastReader) {
                synth.setWordsPerMinute(int(std::min<double>(kMaxWordsPerMinute, kWordsPerMinute / pace)));
                continue;  // the window is matched again at the reader's pace
            }
        }
        size_t keep = window.size();
        int until = width;
        if (!lastWindow) {
            // Never the last item spoken (the text may go on past it), at least one.
            // Nor, when text is left, the items of the spoken text's last
            // minute: the path may have stretched them over recording their
            // successors fill.
            const double limit = (column + width - kWindowMargin) * kFrameSeconds;
            const long spokenLimit = next + int(spoken.size()) < n ? spoken.back().to - long(kWindowMargin) * kHopSamples
                                                                    : std::numeric_limits<long>::max();
            keep = 0;
            while (keep + 1 < window.size() && window[keep].end <= limit && spoken[keep].to <= spokenLimit) ++keep;
            keep = std::max<size_t>(keep, 1);
            until = std::clamp(int(std::lround(window[keep - 1].end / kFrameSeconds)) - column, 1, width);
        }
        std::vector<ExtraSpeech> extra = findExtraSpeech(path, pauses, column, until), readAgain;
        for (const FrameSpan& r : repeats)  // the items are kept off them, even when too short to list
            if (r.to <= until) readAgain.push_back({(column + r.from) * kFrameSeconds, (column + r.to) * kFrameSeconds});
        recheckItems(window, keep, spoken, synthFeatures, realFeatures, column, allPauses, extra, readAgain);
        followWords(window, keep, spoken, synthFeatures, realFeatures, column);
        m_extra.insert(m_extra.end(), extra.begin(), extra.end());
        m_extra.insert(m_extra.end(), readAgain.begin(), readAgain.end());
        for (size_t k = 0; k < keep; ++k) {
            if (window[k].found) realSeconds += window[k].end - window[k].start, synthSeconds += window[k].synthetic;
            matches.push_back(std::move(window[k]));
        }
        next += int(keep);
        column += until;
        emit progress(33 + 62 * next / n);
        if (column >= total) break;
    }
    // Text past the end of the recording was not read.
    while (int(matches.size()) < n) matches.push_back({0, 0, 0, kFrameSeconds, false, {}});
    m_items = placeItems(matches, pauses, allPauses, m_skip, m_extra);
    if (!sink.scratchError().isEmpty()) return fail(Result::NoScratchSpace, sink.scratchError());
    emit progress(100);
    emit finished(Result::Ok);
    return Result::Ok;
}
