// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/features.h"

#include "align/scratch_file.h"
#include "align/voice_pitch.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr int kFftSize = 512;
constexpr int kBins = kFftSize / 2 + 1;
constexpr int kMelBands = 26;
constexpr int kCepstra = 12;
constexpr int kDims = kCepstra + 1;
static_assert(kDims == kFeatureDims);
constexpr double kLowHz = 100.0, kHighHz = 7600.0;

double melOf(double hz) { return 2595.0 * std::log10(1.0 + hz / 700.0); }
double hzOf(double mel) { return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0); }

// A triangular mel filter: its weights over the FFT bins from `first` on.
struct MelFilter {
    int first = 0;
    std::vector<float> weights;
};

// The filters, band after band, their edges scaled by `warp`: a warp above 1
// places them higher, where a voice with a shorter vocal tract has its formants.
std::vector<MelFilter> melFilters(double warp) {
    std::vector<MelFilter> filters(kMelBands);
    const double lo = melOf(kLowHz), hi = melOf(kHighHz);
    auto edgeBin = [&](int k) { return warp * hzOf(lo + (hi - lo) * k / (kMelBands + 1)) * kFftSize / kAnalysisRate; };
    for (int b = 0; b < kMelBands; ++b) {
        const double left = edgeBin(b), mid = edgeBin(b + 1), right = edgeBin(b + 2);
        MelFilter& f = filters[size_t(b)];
        f.first = std::min(kBins - 1, int(std::ceil(left)));
        for (int k = f.first; k <= int(right) && k < kBins; ++k)
            f.weights.push_back(float(std::max(0.0, k <= mid ? (k - left) / (mid - left) : (right - k) / (right - mid))));
    }
    return filters;
}

// The warps a speaker-following stream chooses from, and the ratio of the
// speaker's pitch to the synthetic voice's from which each applies: a woman's
// voice (about 1.8 times a man's pitch) has formants about 18 % higher, a
// child's about 30 %. Pitch varies more than formants between speakers of
// one kind, so a voice is moved only when its pitch is well apart.
constexpr double kWarps[] = {1.0, 1.18, 1.3};
constexpr double kFromRatio[] = {0.0, 1.5, 2.2};
static_assert(std::size(kWarps) == 3 && std::size(kFromRatio) == 3 && kMelBands == 26);
constexpr int kPitchSpan = 100;  // frames each side whose pitch decides a frame's warp

// DCT-II rows 1..kCepstra over the mel bands.
std::vector<float> dctMatrix() {
    std::vector<float> m(size_t(kCepstra) * kMelBands);
    for (int c = 0; c < kCepstra; ++c)
        for (int b = 0; b < kMelBands; ++b)
            m[size_t(c) * kMelBands + size_t(b)] = float(std::cos(M_PI * (c + 1) * (b + 0.5) / kMelBands));
    return m;
}

}  // namespace

void normaliseFeatures(FeatureMatrix& f) {
    const int rows = f.rows();
    if (rows == 0) return;
    for (int d = 0; d < f.dims(); ++d) {
        double sum = 0, sq = 0;
        for (int i = 0; i < rows; ++i) sum += f.row(i)[d], sq += double(f.row(i)[d]) * f.row(i)[d];
        const double mean = sum / rows, var = std::max(sq / rows - mean * mean, 1e-6);
        const float inv = float(1.0 / std::sqrt(var));
        for (int i = 0; i < rows; ++i) f.row(i)[d] = float((f.row(i)[d] - mean) * inv);
    }
}

FeatureMatrix FeatureMatrix::halved() const {
    FeatureMatrix out((rows() + 1) / 2, m_dims);
    for (int i = 0; i < out.rows(); ++i) {
        const float* a = row(2 * i);
        const float* b = 2 * i + 1 < rows() ? row(2 * i + 1) : a;
        for (int d = 0; d < m_dims; ++d) out.row(i)[d] = 0.5f * (a[d] + b[d]);
    }
    return out;
}

FeatureMatrix FeatureMatrix::slice(int first, int count) const {
    FeatureMatrix out(count, m_dims);
    std::copy(row(first), row(first) + size_t(count) * m_dims, out.row(0));
    return out;
}

FeatureStream::FeatureStream() : m_fft(kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr), &kiss_fftr_free) {}

FeatureStream::~FeatureStream() = default;

void FeatureStream::push(const float* samples, size_t count) {
    m_pending.insert(m_pending.end(), samples, samples + count);
    // Following the speaker, a frame's pitch is taken over a longer window.
    const size_t need = m_referencePitch > 0 ? size_t(kPitchSamples) : size_t(kWindowSamples);
    size_t at = 0;
    for (; at + need <= m_pending.size(); at += kHopSamples) addFrame(m_pending.data() + at, int(m_pending.size() - at));
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(at));
}

FeatureMatrix FeatureStream::finish() {
    flush();
    FeatureMatrix out(std::move(m_values), kDims);
    m_values.clear();
    normaliseFeatures(out);
    return out;
}

void FeatureStream::takeFrames(std::vector<float>& out) {
    out.insert(out.end(), m_values.begin(), m_values.end());
    m_values.clear();
}

namespace {

// A block in the file: kFeatureDims scales, then kBlock frames of kFeatureDims bytes.
constexpr size_t kScaleBytes = sizeof(float) * kDims;
constexpr size_t kBlockBytes = kScaleBytes + size_t(PackedFeatures::kBlock) * kDims;

}  // namespace

void PackedFeatures::append(const std::vector<float>& frames) {
    m_pending.insert(m_pending.end(), frames.begin(), frames.end());
    while (m_pending.size() >= size_t(kBlock) * kDims) pack();
}

void PackedFeatures::finish() {
    while (!m_pending.empty()) pack();
    if (!m_chunk.empty()) store();
}

void PackedFeatures::pack() {
    const int count = int(std::min(m_pending.size() / kDims, size_t(kBlock)));
    float scale[kDims];
    for (int d = 0; d < kDims; ++d) {
        float peak = 1e-9f;
        for (int i = 0; i < count; ++i) peak = std::max(peak, std::abs(m_pending[size_t(i) * kDims + size_t(d)]));
        scale[d] = peak / 127.0f;
    }
    const size_t at = m_chunk.size();
    m_chunk.resize(at + kBlockBytes, 0);
    std::memcpy(m_chunk.data() + at, scale, kScaleBytes);
    int8_t* values = reinterpret_cast<int8_t*>(m_chunk.data() + at + kScaleBytes);
    for (int i = 0; i < count; ++i)
        for (int d = 0; d < kDims; ++d) *values++ = int8_t(std::lround(m_pending[size_t(i) * kDims + size_t(d)] / scale[d]));
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(count) * kDims);
    m_rows += count;
    if (m_chunk.size() == kBlockBytes * kChunkBlocks) store();
}

void PackedFeatures::store() {
    m_chunks.push_back(m_file->append(m_chunk.data(), qint64(m_chunk.size())));
    m_chunk.clear();
}

FeatureMatrix PackedFeatures::unpack(int first, int count) const {
    FeatureMatrix out(count, kDims);
    std::vector<char> blocks;
    for (int r = first; r < first + count;) {
        // The blocks of one chunk that hold rows from r on, read at once.
        const int block = r / kBlock, chunk = block / kChunkBlocks;
        const int lastBlock = std::min((first + count - 1) / kBlock, (chunk + 1) * kChunkBlocks - 1);
        blocks.resize(size_t(lastBlock - block + 1) * kBlockBytes);
        if (size_t(chunk) >= m_chunks.size() || m_chunks[size_t(chunk)] < 0 ||
            !m_file->read(m_chunks[size_t(chunk)] + qint64(block - chunk * kChunkBlocks) * qint64(kBlockBytes), blocks.data(), qint64(blocks.size())))
            std::fill(blocks.begin(), blocks.end(), 0);
        for (; r < first + count && r / kBlock <= lastBlock; ++r) {
            const char* at = blocks.data() + size_t(r / kBlock - block) * kBlockBytes;
            float scale[kDims];
            std::memcpy(scale, at, kScaleBytes);
            const int8_t* values = reinterpret_cast<const int8_t*>(at + kScaleBytes) + size_t(r % kBlock) * kDims;
            for (int d = 0; d < kDims; ++d) out.row(r - first)[d] = float(values[d]) * scale[d];
        }
    }
    return out;
}

void FeatureStream::followSpeaker(double referencePitch) {
    m_referencePitch = referencePitch;
}

void FeatureStream::addFrame(const float* s, int available) {
    static const std::vector<std::vector<MelFilter>> banks = [] {
        std::vector<std::vector<MelFilter>> out;
        for (double w : kWarps) out.push_back(melFilters(w));
        return out;
    }();
    static const std::vector<float> window = [] {
        std::vector<float> w(kWindowSamples);
        for (int n = 0; n < kWindowSamples; ++n) w[size_t(n)] = float(0.54 - 0.46 * std::cos(2 * M_PI * n / (kWindowSamples - 1)));
        return w;
    }();
    constexpr int kPlain = 0;
    static_assert(kWarps[kPlain] == 1.0);
    float frame[kFftSize] = {}, power[kBins];
    kiss_fft_cpx spectrum[kBins];
    double energy = 0;
    for (int n = 0; n < kWindowSamples; ++n) {
        const float pre = s[n] - 0.97f * (n > 0 ? s[n - 1] : s[0]);
        frame[n] = pre * window[size_t(n)];
        energy += double(s[n]) * s[n];
    }
    kiss_fftr(m_fft.get(), frame, spectrum);
    for (int k = 0; k < kBins; ++k) power[k] = spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
    Held held;
    held.energy = float(std::log(energy + 1e-10));
    const bool follow = m_referencePitch > 0;
    for (size_t w = follow ? 0 : kPlain; w < (follow ? std::size(kWarps) : kPlain + 1); ++w)
        for (int b = 0; b < kMelBands; ++b) {
            const MelFilter& f = banks[w][size_t(b)];
            float sum = 1e-10f;
            for (size_t k = 0; k < f.weights.size(); ++k) sum += f.weights[k] * power[size_t(f.first) + k];
            held.mel[w][size_t(b)] = std::log(sum);
        }
    if (!follow) return output(held, kPlain);
    // Every other frame's pitch is enough for the median around a frame.
    held.pitch = m_frameCount++ % 2 == 0 || m_held.empty() ? float(framePitch(s, available)) : m_held.back().pitch;
    m_held.push_back(held);
    if (int(m_held.size() - m_emitted) > kPitchSpan) emitHeld();
}

// Emits the first held frame not yet emitted, with the warp that the pitch of
// the voiced frames around it asks for; keeps kPitchSpan emitted frames for
// the frames after them.
void FeatureStream::emitHeld() {
    std::vector<float>& voiced = m_voiced;
    voiced.clear();
    for (const Held& h : m_held)
        if (h.pitch > 0) voiced.push_back(h.pitch);
    size_t warp = 0;
    if (voiced.size() >= 10) {
        std::nth_element(voiced.begin(), voiced.begin() + long(voiced.size() / 2), voiced.end());
        const double ratio = double(voiced[voiced.size() / 2]) / m_referencePitch;
        while (warp + 1 < std::size(kWarps) && ratio >= kFromRatio[warp + 1]) ++warp;
    }
    output(m_held[m_emitted++], warp);
    if (m_emitted > size_t(kPitchSpan)) m_held.pop_front(), --m_emitted;
}

void FeatureStream::flush() {
    size_t at = 0;
    for (; m_referencePitch > 0 && at + kWindowSamples <= m_pending.size(); at += kHopSamples) addFrame(m_pending.data() + at, int(m_pending.size() - at));
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(at));
    while (m_emitted < m_held.size()) emitHeld();
}

void FeatureStream::output(const Held& frame, size_t warp) {
    static const std::vector<float> dct = dctMatrix();
    for (int c = 0; c < kCepstra; ++c) {
        float sum = 0;
        for (int b = 0; b < kMelBands; ++b) sum += dct[size_t(c) * kMelBands + size_t(b)] * frame.mel[warp][size_t(b)];
        m_values.push_back(sum);
    }
    m_values.push_back(frame.energy);
}

float typicalDistance(const FeatureMatrix& a, const FeatureMatrix& b, int pairs, uint32_t seed) {
    std::vector<float> d;
    d.reserve(size_t(pairs));
    for (int k = 0; k < pairs; ++k) {
        seed = seed * 1664525u + 1013904223u;
        const int i = int((seed >> 8) % uint32_t(a.rows()));
        seed = seed * 1664525u + 1013904223u;
        const int j = int((seed >> 8) % uint32_t(b.rows()));
        d.push_back(frameDistance(a.row(i), b.row(j), a.dims()));
    }
    std::nth_element(d.begin(), d.begin() + pairs / 2, d.end());
    return d[size_t(pairs / 2)];
}
