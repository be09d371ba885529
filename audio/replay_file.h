// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CReplayFile: the file player. Streams a WAV or MP3 file to the wave output
// device through a ring of eight 64 KB buffers.
//
// Threads: the GUI thread owns all player state. The device posts an
// OutDone event per finished buffer to the receiver given to Play(); that
// receiver calls OnBufferDone() on the GUI thread. No locks.
//
// (Public interface fixed here; the implementation owns the private part.)

#include "audio/mpeg_frame.h"
#include "audio/mpeg_seek_index.h"
#include "platform/audio_file.h"
#include "platform/mpeg_decoder.h"
#include "platform/time_stretcher.h"
#include "platform/wave_device.h"

#include <QPointer>
#include <QString>
#include <array>
#include <memory>

class QObject;

class CReplayFile {
public:
    CReplayFile();
    virtual ~CReplayFile();
    CReplayFile(const CReplayFile&) = delete;
    CReplayFile& operator=(const CReplayFile&) = delete;

    bool Open(const QString& path);            // true when the file is open and recognised
    bool Close();
    bool Play(QObject* notify, double startSeconds);
    bool OnBufferDone();                       // once per OutDone event
    bool CloseDevice();
    bool Pause();
    bool Resume();
    bool IsPaused() const;
    bool IsPlaying() const;
    bool IsLoaded() const;
    double GetPosition() const;               // seconds into the file now heard
    QString GetFileName() const;              // the path given to the last Open
    // Whether the last playback ended because the device failed (it was
    // reported then); cleared by Play.
    bool DeviceFailed() const;
    // Whether buffers are with the device (playback is not just waiting on
    // a start past the end of the data).
    bool HasQueuedAudio() const;
    double GetLength() const;                 // seconds of a WAV file's samples; 0 when not known
    // Playback speed, kMinSpeed .. kMaxSpeed (refused outside). While playing it
    // follows what the sound server already holds, without a gap; while
    // paused, it takes effect on Resume.
    bool SetSpeed(double speed);
    double GetSpeed() const;
    // Plays on from `seconds` at once, keeping the open device (a jump or a
    // repeat without reopening it); false when nothing plays.
    bool PlayFrom(double seconds);

    static constexpr double kMinSpeed = 0.5;
    static constexpr double kMaxSpeed = 2.0;

private:
    friend struct ReplayFileProbe;  // the benchmarks time the seek alone

    static constexpr int kBuffers = 8;             // the ring
    static constexpr int kPrimed = 7;              // filled before playback starts
    static constexpr uint32_t kBlockBytes = 65536; // one ring data block
    enum { FORMAT_WAV = 1, FORMAT_MPEG = 2 };

    bool parseWave();
    bool FindMpegStart();
    bool OpenMpeg();
    void ReleaseMpeg();
    bool Stop();
    void TakeBackQueued();
    bool Respeed();
    double FileTimeAt(uint64_t bytes) const;
    bool Fail();
    bool StartAt(double seconds);
    void Seek(double seconds);
    void Preroll(uint64_t from, uint64_t to);
    bool FillBuffer(int i);
    bool FillStretched(int i);
    bool FillRaw(platform::WaveHeader& hdr);
    bool FillWave(platform::WaveHeader& hdr);
    bool FillMpeg(platform::WaveHeader& hdr);

    // The file and its format.
    QString m_strFile;
    platform::AudioFile m_file;
    bool m_bLoaded = false;
    int m_nFormat = 0;
    platform::WaveFormat m_wfx;      // what the output device is opened with
    uint64_t m_nDataOffset = 0;      // WAV: first sample byte
    uint64_t m_nDataEnd = 0;         // WAV: one past the last sample byte
    uint32_t m_nBufferBytes = 0;     // WAV: bytes read into one ring buffer (whole frames)

    // MPEG: the converter (null when there is none), its frame block, the
    // first frame's offset and the seek index. The converter writes each
    // frame's PCM straight into a ring block.
    std::unique_ptr<platform::MpegDecoder> m_decoder;
    std::unique_ptr<uint8_t[]> m_pSrc;      // one whole frame (kMaxFrameBytes)
    uint32_t m_nDstBytes = kMaxFrameBytes;  // room declared to the converter
    uint64_t m_nAudioStart = 0;             // after an ID3v2 tag, else 0
    MpegSeekIndex m_seekIndex;

    // Playback.
    double m_dStartTime = 0.0;  // time in the file heard at the device's count m_nBaseBytes
    uint64_t m_nBaseBytes = 0;  // 0, or where the ring was spliced on by a speed change
    double m_dTailSpeed = 1.0;  // the speed of what is heard before m_nBaseBytes
    bool m_bPaused = false;
    std::unique_ptr<platform::WaveOut> m_pWaveOut;
    QPointer<QObject> m_pNotify;  // receiver of the device's notifications
    bool m_bDeviceOpen = false;
    std::array<platform::WaveHeader, kBuffers> m_hdr;
    std::array<std::unique_ptr<char[]>, kBuffers> m_data;
    bool m_bPlaying = false;
    bool m_bMoreData = false;
    int m_nCurrent = 0;  // ring index of the buffer to fill next
    int m_nQueued = 0;   // buffers with the device, not yet returned
    bool m_bDeviceFailed = false;

    // Speed. At 1 the stretcher is out of the way: the ring gets the file's
    // samples as they are. Otherwise the file's samples go through m_raw
    // into the stretcher, and the device's byte count maps to file time
    // through m_dPlaySpeed.
    double m_dSpeed = 1.0;        // asked for
    double m_dPlaySpeed = 1.0;    // what the queued buffers were made at
    bool m_bSpeedPending = false;      // a change asked for while paused
    bool m_bInputEnded = false;        // the stretcher has had the last samples
    platform::TimeStretcher m_stretcher;
    platform::WaveHeader m_raw;   // the file's samples on their way to the stretcher
    std::unique_ptr<char[]> m_rawData;
};

// The process-wide player, constructed by a static initialiser.
extern CReplayFile theReplayFile;
