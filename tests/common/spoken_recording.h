// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings of known sentences for alignment tests and the benchmark: each
// sentence spoken by an outside synthesizer (flite or the espeak-ng program,
// another voice than the aligner's), trimmed of its silence, joined with
// chosen pauses, with white noise at a chosen SNR. Where every sentence
// starts and ends is known from the joining.

#include <QString>
#include <QStringList>
#include <vector>

namespace testaudio {

constexpr int kSpokenRate = 16000;

class SpokenRecording {
public:
    // Speaks `text` with `voice` ("flite:slt", "espeak:en-gb:140", ...) and
    // appends it after `pause` seconds of silence. False when the synthesizer fails.
    bool addSentence(const QString& text, const QString& voice, double pause);
    // Appends `seconds` of silence (a trailing pause) or of other speech.
    void addSilence(double seconds);
    bool addUntracked(const QString& text, const QString& voice);  // speech not in the text
    // Appends another recording, its sentences after these.
    void append(const SpokenRecording& other);
    // Adds white noise `snrDb` below the speech's mean power.
    void addNoise(double snrDb, unsigned seed = 7);
    // Writes a 16-bit mono WAV at kSpokenRate.
    bool writeWave(const QString& path) const;

    const std::vector<float>& samples() const { return m_samples; }
    int count() const { return int(m_starts.size()); }
    double start(int i) const { return m_starts[size_t(i)]; }
    double end(int i) const { return m_ends[size_t(i)]; }

private:
    bool speak(const QString& text, const QString& voice, std::vector<float>& out) const;

    std::vector<float> m_samples;
    std::vector<double> m_starts, m_ends;
};

// The items of a script page as (start, end) pairs, in page order, and
// whether each is marked unsure.
struct PageItem {
    double start, end;
    bool unsure;
};
std::vector<PageItem> ReadPageItems(const QString& pagePath);

}  // namespace testaudio
