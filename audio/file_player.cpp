// SPDX-License-Identifier: GPL-3.0-or-later
// FilePlayer: construction, opening and recognising a file, closing it.
#include "audio/file_player.h"

#include "audio/wave_parser.h"

#include <cstring>


FilePlayer::FilePlayer(platform::AudioBackend& backend, QObject* parent) : QObject(parent), m_backend(backend) {
    // The ring lives as long as the player: playback allocates nothing.
    for (int i = 0; i < kBuffers; ++i) {
        m_data[i] = std::make_unique<char[]>(kBlockBytes);
        m_hdr[i].data = m_data[i].get();
    }
    m_rawData = std::make_unique<char[]>(kBlockBytes);
    m_raw.data = m_rawData.get();
}

FilePlayer::~FilePlayer() { close(); }

bool FilePlayer::isLoaded() const { return m_loaded; }

QString FilePlayer::fileName() const { return m_fileName; }

// An MPEG file's length would take a scan of every frame: not known.
// Sound files declare theirs.
double FilePlayer::length() const {
    if (!m_loaded || m_wfx.blockAlign == 0 || m_wfx.samplesPerSec == 0) return 0;
    if (m_format == Format::SoundFile) return double(m_soundFile.frames()) / m_wfx.samplesPerSec;
    if (m_format != Format::Wave) return 0;
    return double((m_dataEnd - m_dataOffset) / m_wfx.blockAlign) / m_wfx.samplesPerSec;
}

bool FilePlayer::open(const QString& path) {
    if (m_loaded) close();
    m_fileName = path;
    if (!m_file.open(path)) {
        emit failed(tr("Could not open '%1'").arg(path));
        return false;
    }
    char magic[4];
    bool ok = false;
    const uint32_t head = m_file.read(magic, 4);
    if (head == 4 && std::memcmp(magic, "RIFF", 4) == 0)
        ok = parseWave();
    else if (platform::SoundFileDecoder::isSoundFileHead(magic, head))
        ok = openSoundFile();
    else if (findMpegStart())
        ok = openMpeg();
    if (ok) {
        m_loaded = true;
        return true;
    }
    m_file.close();
    return false;
}

bool FilePlayer::parseWave() {
    WaveLayout layout;
    if (!::parseWave(m_file, layout)) return false;
    m_wfx = layout.format;
    m_dataOffset = layout.dataOffset;
    m_dataEnd = layout.dataEnd;
    // Whole sample frames only: with speed each read goes to the stretcher on
    // its own, and a frame cut at a read's end would shift the channels.
    m_bufferBytes = m_wfx.blockAlign > 0 ? kBlockBytes / m_wfx.blockAlign * m_wfx.blockAlign : kBlockBytes;
    m_format = Format::Wave;
    return true;
}

// An MPEG file starts with a frame sync, after any ID3v2 tags; the first
// frame sets the file's start for seeking and times.
bool FilePlayer::findMpegStart() {
    uint64_t offset = 0;
    for (;;) {
        uint8_t head[10] = {};
        m_file.seek(offset);
        const uint32_t n = m_file.read(head, sizeof head);
        if (n >= 2 && isFrameSync(head[0], head[1])) {
            m_audioStart = offset;
            return true;
        }
        const uint32_t tag = n == sizeof head ? id3v2TagSize(head) : 0;
        if (tag == 0) return false;
        offset += tag;
    }
}

bool FilePlayer::openMpeg() {
    m_frame = std::make_unique<uint8_t[]>(kMaxFrameBytes);
    m_file.seek(m_audioStart);
    MpegFrameHeader first;
    if (!readFrameHeader(m_file, m_frame.get(), first)) {
        emit failed(tr("Format error on file '%1'\n").arg(m_fileName));
        releaseMpeg();
        return false;
    }
    m_file.seek(m_audioStart);  // the first frame is read again when playback starts
    m_wfx = pcmFormatFor(first);
    m_decoder = std::make_unique<platform::MpegDecoder>();
    if (!m_decoder->open(long(m_wfx.samplesPerSec), m_wfx.channels)) {
        emit failed(tr("Could not find suitable CODEC for '%1'\n").arg(m_fileName));
        releaseMpeg();
        return false;
    }
    m_dstBytes = destinationBytes(first, kMaxFrameBytes, kBlockBytes);
    m_seekIndex.reset(m_audioStart);
    m_format = Format::Mpeg;
    return true;
}

bool FilePlayer::openSoundFile() {
    if (!m_soundFile.open(m_fileName)) {
        emit failed(tr("Format error on file '%1': %2").arg(m_fileName, m_soundFile.errorString()));
        return false;
    }
    m_wfx = m_soundFile.format();
    m_bufferBytes = kBlockBytes / m_wfx.blockAlign * m_wfx.blockAlign;
    m_format = Format::SoundFile;
    return true;
}

void FilePlayer::releaseMpeg() {
    m_decoder.reset();
    m_frame.reset();
    m_seekIndex.reset(0);
}

bool FilePlayer::close() {
    if (!m_loaded) return false;
    if (m_deviceOpen) stop();
    m_file.close();
    m_loaded = false;
    releaseMpeg();
    m_soundFile.close();
    return true;
}
