// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_files.h"

#include "audio/mpeg_frame.h"
#include "common/test_audio.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace testfiles {

QString Folder() {
    static QTemporaryDir dir;
    return dir.path();
}

QString Write(const QString& name, const std::string& bytes) {
    const QString path = Folder() + "/" + name;
    EXPECT_TRUE(testaudio::WriteFile(path, bytes)) << path.toStdString();
    return path;
}

QString SweepWav(double seconds) {
    const QString name = QStringLiteral("sweep-%1.wav").arg(seconds);
    const QString path = Folder() + "/" + name;
    if (!QFile::exists(path))
        Write(name, testaudio::WaveFile(2, 44100, 16,
                                        testaudio::PcmBytes(testaudio::Sweep(44100, 2, seconds))));
    return path;
}

QString Mp3(const QString& name, double seconds, const QStringList& lameArgs) {
    const QString path = Folder() + "/" + name;
    if (!QFile::exists(path)) {
        EXPECT_TRUE(testaudio::EncodeMp3(SweepWav(seconds), path, lameArgs)) << "lame " << name.toStdString();
    }
    return path;
}

int CountFrames(const QString& path, uint64_t start) {
    platform::AudioFile file;
    if (!file.open(path)) return -1;
    file.seek(start);
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    int frames = 0;
    while (ReadFrameHeader(file, buf, h) && ReadFrame(file, buf, h)) ++frames;
    return frames;
}

FramePlace PlaybackFrameAt(platform::ByteSource& src, uint64_t first, double seconds) {
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    FramePlace place{first, 0.0, 0};
    src.seek(first);
    while (ReadFrameHeader(src, buf, h)) {
        place.offset = src.position() - uint64_t(HeaderBytes(h));
        const double end = place.start + double(SamplesPerFrame(h)) / SampleRate(h);  // the PCM it yields
        if (!ReadFrame(src, buf, h) || end > seconds) break;
        place = {src.position(), end, place.number + 1};
    }
    return place;
}

}  // namespace testfiles
