#include "align/pause_finder.h"

#include "align/features.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBlock = kHopSamples;  // 10 ms
constexpr int kFine = 32;            // 2 ms steps for the edges
constexpr int kFineWindow = 80;      // 5 ms energy window for the edges

double Db(const float* s, int count) {
    double sum = 1e-12;
    for (int n = 0; n < count; ++n) sum += double(s[n]) * s[n];
    return 10.0 * std::log10(sum / std::max(count, 1));
}

}  // namespace

PauseFinder::PauseFinder(const std::vector<float>& samples) : m_samples(samples) {
    const size_t blocks = samples.size() / kBlock;
    m_db.resize(blocks);
    for (size_t b = 0; b < blocks; ++b) m_db[b] = float(Db(samples.data() + b * kBlock, kBlock));
    if (blocks == 0) return;
    std::vector<float> sorted = m_db;
    std::sort(sorted.begin(), sorted.end());
    const double speech = sorted[blocks * 95 / 100];
    // Digital silence has no floor to speak of: none is taken lower than 50 dB below speech.
    const double floor = std::max(double(sorted[blocks / 10]), speech - 50.0);
    // 6 dB over the floor, or a fifth of the way to speech when that is higher.
    m_dThreshold = floor + std::max(6.0, 0.2 * (speech - floor));
}

double PauseFinder::refineStart(int block) const {
    const long from = std::max(0L, long(block) * kBlock - kBlock), to = long(block + 1) * kBlock;
    for (long at = from; at + kFineWindow <= long(m_samples.size()) && at < to; at += kFine)
        if (Db(m_samples.data() + at, kFineWindow) > m_dThreshold) return double(at + kFineWindow / 2) / kAnalysisRate;
    return double(block) * kFrameSeconds;
}

double PauseFinder::refineEnd(int block) const {
    const long from = long(block + 2) * kBlock, to = long(block) * kBlock;
    for (long at = std::min(from, long(m_samples.size())) - kFineWindow; at >= to && at >= 0; at -= kFine)
        if (Db(m_samples.data() + at, kFineWindow) > m_dThreshold) return double(at + kFineWindow / 2) / kAnalysisRate;
    return double(block + 1) * kFrameSeconds;
}

std::vector<PauseFinder::Pause> PauseFinder::pauses(double minSeconds) const {
    std::vector<Pause> out;
    const int blocks = int(m_db.size()), minBlocks = std::max(1, int(std::lround(minSeconds / kFrameSeconds)));
    const double total = double(m_samples.size()) / kAnalysisRate;
    for (int b = 0; b < blocks;) {
        if (loud(b)) {
            ++b;
            continue;
        }
        int e = b;
        while (e < blocks && !loud(e)) ++e;
        if (e - b >= minBlocks || b == 0 || e == blocks) {
            const double start = b == 0 ? 0.0 : refineEnd(b - 1);
            const double end = e == blocks ? total : refineStart(e);
            if (end > start) out.emplace_back(start, end);
        }
        b = e;
    }
    return out;
}

bool PauseFinder::hasSpeech(double seconds, double from) const {
    const int need = std::max(1, int(seconds / kFrameSeconds));
    int run = 0;
    for (size_t b = size_t(std::max(0.0, from / kFrameSeconds)); b < m_db.size(); ++b)
        if ((run = loud(int(b)) ? run + 1 : 0) >= need) return true;
    return false;
}
