// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text to speech with espeak-ng in this process, one item at a time, as mono
// samples. espeak-ng keeps global state: use one SpeechSynth at a time.

#include <QString>
#include <QStringList>
#include <vector>

class SpeechSynth {
public:
    enum class Result { Ok, NoVoiceData, UnknownLanguage };

    // Starts espeak-ng (once per process) and picks the voice for `language`
    // (an espeak-ng language code such as "en", "de", "fr").
    Result open(const QString& language);
    int sampleRate() const { return m_rate; }

    // Appends the speech for `text` to `out` (full scale 1.0). False when
    // espeak-ng refuses the text.
    bool speak(const QString& text, std::vector<float>& out);

private:
    int m_rate = 0;
};

// `text` in pieces of at most `maxChars` characters (at least 2), to be
// spoken one at a time so that no synthesis grows with the length of a line:
// each broken after the last sentence or clause end (. ! ? ; : and the like,
// closing quotes after it) in the second half of the bound, else at the last
// space, else at the bound. The pieces hold the text's words in order.
QStringList speechPieces(const QString& text, int maxChars);
