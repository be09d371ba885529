// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Audio files shared by the player's tests, made once per run in a temporary
// folder: WAV from generated samples, MP3 through `lame`.

#include "platform/audio_file.h"

#include <QString>
#include <QStringList>
#include <string>

namespace testfiles {

QString Folder();
// Writes `bytes` under `name` in the folder and returns the path.
QString Write(const QString& name, const std::string& bytes);
// A 16-bit 44100 Hz stereo WAV of `seconds` of the sweep.
QString SweepWav(double seconds);
// MP3 of SweepWav(seconds) made with `lame` and these arguments, cached by name.
QString Mp3(const QString& name, double seconds, const QStringList& lameArgs);
// The frames of an MPEG file, counted with the program's own parser.
int CountFrames(const QString& path, uint64_t start = 0);

// The frame that continuous playback from `first` plays at `seconds`: frames
// read one after the other, each lasting its FrameDuration, regions without
// frames skipped. Its offset, start time and number; past the last frame, the
// offset after it, the whole duration and the frame count.
struct FramePlace {
    uint64_t offset = 0;
    double start = 0.0;
    int number = 0;
};
FramePlace PlaybackFrameAt(platform::ByteSource& src, uint64_t first, double seconds);

}  // namespace testfiles
