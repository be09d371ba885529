// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text to speech with espeak-ng in this process, one item at a time, as mono
// samples. espeak-ng keeps global state: use one SpeechSynth at a time.

#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

// Where espeak-ng began a word: its first character in the text (from 0) and
// its first sample in the speech.
struct SpokenWord {
    int position;
    long sample;
};

class SpeechSynth {
public:
    enum class Result { Ok, NoVoiceData, UnknownLanguage };

    // Starts espeak-ng (once per process) and picks the voice for `language`
    // (an espeak-ng language code such as "en", "de", "fr"), speaking at
    // `wordsPerMinute` (175 is espeak-ng's own speed).
    Result open(const QString& language, int wordsPerMinute = 175);
    // A voice by its espeak-ng name ("en-us", "en-gb+f3") at `wordsPerMinute`,
    // for making test recordings with other voices than the aligner's.
    bool openVoice(const QString& name, int wordsPerMinute);
    int sampleRate() const { return m_rate; }
    // Speaks on at `wordsPerMinute`, the voice kept.
    void setWordsPerMinute(int wordsPerMinute);
    // When set (from any thread), speaking stops within a few milliseconds of audio.
    void setStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Appends the speech for `text` to `out` (full scale 1.0) and, when
    // `words` is given, where each word begins (samples from the call's
    // first). False when espeak-ng refuses the text or it was stopped.
    bool speak(const QString& text, std::vector<float>& out, std::vector<SpokenWord>* words = nullptr);

private:
    int m_rate = 0;
    const std::atomic<bool>* m_stop = nullptr;
};

// The sound of each of `count` words that begin at `starts` (samples, in
// order) in `speech` and end where the next begins or the speech ends: the
// first and one past the last sample of the stretch louder than -35 dB re the
// speech's peak, in 5 ms steps; a silent word keeps its whole stretch. Two
// words with less than a pause's quiet between them (a stop's closure, a weak
// onset) meet where the next begins: that quiet is part of the speech.
std::vector<std::pair<long, long>> wordSounds(const std::vector<float>& speech, const std::vector<long>& starts, int rate);

// `text` in pieces of at most `maxChars` characters (at least 2), to be
// spoken one at a time so that no synthesis grows with the length of a line:
// each broken after the last sentence or clause end (. ! ? ; : and the like,
// closing quotes after it) in the second half of the bound, else at the last
// space, else at the bound. The pieces hold the text's words in order.
QStringList speechPieces(const QString& text, int maxChars);
