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

int CReplayFile::IsLoaded() const { return m_bLoaded; }

QString CReplayFile::GetFileName() const { return m_strFile; }

// An MPEG file's length would take a scan of every frame: not known.
double CReplayFile::GetLength() const {
    if (!m_bLoaded || m_nFormat != FORMAT_WAV || m_wfx.blockAlign == 0 || m_wfx.samplesPerSec == 0) return 0;
    return double((m_nDataEnd - m_nDataOffset) / m_wfx.blockAlign) / m_wfx.samplesPerSec;
}

int CReplayFile::Open(const QString& path) {
    if (m_bLoaded) Close();
    m_strFile = path;
    if (!m_file.open(path)) {
        platform::ShowMessage(QCoreApplication::translate("CReplayFile", "Could not open '%1'").arg(path));
        return 0;
    }
    char magic[4];
    int ok = 0;
    if (m_file.read(magic, 4) == 4 && std::memcmp(magic, "RIFF", 4) == 0)
        ok = ParseWave();
    else if (FindMpegStart())
        ok = OpenMpeg();
    if (ok) {
        m_bLoaded = 1;
        return 1;
    }
    m_file.close();
    return 0;
}

int CReplayFile::ParseWave() {
    WaveLayout layout;
    if (!::ParseWave(m_file, layout)) return 0;
    m_wfx = layout.format;
    m_nDataOffset = layout.dataOffset;
    m_nDataEnd = layout.dataEnd;
    m_nBufferBytes = kBlockBytes;
    m_nFormat = FORMAT_WAV;
    return 1;
}

// An MPEG file starts with a frame sync, after any ID3v2 tags; the first
// frame sets the file's start for seeking and times.
int CReplayFile::FindMpegStart() {
    uint64_t offset = 0;
    for (;;) {
        uint8_t head[10] = {};
        m_file.seek(offset);
        const uint32_t n = m_file.read(head, sizeof head);
        if (n >= 2 && IsFrameSync(head[0], head[1])) {
            m_nAudioStart = offset;
            return 1;
        }
        const uint32_t tag = n == sizeof head ? Id3v2TagSize(head) : 0;
        if (tag == 0) return 0;
        offset += tag;
    }
}

int CReplayFile::OpenMpeg() {
    m_pSrc = std::make_unique<uint8_t[]>(kMaxFrameBytes);
    m_file.seek(m_nAudioStart);
    MpegFrameHeader first;
    if (!ReadFrameHeader(m_file, m_pSrc.get(), first)) {
        platform::ShowMessage(QCoreApplication::translate("CReplayFile", "Format error on file '%1'\n").arg(m_strFile));
        ReleaseMpeg();
        return 0;
    }
    m_file.seek(m_nAudioStart);  // the first frame is read again when playback starts
    m_wfx = PcmFormatFor(first);
    m_decoder = std::make_unique<platform::MpegDecoder>();
    if (!m_decoder->open(long(m_wfx.samplesPerSec), m_wfx.channels)) {
        platform::ShowMessage(QCoreApplication::translate("CReplayFile", "Could not find suitable CODEC for '%1'\n").arg(m_strFile));
        ReleaseMpeg();
        return 0;
    }
    m_nDstBytes = DestinationBytes(first, kMaxFrameBytes, kBlockBytes);
    m_seekIndex.Reset(m_nAudioStart);
    m_nFormat = FORMAT_MPEG;
    return 1;
}

void CReplayFile::ReleaseMpeg() {
    m_decoder.reset();
    m_pSrc.reset();
    m_seekIndex.Reset(0);
}

int CReplayFile::Close() {
    if (!m_bLoaded) return 0;
    if (m_bDeviceOpen) CloseDevice();
    m_file.close();
    m_bLoaded = 0;
    ReleaseMpeg();
    return 1;
}
