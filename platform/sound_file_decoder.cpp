// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_file_decoder.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>
#include <sndfile.h>
#include <vorbis/vorbisfile.h>

namespace platform {

namespace {

// libsndfile reads through the ByteSource.
sf_count_t vioLength(void* user) { return sf_count_t(static_cast<ByteSource*>(user)->size()); }

sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
    auto* source = static_cast<ByteSource*>(user);
    const sf_count_t base = whence == SEEK_CUR ? sf_count_t(source->position())
                            : whence == SEEK_END ? sf_count_t(source->size()) : 0;
    const sf_count_t target = base + offset;
    if (target < 0) return -1;
    source->seek(uint64_t(target));
    return target;
}

sf_count_t vioRead(void* dst, sf_count_t count, void* user) {
    auto* source = static_cast<ByteSource*>(user);
    sf_count_t total = 0;
    while (count > 0) {
        const uint32_t want = uint32_t(std::min<sf_count_t>(count, 1 << 30));
        const uint32_t got = source->read(static_cast<char*>(dst) + total, want);
        total += got;
        count -= got;
        if (got < want) break;
    }
    return total;
}

sf_count_t vioWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t vioTell(void* user) { return sf_count_t(static_cast<ByteSource*>(user)->position()); }

SF_VIRTUAL_IO kVirtualIo = {vioLength, vioSeek, vioRead, vioWrite, vioTell};

// libvorbisfile reads through it too.
size_t ovRead(void* dst, size_t size, size_t count, void* user) {
    return size == 0 ? 0 : size_t(vioRead(dst, sf_count_t(size * count), user)) / size;
}
int ovSeek(void* user, ogg_int64_t offset, int whence) { return vioSeek(sf_count_t(offset), whence, user) < 0 ? -1 : 0; }
long ovTell(void* user) { return long(vioTell(user)); }
const ov_callbacks kVorbisIo = {ovRead, ovSeek, nullptr, ovTell};

QString tr(const char* text) { return QCoreApplication::translate("SoundFileDecoder", text); }

}  // namespace

SoundFileDecoder::SoundFileDecoder() = default;
SoundFileDecoder::~SoundFileDecoder() { close(); }

bool SoundFileDecoder::isSoundFileHead(const char* head, size_t size) {
    return size >= 4 && (std::memcmp(head, "fLaC", 4) == 0 || std::memcmp(head, "OggS", 4) == 0);
}

bool SoundFileDecoder::open(const QString& path) {
    close();
    auto file = std::make_unique<AudioFile>();
    if (!file->open(path)) {
        m_error = tr("Could not open '%1'").arg(path);
        return false;
    }
    m_ownFile = std::move(file);
    m_source = m_ownFile.get();
    return start(path);
}

bool SoundFileDecoder::open(ByteSource& source) {
    close();
    m_source = &source;
    return start(tr("the audio"));
}

// True for an Ogg stream whose first packet is not Opus's header: Vorbis,
// or nothing the program decodes, which libvorbisfile then refuses.
static bool isOggButNotOpus(ByteSource& source) {
    char head[27 + 255 + 8] = {};
    source.seek(0);
    const uint32_t n = source.read(head, sizeof head);
    if (n < 27 || std::memcmp(head, "OggS", 4) != 0) return false;
    const uint32_t packet = 27u + uint8_t(head[26]);
    return n < packet + 8 || std::memcmp(head + packet, "OpusHead", 8) != 0;
}

bool SoundFileDecoder::start(const QString& name) {
    SF_INFO info{};
    // libsndfile's Vorbis seeks may land a block away from the frame asked
    // for (and a damaged Vorbis header leaks its memory): libvorbisfile
    // decodes Vorbis, its seeks exact.
    if (isOggButNotOpus(*m_source)) {
        m_vorbis = std::make_unique<OggVorbis_File>();
        m_source->seek(0);
        const vorbis_info* vi = nullptr;
        if (ov_open_callbacks(m_source, m_vorbis.get(), nullptr, 0, kVorbisIo) != 0) m_vorbis.reset();
        else if ((vi = ov_info(m_vorbis.get(), -1)) != nullptr) info = {sf_count_t(ov_pcm_total(m_vorbis.get(), -1)), int(vi->rate), vi->channels, 0, 0, 0};
        if (!m_vorbis) {
            m_error = tr("'%1' is not Ogg Vorbis audio the program decodes").arg(name);
            close();
            return false;
        }
    } else {
        m_source->seek(0);
        m_file = sf_open_virtual(&kVirtualIo, SFM_READ, &info, m_source);
        if (!m_file) {
            m_error = tr("'%1' is not audio the program decodes: %2").arg(name, QString::fromUtf8(sf_strerror(nullptr)));
            close();
            return false;
        }
        // Floating-point data (Opus) is clipped to the 16-bit range, not
        // wrapped. (Scaling it to its peak would read the whole file first.)
        sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    // A stream that does not say how long it is (libsndfile's SF_COUNT_MAX) is refused too.
    if (info.channels < 1 || info.channels > 8 || info.samplerate < 1000 || info.samplerate > 384000 || info.frames <= 0 ||
        info.frames >= SF_COUNT_MAX / 2) {
        m_error = tr("'%1' holds no audio the program plays (%2 channels at %3 Hz, %4 frames)")
                      .arg(name).arg(info.channels).arg(info.samplerate).arg(qint64(info.frames));
        close();
        return false;
    }
    m_rate = info.samplerate;
    m_channels = info.channels;
    m_frames = info.frames;
    m_position = 0;
    m_error.clear();
    return true;
}

void SoundFileDecoder::close() {
    if (m_file) sf_close(m_file);
    if (m_vorbis) ov_clear(m_vorbis.get());
    m_vorbis.reset();
    m_file = nullptr;
    m_ownFile.reset();
    m_source = nullptr;
    m_rate = m_channels = 0;
    m_frames = m_position = 0;
}

WaveFormat SoundFileDecoder::format() const {
    WaveFormat f;
    f.formatTag = 1;
    f.channels = uint16_t(m_channels);
    f.samplesPerSec = uint32_t(m_rate);
    f.bitsPerSample = 16;
    f.blockAlign = uint16_t(2 * m_channels);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    return f;
}

bool SoundFileDecoder::seekToFrame(int64_t frame) {
    if (!isOpen()) return false;
    if (frame < 0 || frame > m_frames) {
        m_error = tr("frame %1 lies outside the audio (0 to %2)").arg(qint64(frame)).arg(qint64(m_frames));
        return false;
    }
    if (m_vorbis) {
        if (ov_pcm_seek(m_vorbis.get(), ogg_int64_t(frame)) != 0) {
            m_error = tr("could not seek to frame %1").arg(qint64(frame));
            return false;
        }
        m_position = frame;
        return true;
    }
    const bool landed = sf_seek(m_file, sf_count_t(frame), SEEK_SET) == sf_count_t(frame);
    if (!landed) {
        m_error = tr("could not seek to frame %1: %2").arg(qint64(frame)).arg(QString::fromUtf8(sf_strerror(m_file)));
        return false;
    }
    m_position = frame;
    return true;
}

int64_t SoundFileDecoder::readFrames(int16_t* buffer, int64_t count) {
    if (!isOpen() || count <= 0) return 0;
    if (m_vorbis) {
        const int64_t frameBytes = 2 * int64_t(m_channels);
        int64_t done = 0;
        while (done < count) {
            int section = 0;
            const long got = ov_read(m_vorbis.get(), reinterpret_cast<char*>(buffer + done * m_channels),
                                     int(std::min<int64_t>((count - done) * frameBytes, 1 << 20)), 0, 2, 1, &section);
            if (got == OV_HOLE) continue;  // a gap in the stream; decoding goes on after it
            if (got < 0) m_error = tr("the Vorbis stream is damaged (%1)").arg(got);
            if (got <= 0) break;
            done += got / frameBytes;
        }
        m_position += done;
        return done;
    }
    const sf_count_t got = sf_readf_short(m_file, buffer, sf_count_t(count));
    if (got <= 0) {
        if (sf_error(m_file) != SF_ERR_NO_ERROR) m_error = QString::fromUtf8(sf_strerror(m_file));
        return 0;
    }
    m_position += got;
    return got;
}

}  // namespace platform
