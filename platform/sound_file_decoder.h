// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// FLAC, Ogg Vorbis and Opus (and the WAV and MP3 forms libsndfile knows)
// decoded with libsndfile (Vorbis with libvorbisfile), for a streaming player and for analysis: open,
// seek to an exact sample frame, read 16-bit interleaved frames.
//
// Seeks are sample-exact: after seekToFrame(n) the next frame read is frame n
// of continuous decoding from the start.

#include "platform/audio_file.h"
#include "platform/wave_device.h"

#include <QString>
#include <cstdint>
#include <memory>

struct sf_private_tag;
struct OggVorbis_File;

namespace platform {

class SoundFileDecoder {
public:
    SoundFileDecoder();
    ~SoundFileDecoder();
    SoundFileDecoder(const SoundFileDecoder&) = delete;
    SoundFileDecoder& operator=(const SoundFileDecoder&) = delete;

    // Opens a file, or bytes the caller keeps alive until close(). False,
    // with errorString() set and nothing open, when they are not audio the
    // library decodes (or hold no frames).
    bool open(const QString& path);
    bool open(ByteSource& source);
    void close();
    bool isOpen() const { return m_file != nullptr || m_vorbis != nullptr; }
    QString errorString() const { return m_error; }

    int sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }
    int64_t frames() const { return m_frames; }  // as the file declares it
    // What readFrames() gives: 16-bit signed PCM, the file's rate and channels.
    WaveFormat format() const;

    // Moves to `frame` (0 to frames()); false, with errorString() set, when
    // the library cannot.
    bool seekToFrame(int64_t frame);
    // Decodes up to `count` frames into `buffer` (count * channels() samples)
    // and returns how many were decoded: fewer at the end, 0 after it or on a
    // decoding error (errorString() then says which).
    int64_t readFrames(int16_t* buffer, int64_t count);
    int64_t position() const { return m_position; }

    // True when `head` (the first bytes of a file) starts a FLAC or Ogg stream.
    static bool isSoundFileHead(const char* head, size_t size);

private:
    bool start(const QString& name);

    std::unique_ptr<AudioFile> m_ownFile;  // when opened by path
    ByteSource* m_source = nullptr;
    ::sf_private_tag* m_file = nullptr;
    std::unique_ptr<::OggVorbis_File> m_vorbis;  // Ogg Vorbis, in place of m_file
    int m_rate = 0, m_channels = 0;
    int64_t m_frames = 0, m_position = 0;
    QString m_error;
};

}  // namespace platform
