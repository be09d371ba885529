// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Speech features for alignment: MFCCs at 16 kHz, 25 ms windows every 10 ms,
// normalised to zero mean and unit variance per file.

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

struct kiss_fftr_state;
class ScratchFile;

constexpr int kAnalysisRate = 16000;
constexpr int kHopSamples = 160;     // 10 ms
constexpr int kWindowSamples = 400;  // 25 ms
constexpr double kFrameSeconds = double(kHopSamples) / kAnalysisRate;
constexpr int kFeatureDims = 13;     // MFCC c1-c12 and the log energy

// Frames of equal width stored row after row.
class FeatureMatrix {
public:
    FeatureMatrix() = default;
    FeatureMatrix(int rows, int dims) : m_dims(dims), m_values(size_t(rows) * dims) {}
    FeatureMatrix(std::vector<float> values, int dims) : m_dims(dims), m_values(std::move(values)) {}
    int rows() const { return m_dims ? int(m_values.size() / size_t(m_dims)) : 0; }
    int dims() const { return m_dims; }
    const float* row(int i) const { return m_values.data() + size_t(i) * m_dims; }
    float* row(int i) { return m_values.data() + size_t(i) * m_dims; }
    // Every two frames averaged into one (a trailing odd frame kept as is).
    FeatureMatrix halved() const;
    // Rows [first, first + count).
    FeatureMatrix slice(int first, int count) const;

private:
    int m_dims = 0;
    std::vector<float> m_values;
};

// MFCC c1-c12 and the log energy of each 10 ms frame of a stream of 16 kHz
// samples, keeping only the samples the next frame still needs.
class FeatureStream {
public:
    FeatureStream();
    ~FeatureStream();
    // Follows the speaker's voice: each frame's filters move up when the
    // pitch of the speech within a second of it lies well above
    // `referencePitch` (Hz; the synthetic voice's), so that a higher voice's
    // formants land where the synthetic voice has them. Frames then come a
    // second late; flush() gives the last ones.
    void followSpeaker(double referencePitch);
    void push(const float* samples, size_t count);
    void flush();
    // Every frame so far, normalised per dimension over all of them.
    FeatureMatrix finish();
    // Appends the frames made so far, not normalised, to `out` and forgets them.
    void takeFrames(std::vector<float>& out);

private:
    static constexpr int kWarpCount = 3;
    static constexpr int kBands = 26;
    // A frame's log mel energies under each warp, its log energy and pitch.
    struct Held {
        float mel[kWarpCount][kBands];
        float energy = 0, pitch = 0;
    };
    void addFrame(const float* s, int available);  // `available` samples from s on
    void emitHeld();
    void output(const Held& frame, size_t warp);

    std::unique_ptr<kiss_fftr_state, void (*)(void*)> m_fft;
    std::vector<float> m_pending;  // samples from the next frame's start on
    std::vector<float> m_values;   // frames so far, row after row
    double m_referencePitch = 0;
    std::deque<Held> m_held;       // frames around the next to emit
    size_t m_emitted = 0;          // the first of m_held already emitted
    std::vector<float> m_voiced;   // emitHeld()'s pitches, kept to spare an allocation a frame
    long m_frameCount = 0;
};

// Each dimension to zero mean and unit variance over the rows.
void normaliseFeatures(FeatureMatrix& f);

// Frames kept in a byte a value, each block of kBlock frames scaled per
// dimension by its largest magnitude, and kept in a scratch file rather than
// in memory, so that a long recording's take no more memory than a short one's.
class PackedFeatures {
public:
    static constexpr int kBlock = 64;
    explicit PackedFeatures(ScratchFile& file) : m_file(&file) {}
    // Appends whole frames of kFeatureDims values.
    void append(const std::vector<float>& frames);
    void finish();  // after the last frames
    int rows() const { return m_rows; }
    // Rows [first, first + count), unpacked (not normalised), read back from
    // the file; zeros where it could not be read (the file says why).
    FeatureMatrix unpack(int first, int count) const;

private:
    static constexpr int kChunkBlocks = 64;  // blocks written to the file at once, about 41 s
    void pack();
    void store();

    ScratchFile* m_file;
    std::vector<float> m_pending;  // frames not yet packed
    std::vector<char> m_chunk;     // blocks packed, not yet written: each its scales, then its values
    std::vector<qint64> m_chunks;  // where each chunk of kChunkBlocks blocks begins in the file
    int m_rows = 0;
};

// Squared Euclidean distance between two rows of `dims` values.
inline float frameDistance(const float* a, const float* b, int dims) {
    float sum = 0.0f;
    for (int d = 0; d < dims; ++d) sum += (a[d] - b[d]) * (a[d] - b[d]);
    return sum;
}

// The median distance between `pairs` frames of `a` and `b` picked at random:
// a fixed sequence from `seed`, so that every run gives the same value.
float typicalDistance(const FeatureMatrix& a, const FeatureMatrix& b, int pairs, uint32_t seed);
