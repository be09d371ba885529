// SPDX-License-Identifier: GPL-3.0-or-later
// CReplayFile: construction, opening and recognising a file, closing it.
#include "audio/replay_file.h"

#include "audio/wave_parser.h"
#include "platform/message_box.h"

#include <cstring>

#include <QCoreApplication>

CReplayFile theReplayFile;

CReplayFile::CReplayFile() {
    // The ring lives as long as the player: playback allocates nothing.
    for (int i = 0; i < kBuffers; ++i) {
        m_data[i] = std::make_unique<char[]>(kBlockBytes);
        m_hdr[i].data = m_data[i].get();
    }
    m_rawData = std::make_unique<char[]>(kBlockBytes);
    m_raw.data = m_rawData.get();
}

CReplayFile::~CReplayFile() { Close(); }

bool CReplayFile::IsLoaded() const { return m_bLoaded; }

QString CReplayFile::GetFileName() const { return m_strFile; }

// An MPEG file's length would take a scan of every frame: not known.
double CReplayFile::GetLength() const {
    if (!m_bLoaded || m_nFormat != FORMAT_WAV || m_wfx.blockAlign == 0 || m_wfx.samplesPerSec == 0) return 0;
    return double((m_nDataEnd - m_nDataOffset) / m_wfx.blockAlign) / m_wfx.samplesPerSec;
}

bool CReplayFile::Open(const QString& path) {
    if (m_bLoaded) Close();
    m_strFile = path;
    if (!m_file.open(path)) {
        platform::showMessage(QCoreApplication::translate("CReplayFile", "Could not open '%1'").arg(path));
        return false;
    }
    char magic[4];
    bool ok = false;
    if (m_file.read(magic, 4) == 4 && std::memcmp(magic, "RIFF", 4) == 0)
        ok = parseWave();
    else if (FindMpegStart())
        ok = OpenMpeg();
    if (ok) {
        m_bLoaded = true;
        return true;
    }
    m_file.close();
    return false;
}

bool CReplayFile::parseWave() {
    WaveLayout layout;
    if (!::parseWave(m_file, layout)) return false;
    m_wfx = layout.format;
    m_nDataOffset = layout.dataOffset;
    m_nDataEnd = layout.dataEnd;
    // Whole sample frames only: with speed each read goes to the stretcher on
    // its own, and a frame cut at a read's end would shift the channels.
    m_nBufferBytes = m_wfx.blockAlign > 0 ? kBlockBytes / m_wfx.blockAlign * m_wfx.blockAlign : kBlockBytes;
    m_nFormat = FORMAT_WAV;
    return true;
}

// An MPEG file starts with a frame sync, after any ID3v2 tags; the first
// frame sets the file's start for seeking and times.
bool CReplayFile::FindMpegStart() {
    uint64_t offset = 0;
    for (;;) {
        uint8_t head[10] = {};
        m_file.seek(offset);
        const uint32_t n = m_file.read(head, sizeof head);
        if (n >= 2 && isFrameSync(head[0], head[1])) {
            m_nAudioStart = offset;
            return true;
        }
        const uint32_t tag = n == sizeof head ? id3v2TagSize(head) : 0;
        if (tag == 0) return false;
        offset += tag;
    }
}

bool CReplayFile::OpenMpeg() {
    m_pSrc = std::make_unique<uint8_t[]>(kMaxFrameBytes);
    m_file.seek(m_nAudioStart);
    MpegFrameHeader first;
    if (!readFrameHeader(m_file, m_pSrc.get(), first)) {
        platform::showMessage(QCoreApplication::translate("CReplayFile", "Format error on file '%1'\n").arg(m_strFile));
        ReleaseMpeg();
        return false;
    }
    m_file.seek(m_nAudioStart);  // the first frame is read again when playback starts
    m_wfx = pcmFormatFor(first);
    m_decoder = std::make_unique<platform::MpegDecoder>();
    if (!m_decoder->open(long(m_wfx.samplesPerSec), m_wfx.channels)) {
        platform::showMessage(QCoreApplication::translate("CReplayFile", "Could not find suitable CODEC for '%1'\n").arg(m_strFile));
        ReleaseMpeg();
        return false;
    }
    m_nDstBytes = destinationBytes(first, kMaxFrameBytes, kBlockBytes);
    m_seekIndex.reset(m_nAudioStart);
    m_nFormat = FORMAT_MPEG;
    return true;
}

void CReplayFile::ReleaseMpeg() {
    m_decoder.reset();
    m_pSrc.reset();
    m_seekIndex.reset(0);
}

bool CReplayFile::Close() {
    if (!m_bLoaded) return false;
    if (m_bDeviceOpen) CloseDevice();
    m_file.close();
    m_bLoaded = false;
    ReleaseMpeg();
    return true;
}
