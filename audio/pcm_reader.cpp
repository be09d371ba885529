#include "audio/pcm_reader.h"

#include "audio/mpeg_frame.h"
#include "audio/wave_parser.h"
#include "platform/audio_file.h"
#include "platform/mpeg_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Little-endian signed PCM of 8 (unsigned), 16, 24 or 32 bits.
float SampleAt(const uint8_t* p, int bytes) {
    switch (bytes) {
    case 1: return (int(p[0]) - 128) / 128.0f;
    case 2: return int16_t(p[0] | p[1] << 8) / 32768.0f;
    case 3: return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) / 2147483648.0f;
    default: return int32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24) / 2147483648.0f;
    }
}

void AppendMono(const uint8_t* data, size_t bytes, int channels, int sampleBytes, std::vector<float>& out) {
    const size_t frame = size_t(channels) * sampleBytes;
    for (size_t at = 0; at + frame <= bytes; at += frame) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) sum += SampleAt(data + at + size_t(c) * sampleBytes, sampleBytes);
        out.push_back(sum / channels);
    }
}

PcmReadResult ReadWave(platform::AudioFile& file, std::vector<float>& samples, int& rate) {
    WaveLayout layout;
    if (!ParseWave(file, layout)) return PcmReadResult::NotAudio;
    const auto& f = layout.format;
    const int sampleBytes = f.bitsPerSample / 8;
    if (f.channels == 0 || f.samplesPerSec == 0 || sampleBytes < 1 || sampleBytes > 4 ||
        f.bitsPerSample % 8 != 0)
        return PcmReadResult::NotAudio;
    rate = int(f.samplesPerSec);
    samples.reserve(size_t((layout.dataEnd - layout.dataOffset) / (uint64_t(f.channels) * sampleBytes)));
    file.seek(layout.dataOffset);
    std::vector<uint8_t> block(1 << 16);
    for (uint64_t left = layout.dataEnd - layout.dataOffset; left > 0;) {
        const uint32_t want = uint32_t(std::min<uint64_t>(left, block.size()));
        const uint32_t got = file.read(block.data(), want);
        if (got == 0) break;
        AppendMono(block.data(), got, f.channels, sampleBytes, samples);
        left -= got;
    }
    return samples.empty() ? PcmReadResult::Empty : PcmReadResult::Ok;
}

// The first frame sync after any ID3v2 tags, as the player finds it.
bool FindMpegStart(platform::AudioFile& file) {
    for (uint64_t offset = 0;;) {
        uint8_t head[10] = {};
        file.seek(offset);
        const uint32_t n = file.read(head, sizeof head);
        if (n >= 2 && IsFrameSync(head[0], head[1])) return file.seek(offset), true;
        const uint32_t tag = n == sizeof head ? Id3v2TagSize(head) : 0;
        if (tag == 0) return false;
        offset += tag;
    }
}

PcmReadResult ReadMpeg(platform::AudioFile& file, std::vector<float>& samples, int& rate) {
    auto frame = std::make_unique<uint8_t[]>(kMaxFrameBytes);
    MpegFrameHeader h;
    const uint64_t start = file.position();
    if (!ReadFrameHeader(file, frame.get(), h)) return PcmReadResult::NotAudio;
    const platform::WaveFormat format = PcmFormatFor(h);
    platform::MpegDecoder decoder;
    if (!decoder.open(long(format.samplesPerSec), format.channels)) return PcmReadResult::NotAudio;
    rate = int(format.samplesPerSec);
    // Room for the frames the file's size suggests, so the vector is not regrown.
    samples.reserve(size_t((file.size() - start) / uint64_t(std::max(FrameLength(h), 1)) + 1) *
                    size_t(SamplesPerFrame(h)) * format.samplesPerSec / size_t(SampleRate(h)));
    file.seek(start);
    const uint32_t dstBytes = DestinationBytes(h, kMaxFrameBytes, 65536);
    std::vector<uint8_t> pcm(dstBytes);
    while (ReadFrameHeader(file, frame.get(), h)) {
        const uint32_t length = ReadFrame(file, frame.get(), h);
        if (length == 0) break;
        const uint64_t count = uint64_t(SamplesPerFrame(h)) * format.samplesPerSec / uint64_t(SampleRate(h));
        const uint32_t got = decoder.decode(frame.get(), length, pcm.data(), dstBytes,
                                            uint32_t(count) * format.blockAlign);
        AppendMono(pcm.data(), got, format.channels, 2, samples);
    }
    return samples.empty() ? PcmReadResult::Empty : PcmReadResult::Ok;
}

}  // namespace

PcmReadResult ReadMonoPcm(const QString& path, std::vector<float>& samples, int& rate) {
    samples.clear();
    platform::AudioFile file;
    if (!file.open(path)) return PcmReadResult::CannotOpen;
    char magic[4] = {};
    if (file.read(magic, 4) == 4 && std::memcmp(magic, "RIFF", 4) == 0)
        return ReadWave(file, samples, rate);
    return FindMpegStart(file) ? ReadMpeg(file, samples, rate) : PcmReadResult::NotAudio;
}

QString PcmReadMessage(PcmReadResult result, const QString& path) {
    switch (result) {
    case PcmReadResult::CannotOpen: return QStringLiteral("Could not open '%1'").arg(path);
    case PcmReadResult::NotAudio: return QStringLiteral("'%1' is not a WAV (PCM) or MPEG audio file").arg(path);
    case PcmReadResult::Empty: return QStringLiteral("'%1' holds no audio").arg(path);
    case PcmReadResult::Ok: break;
    }
    return {};
}
