// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings of known sentences for the Make Script tests and benchmark, spoken
// by flite or espeak-ng (other voices than the aligner's; both in this process,
// which gives each word's time), trimmed of silence,
// joined with chosen pauses: where each sentence lies is known from the joining.

#include <QString>
#include <vector>

namespace testaudio {

constexpr int kSpokenRate = 16000;

class SpokenRecording {
public:
    // Appends `text` spoken by `voice` ("flite:slt", "espeak:en-gb:140") after
    // `pause` seconds of silence; untracked speech is not in the text. False
    // when the synthesizer fails.
    bool addSentence(const QString& text, const QString& voice, double pause, bool tracked = true);
    void addSilence(double seconds);
    void addNoise(double snrDb);                // white noise `snrDb` below the speech's mean power
    bool writeWave(const QString& path) const;  // 16-bit mono at kSpokenRate

    double seconds() const { return double(m_samples.size()) / kSpokenRate; }
    int count() const { return int(m_starts.size()); }
    double start(int i) const { return m_starts[size_t(i)]; }
    double end(int i) const { return m_ends[size_t(i)]; }
    // A sentence's words (split at spaces): where each sounds (seconds), from
    // flite's own segment times or espeak-ng's own word events.
    const std::vector<std::pair<double, double>>& words(int i) const { return m_words[size_t(i)]; }

private:
    std::vector<float> m_samples;
    std::vector<double> m_starts, m_ends;
    std::vector<std::vector<std::pair<double, double>>> m_words;
};

// A script page's items in page order, and whether each is marked unsure, or
// not found (no link, no times).
struct PageItem { double start, end; bool unsure, found = true; };
std::vector<PageItem> readPageItems(const QString& pagePath);

}  // namespace testaudio
