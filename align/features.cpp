#include "align/features.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int kFftSize = 512;
constexpr int kBins = kFftSize / 2 + 1;
constexpr int kMelBands = 26;
constexpr int kCepstra = 12;
constexpr int kDims = kCepstra + 1;
constexpr double kLowHz = 100.0, kHighHz = 7600.0;

double Mel(double hz) { return 2595.0 * std::log10(1.0 + hz / 700.0); }
double Hz(double mel) { return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0); }

// Triangular mel filters as weights over the FFT bins, band after band.
std::vector<float> MelFilters() {
    std::vector<float> w(size_t(kMelBands) * kBins, 0.0f);
    const double lo = Mel(kLowHz), hi = Mel(kHighHz);
    auto edgeBin = [&](int k) { return Hz(lo + (hi - lo) * k / (kMelBands + 1)) * kFftSize / kAnalysisRate; };
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
std::vector<float> DctMatrix() {
    std::vector<float> m(size_t(kCepstra) * kMelBands);
    for (int c = 0; c < kCepstra; ++c)
        for (int b = 0; b < kMelBands; ++b)
            m[size_t(c) * kMelBands + size_t(b)] = float(std::cos(M_PI * (c + 1) * (b + 0.5) / kMelBands));
    return m;
}

void Normalise(FeatureMatrix& f) {
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

}  // namespace

FeatureMatrix FeatureMatrix::halved() const {
    FeatureMatrix out((rows() + 1) / 2, m_nDims);
    for (int i = 0; i < out.rows(); ++i) {
        const float* a = row(2 * i);
        const float* b = 2 * i + 1 < rows() ? row(2 * i + 1) : a;
        for (int d = 0; d < m_nDims; ++d) out.row(i)[d] = 0.5f * (a[d] + b[d]);
    }
    return out;
}

FeatureMatrix FeatureMatrix::slice(int first, int count) const {
    FeatureMatrix out(count, m_nDims);
    std::copy(row(first), row(first) + size_t(count) * m_nDims, out.row(0));
    return out;
}

FeatureMatrix ComputeFeatures(const std::vector<float>& samples) {
    static const std::vector<float> filters = MelFilters();
    static const std::vector<float> dct = DctMatrix();
    const int frames = samples.size() < size_t(kWindowSamples)
                           ? 0 : int((samples.size() - kWindowSamples) / kHopSamples) + 1;
    FeatureMatrix out(frames, kDims);
    if (frames == 0) return out;

    std::unique_ptr<kiss_fftr_state, decltype(&kiss_fftr_free)> fft(
        kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr), &kiss_fftr_free);
    std::vector<float> window(kWindowSamples), frame(kFftSize, 0.0f), power(kBins);
    for (int n = 0; n < kWindowSamples; ++n) window[size_t(n)] = float(0.54 - 0.46 * std::cos(2 * M_PI * n / (kWindowSamples - 1)));
    std::vector<kiss_fft_cpx> spectrum(kBins);
    float mel[kMelBands];
    for (int f = 0; f < frames; ++f) {
        const float* s = samples.data() + size_t(f) * kHopSamples;
        double energy = 0;
        for (int n = 0; n < kWindowSamples; ++n) {
            const float pre = s[n] - 0.97f * (n > 0 ? s[n - 1] : s[0]);
            frame[size_t(n)] = pre * window[size_t(n)];
            energy += double(s[n]) * s[n];
        }
        kiss_fftr(fft.get(), frame.data(), spectrum.data());
        for (int k = 0; k < kBins; ++k) power[size_t(k)] = spectrum[size_t(k)].r * spectrum[size_t(k)].r + spectrum[size_t(k)].i * spectrum[size_t(k)].i;
        for (int b = 0; b < kMelBands; ++b) {
            const float* w = filters.data() + size_t(b) * kBins;
            float sum = 1e-10f;
            for (int k = 0; k < kBins; ++k) sum += w[k] * power[size_t(k)];
            mel[b] = std::log(sum);
        }
        float* row = out.row(f);
        for (int c = 0; c < kCepstra; ++c) {
            float sum = 0;
            for (int b = 0; b < kMelBands; ++b) sum += dct[size_t(c) * kMelBands + size_t(b)] * mel[b];
            row[c] = sum;
        }
        row[kCepstra] = float(std::log(energy + 1e-10));
    }
    Normalise(out);
    return out;
}
