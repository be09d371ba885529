// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/features.h"

#include "align/scratch_file.h"

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

// Triangular mel filters as weights over the FFT bins, band after band.
std::vector<float> melFilters() {
    std::vector<float> w(size_t(kMelBands) * kBins, 0.0f);
    const double lo = melOf(kLowHz), hi = melOf(kHighHz);
    auto edgeBin = [&](int k) { return hzOf(lo + (hi - lo) * k / (kMelBands + 1)) * kFftSize / kAnalysisRate; };
    for (int b = 0; b < kMelBands; ++b) {
        const double left = edgeBin(b), mid = edgeBin(b + 1), right = edgeBin(b + 2);
        for (int k = int(std::ceil(left)); k <= int(right) && k < kBins; ++k) {
            const double v = k <= mid ? (k - left) / (mid - left) : (right - k) / (right - mid);
            w[size_t(b) * kBins + size_t(k)] = float(std::max(0.0, v));
        }
    }
    return w;
}

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
    size_t at = 0;
    for (; at + kWindowSamples <= m_pending.size(); at += kHopSamples) addFrame(m_pending.data() + at);
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(at));
}

FeatureMatrix FeatureStream::finish() {
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

void FeatureStream::addFrame(const float* s) {
    static const std::vector<float> filters = melFilters();
    static const std::vector<float> dct = dctMatrix();
    static const std::vector<float> window = [] {
        std::vector<float> w(kWindowSamples);
        for (int n = 0; n < kWindowSamples; ++n) w[size_t(n)] = float(0.54 - 0.46 * std::cos(2 * M_PI * n / (kWindowSamples - 1)));
        return w;
    }();
    float frame[kFftSize] = {}, power[kBins], mel[kMelBands];
    kiss_fft_cpx spectrum[kBins];
    double energy = 0;
    for (int n = 0; n < kWindowSamples; ++n) {
        const float pre = s[n] - 0.97f * (n > 0 ? s[n - 1] : s[0]);
        frame[n] = pre * window[size_t(n)];
        energy += double(s[n]) * s[n];
    }
    kiss_fftr(m_fft.get(), frame, spectrum);
    for (int k = 0; k < kBins; ++k) power[k] = spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
    for (int b = 0; b < kMelBands; ++b) {
        const float* w = filters.data() + size_t(b) * kBins;
        float sum = 1e-10f;
        for (int k = 0; k < kBins; ++k) sum += w[k] * power[k];
        mel[b] = std::log(sum);
    }
    for (int c = 0; c < kCepstra; ++c) {
        float sum = 0;
        for (int b = 0; b < kMelBands; ++b) sum += dct[size_t(c) * kMelBands + size_t(b)] * mel[b];
        m_values.push_back(sum);
    }
    m_values.push_back(float(std::log(energy + 1e-10)));
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
