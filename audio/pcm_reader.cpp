// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/pcm_reader.h"

#include "audio/mpeg_frame.h"
#include "audio/wave_parser.h"
#include "platform/audio_file.h"
#include "platform/mpeg_decoder.h"
#include "platform/sound_file_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Little-endian signed PCM of 8 (unsigned), 16, 24 or 32 bits.
float sampleAt(const uint8_t* p, int bytes) {
    switch (bytes) {
    case 1: return (int(p[0]) - 128) / 128.0f;
    case 2: return int16_t(p[0] | p[1] << 8) / 32768.0f;
    case 3: return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) / 2147483648.0f;
    default: return int32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24) / 2147483648.0f;
    }
}

// Mixes whole sample frames of `bytes` to mono and hands them on; returns how many.
size_t writeMono(const uint8_t* data, size_t bytes, int channels, int sampleBytes, std::vector<float>& mono,
                 PcmSink& sink) {
    const size_t frame = size_t(channels) * sampleBytes;
    mono.clear();
    for (size_t at = 0; at + frame <= bytes; at += frame) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) sum += sampleAt(data + at + size_t(c) * sampleBytes, sampleBytes);
        mono.push_back(sum / channels);
    }
    if (!mono.empty()) sink.write(mono.data(), mono.size());
    return mono.size();
}

PcmReadResult readWave(platform::ByteSource& file, PcmSink& sink) {
    WaveLayout layout;
    if (!parseWave(file, layout)) return PcmReadResult::NotAudio;
    const auto& f = layout.format;
    const int sampleBytes = f.bitsPerSample / 8;
    if (f.channels == 0 || sampleBytes < 1 || sampleBytes > 4 ||
        f.bitsPerSample % 8 != 0)
        return PcmReadResult::NotAudio;
    const size_t frame = size_t(f.channels) * size_t(sampleBytes);
    sink.start(int(f.samplesPerSec), size_t((layout.dataEnd - layout.dataOffset) / frame));
    file.seek(layout.dataOffset);
    std::vector<uint8_t> block((65536 / frame) * frame);  // whole sample frames only
    std::vector<float> mono;
    size_t total = 0;
    for (uint64_t left = layout.dataEnd - layout.dataOffset; left > 0;) {
        if (sink.stopped()) return PcmReadResult::Stopped;
        const uint32_t want = uint32_t(std::min<uint64_t>(left, block.size()));
        const uint32_t got = file.read(block.data(), want);
        if (got == 0) break;
        total += writeMono(block.data(), got, f.channels, sampleBytes, mono, sink);
        left -= got;
    }
    return total == 0 ? PcmReadResult::Empty : PcmReadResult::Ok;
}

// The first frame sync after any ID3v2 tags, as the player finds it.
bool findMpegStart(platform::ByteSource& file) {
    for (uint64_t offset = 0;;) {
        uint8_t head[10] = {};
        file.seek(offset);
        const uint32_t n = file.read(head, sizeof head);
        if (n >= 2 && isFrameSync(head[0], head[1])) return file.seek(offset), true;
        const uint32_t tag = n == sizeof head ? id3v2TagSize(head) : 0;
        if (tag == 0) return false;
        offset += tag;
    }
}

PcmReadResult readMpeg(platform::ByteSource& file, PcmSink& sink) {
    auto frame = std::make_unique<uint8_t[]>(kMaxFrameBytes);
    MpegFrameHeader h;
    const uint64_t start = file.position();
    if (!readFrameHeader(file, frame.get(), h)) return PcmReadResult::NotAudio;
    const platform::WaveFormat format = pcmFormatFor(h);
    platform::MpegDecoder decoder;
    if (!decoder.open(long(format.samplesPerSec), format.channels)) return PcmReadResult::NotAudio;
    // As many frames as the file's size suggests.
    sink.start(int(format.samplesPerSec), size_t((file.size() - start) / uint64_t(std::max(frameLength(h), 1)) + 1) *
                                              size_t(samplesPerFrame(h)) * format.samplesPerSec / size_t(sampleRate(h)));
    file.seek(start);
    const uint32_t dstBytes = destinationBytes(h, kMaxFrameBytes, 65536);
    std::vector<uint8_t> pcm(dstBytes);
    std::vector<float> mono;
    size_t total = 0;
    while (readFrameHeader(file, frame.get(), h)) {
        if (sink.stopped()) return PcmReadResult::Stopped;
        const uint32_t length = readFrame(file, frame.get(), h);
        if (length == 0) break;
        const uint64_t count = uint64_t(samplesPerFrame(h)) * format.samplesPerSec / uint64_t(sampleRate(h));
        const uint32_t got = decoder.decode(frame.get(), length, pcm.data(), dstBytes,
                                            uint32_t(count) * format.blockAlign);
        total += writeMono(pcm.data(), got, format.channels, 2, mono, sink);
    }
    return total == 0 ? PcmReadResult::Empty : PcmReadResult::Ok;
}

// FLAC, Ogg Vorbis and Opus through libsndfile, as 16-bit frames.
PcmReadResult readSoundFile(platform::ByteSource& file, PcmSink& sink) {
    platform::SoundFileDecoder decoder;
    if (!decoder.open(file)) return PcmReadResult::NotAudio;
    const int channels = decoder.channels();
    sink.start(decoder.sampleRate(), size_t(decoder.frames()));
    std::vector<int16_t> pcm(size_t(4096) * size_t(channels));
    std::vector<float> mono;
    size_t total = 0;
    for (;;) {
        if (sink.stopped()) return PcmReadResult::Stopped;
        const int64_t got = decoder.readFrames(pcm.data(), 4096);
        if (got <= 0) break;
        total += writeMono(reinterpret_cast<const uint8_t*>(pcm.data()), size_t(got) * size_t(channels) * 2, channels, 2,
                           mono, sink);
    }
    return total == 0 ? PcmReadResult::Empty : PcmReadResult::Ok;
}

}  // namespace

PcmReadResult readMonoPcm(const QString& path, PcmSink& sink) {
    platform::AudioFile file;
    if (!file.open(path)) return PcmReadResult::CannotOpen;
    return readMonoPcm(file, sink);
}

PcmReadResult readMonoPcm(platform::ByteSource& file, PcmSink& sink) {
    file.seek(0);
    char magic[4] = {};
    const uint32_t head = file.read(magic, 4);
    if (head == 4 && std::memcmp(magic, "RIFF", 4) == 0)
        return readWave(file, sink);
    if (platform::SoundFileDecoder::isSoundFileHead(magic, head)) return readSoundFile(file, sink);
    return findMpegStart(file) ? readMpeg(file, sink) : PcmReadResult::NotAudio;
}

QString pcmReadMessage(PcmReadResult result, const QString& path) {
    switch (result) {
    case PcmReadResult::CannotOpen: return QStringLiteral("Could not open '%1'").arg(path);
    case PcmReadResult::NotAudio: return QStringLiteral("'%1' is not a WAV (PCM) or MPEG audio file, nor FLAC, Ogg Vorbis or Opus").arg(path);
    case PcmReadResult::Empty: return QStringLiteral("'%1' holds no audio").arg(path);
    case PcmReadResult::Ok: case PcmReadResult::Stopped: break;
    }
    return {};
}
