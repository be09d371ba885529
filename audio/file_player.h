// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// FilePlayer: plays a WAV, MP3, FLAC, Ogg Vorbis or Opus file on a wave
// output device through a ring of eight 64 KB buffers, at a speed with the
// pitch kept.
//
// Threads: the GUI thread owns all player state. The device posts an OutDone
// event to the player itself for every finished buffer. No locks.

#include "audio/mpeg_frame.h"
#include "audio/mpeg_seek_index.h"
#include "platform/audio_file.h"
#include "platform/mpeg_decoder.h"
#include "platform/sound_file_decoder.h"
#include "platform/time_stretcher.h"
#include "platform/wave_device.h"

#include <QObject>
#include <QString>
#include <array>
#include <memory>

class FilePlayer : public QObject {
    Q_OBJECT
public:
    explicit FilePlayer(platform::AudioBackend& backend, QObject* parent = nullptr);
    ~FilePlayer() override;

    bool open(const QString& path);           // true when the file is open and recognised
    bool close();
    bool play(double startSeconds);
    // Stops playing and closes the device; the file stays loaded.
    bool stop();
    bool pause();
    bool resume();
    bool isPaused() const;
    bool isPlaying() const;                   // also while paused
    bool isLoaded() const;
    double position() const;                  // seconds into the file now heard
    QString fileName() const;                 // the path given to the last open
    // Whether the last playback ended because the device failed (it was
    // reported then); cleared by play.
    bool deviceFailed() const;
    // Whether buffers are with the device (playback is not just waiting on
    // a start past the end of the data).
    bool hasQueuedAudio() const;
    double length() const;                    // seconds of a WAV file's samples; 0 when not known
    // Playback speed, kMinSpeed .. kMaxSpeed (refused outside). While playing it
    // follows what the sound server already holds, without a gap; while
    // paused, it takes effect on resume.
    bool setSpeed(double speed);
    double speed() const;
    // Plays on from `seconds` at once, keeping the open device (a jump or a
    // repeat without reopening it); false when nothing plays.
    bool playFrom(double seconds);

    static constexpr double kMinSpeed = 0.5;
    static constexpr double kMaxSpeed = 2.0;

signals:
    // Something the user must hear of: the file, the device or the speed failed.
    void failed(const QString& message);

protected:
    bool event(QEvent* e) override;

private:
    friend struct FilePlayerProbe;  // the benchmarks time the seek alone

    static constexpr int kBuffers = 8;             // the ring
    static constexpr int kPrimed = 7;              // filled before playback starts
    static constexpr uint32_t kBlockBytes = 65536; // one ring data block
    enum class Format { None, Wave, Mpeg, SoundFile };

    bool onBufferDone();
    bool parseWave();
    bool findMpegStart();
    bool openMpeg();
    bool openSoundFile();
    void releaseMpeg();
    bool halt();
    void takeBackQueued();
    bool respeed();
    double fileTimeAt(uint64_t bytes) const;
    bool fail();
    bool startAt(double seconds);
    void seek(double seconds);
    void preroll(uint64_t from, uint64_t to);
    bool fillBuffer(int i);
    bool fillStretched(int i);
    bool fillRaw(platform::WaveHeader& hdr);
    bool fillWave(platform::WaveHeader& hdr);
    bool fillMpeg(platform::WaveHeader& hdr);
    bool fillSoundFile(platform::WaveHeader& hdr);

    platform::AudioBackend& m_backend;

    // The file and its format.
    QString m_fileName;
    platform::AudioFile m_file;
    bool m_loaded = false;
    Format m_format = Format::None;
    platform::WaveFormat m_wfx;      // what the output device is opened with
    uint64_t m_dataOffset = 0;       // WAV: first sample byte
    uint64_t m_dataEnd = 0;          // WAV: one past the last sample byte
    uint32_t m_bufferBytes = 0;      // WAV: bytes read into one ring buffer (whole frames)

    // MPEG: the converter (null when there is none), its frame block, the
    // first frame's offset and the seek index. The converter writes each
    // frame's PCM straight into a ring block.
    std::unique_ptr<platform::MpegDecoder> m_decoder;
    std::unique_ptr<uint8_t[]> m_frame;     // one whole frame (kMaxFrameBytes)
    uint32_t m_dstBytes = kMaxFrameBytes;   // room declared to the converter
    uint64_t m_audioStart = 0;              // after an ID3v2 tag, else 0
    MpegSeekIndex m_seekIndex;

    // FLAC, Ogg Vorbis, Opus: decoded to 16-bit PCM, seeks sample-exact.
    platform::SoundFileDecoder m_soundFile;

    // Playback.
    double m_startTime = 0.0;   // time in the file heard at the device's count m_baseBytes
    uint64_t m_baseBytes = 0;   // 0, or where the ring was spliced on by a speed change
    double m_tailSpeed = 1.0;   // the speed of what is heard before m_baseBytes
    bool m_paused = false;
    std::unique_ptr<platform::WaveOut> m_waveOut;
    bool m_deviceOpen = false;
    std::array<platform::WaveHeader, kBuffers> m_hdr;
    std::array<std::unique_ptr<char[]>, kBuffers> m_data;
    bool m_playing = false;
    bool m_moreData = false;
    int m_current = 0;  // ring index of the buffer to fill next
    int m_queued = 0;   // buffers with the device, not yet returned
    bool m_deviceFailed = false;

    // Speed. At 1 the stretcher is out of the way: the ring gets the file's
    // samples as they are. Otherwise the file's samples go through m_raw
    // into the stretcher, and the device's byte count maps to file time
    // through m_playSpeed.
    double m_speed = 1.0;         // asked for
    double m_playSpeed = 1.0;     // what the queued buffers were made at
    bool m_speedPending = false;  // a change asked for while paused
    bool m_inputEnded = false;    // the stretcher has had the last samples
    platform::TimeStretcher m_stretcher;
    platform::WaveHeader m_raw;   // the file's samples on their way to the stretcher
    std::unique_ptr<char[]> m_rawData;
};
