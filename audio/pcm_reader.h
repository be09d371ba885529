// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads a whole WAV or MPEG audio file as mono samples for analysis, with the
// file player's parsers and decoder, so that sample n lies at the time the
// player gives position n / rate: WAV data as stored, every MPEG frame its own
// duration (after any ID3v2 tags). The samples are handed on block by block,
// so a long file is never held whole at its own rate.

#include "platform/audio_file.h"

#include <QString>
#include <cstddef>

enum class PcmReadResult { Ok, CannotOpen, NotAudio, Empty, Stopped };

// Receives the samples: mono (channels averaged), full scale 1.0.
class PcmSink {
public:
    virtual ~PcmSink() = default;
    // Before the first block: the rate (Hz) and about how many samples will come.
    virtual void start(int rate, size_t expected) = 0;
    virtual void write(const float* samples, size_t count) = 0;
    // Asked before each block: true ends the reading there (Stopped).
    virtual bool stopped() const { return false; }
};

PcmReadResult readMonoPcm(const QString& path, PcmSink& sink);
// The same from bytes already at hand (never CannotOpen).
PcmReadResult readMonoPcm(platform::ByteSource& source, PcmSink& sink);

// A sentence for the user about a failed read of `path`.
QString pcmReadMessage(PcmReadResult result, const QString& path);
