// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/speech_synth.h"

#include <espeak-ng/speak_lib.h>

#include <cstring>

namespace {

int collectSamples(short* wav, int count, espeak_EVENT* events) {
    auto* out = static_cast<std::vector<float>*>(events->user_data);
    for (int i = 0; i < count && wav; ++i) out->push_back(wav[i] / 32768.0f);
    return 0;
}

int startEspeak() {
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (r > 0) espeak_SetSynthCallback(collectSamples);
        return r;
    }();
    return rate;
}

// espeak-ng falls back to some voice for any language; only an exact match
// (or a regional variant of the code, "en" for "en-us") counts here.
bool isKnownLanguage(espeak_VOICE& wanted) {
    const QByteArray code = QByteArray(wanted.languages).toLower();
    const espeak_VOICE** voices = espeak_ListVoices(&wanted);
    for (int v = 0; voices && voices[v]; ++v) {
        // Each entry: a priority byte, then the language; an empty one ends the list.
        for (const char* lang = voices[v]->languages; lang && *lang; lang += std::strlen(lang + 1) + 2) {
            const QByteArray name = QByteArray(lang + 1).toLower();
            if (name == code || name.startsWith(code + '-')) return true;
        }
    }
    return false;
}

// True when a sentence or clause ends just before `at`: its mark, then
// perhaps closing quotes or brackets.
bool endsSentence(const QString& text, qsizetype at) {
    qsizetype k = at - 1;
    while (k > 0 && QStringView(u"\"')]\u201D\u2019\u00BB").contains(text[k])) --k;
    return k >= 0 && QStringView(u".!?;:\u2026\u3002\uFF01\uFF1F\uFF1B\uFF1A").contains(text[k]);
}

}  // namespace

QStringList speechPieces(const QString& text, int maxChars) {
    QStringList pieces;
    QString rest = text.simplified();
    while (rest.size() > maxChars) {
        qsizetype cut = -1;
        // A space after the end, or none after a wide (CJK) mark.
        for (qsizetype k = maxChars; k > maxChars / 2 && cut < 0; --k)
            if ((rest[k] == u' ' || rest[k - 1].unicode() >= 0x3000) && endsSentence(rest, k)) cut = k;
        if (cut < 0) cut = rest.lastIndexOf(u' ', maxChars);
        if (cut <= 0) cut = maxChars - (rest[maxChars - 1].isHighSurrogate() ? 1 : 0);
        pieces << rest.left(cut).trimmed();
        rest = rest.mid(cut).trimmed();
    }
    if (!rest.isEmpty()) pieces << rest;
    return pieces;
}

SpeechSynth::Result SpeechSynth::open(const QString& language) {
    m_rate = startEspeak();
    if (m_rate <= 0) return Result::NoVoiceData;
    espeak_VOICE voice = {};
    const QByteArray name = language.toUtf8();
    voice.languages = name.constData();
    if (name.isEmpty() || !isKnownLanguage(voice) || espeak_SetVoiceByProperties(&voice) != EE_OK)
        return Result::UnknownLanguage;
    espeak_SetParameter(espeakRATE, 175, 0);
    return Result::Ok;
}

bool SpeechSynth::speak(const QString& text, std::vector<float>& out) {
    const QByteArray utf8 = text.toUtf8();
    return espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                        espeakCHARS_UTF8, nullptr, &out) == EE_OK;
}
