#pragma once
// Reads a whole WAV or MPEG audio file as mono samples for analysis, with the
// file player's parsers and decoder, so that sample n lies at the time the
// player gives position n / rate: WAV data as stored, every MPEG frame its own
// duration (after any ID3v2 tags).

#include <QString>
#include <vector>

enum class PcmReadResult { Ok, CannotOpen, NotAudio, Empty };

// Fills `samples` (mono, channels averaged, full scale 1.0) and `rate` (Hz).
PcmReadResult ReadMonoPcm(const QString& path, std::vector<float>& samples, int& rate);

// A sentence for the user about a failed read of `path`.
QString PcmReadMessage(PcmReadResult result, const QString& path);
