// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/pause_finder.h"

#include "align/features.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kBlock = kHopSamples;  // 10 ms
constexpr int kFine = 32;            // 2 ms steps for the edges
constexpr int kFineWindow = 80;      // 5 ms energy window for the edges
// A pause's edges lie where the energy comes this near the floor: a word's
// weak sounds (a fricative, a stop's release) are quieter than the threshold.
constexpr double kEdgeOverFloor = 3.0;

double decibels(const float* s, int count) {
    double sum = 1e-12;
    for (int n = 0; n < count; ++n) sum += double(s[n]) * s[n];
    return 10.0 * std::log10(sum / std::max(count, 1));
}

// Block energies as unsigned keys in the same order, for counting them by their
// upper bits: the percentiles are then found exactly without sorting them all.
quint32 sortKey(float v) {
    quint32 u;
    std::memcpy(&u, &v, sizeof u);
    return u & 0x80000000u ? ~u : u | 0x80000000u;
}

float valueOf(quint32 key) {
    const quint32 u = key & 0x80000000u ? key & 0x7fffffffu : ~key;
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

}  // namespace

PauseFinder::PauseFinder(ScratchFile& file) : m_db(file), m_fineDb(file), m_dbCounts(1u << 16, 0) {}

void PauseFinder::push(const float* samples, size_t count) {
    m_pending.insert(m_pending.end(), samples, samples + count);
    m_seconds += double(count) / kAnalysisRate;
    const long end = m_pendingStart + long(m_pending.size());
    auto at = [&](long sample) { return m_pending.data() + (sample - m_pendingStart); };
    for (long b = m_db.size() * kBlock; b + kBlock <= end; b += kBlock) {
        const float db = float(decibels(at(b), kBlock));
        m_db.append(db);
        ++m_dbCounts[sortKey(db) >> 16];
    }
    for (long f = m_fineDb.size() * kFine; f + kFineWindow <= end; f += kFine)
        m_fineDb.append(int16_t(std::lround(std::clamp(decibels(at(f), kFineWindow), -300.0, 300.0) * 100)));
    const long keep = std::min(m_db.size() * kBlock, m_fineDb.size() * kFine);
    m_pending.erase(m_pending.begin(), m_pending.begin() + (keep - m_pendingStart));
    m_pendingStart = keep;
}

void PauseFinder::finish() {
    m_pending.clear();
    m_db.flush();
    m_fineDb.flush();
    const long blocks = m_db.size();
    if (blocks == 0) return;
    const double speech = percentile(int(blocks * 95 / 100));
    // Digital silence has no floor to speak of: none is taken lower than 50 dB below speech.
    const double floor = std::max(double(percentile(int(blocks / 10))), speech - 50.0);
    // 6 dB over the floor, or a fifth of the way to speech when that is higher.
    m_threshold = floor + std::max(6.0, 0.2 * (speech - floor));
    m_edgeThreshold = std::min(m_threshold, floor + kEdgeOverFloor);
    m_floorBelowSpeech = speech - floor;
    m_loud.resize(size_t(blocks));
    m_nearFloor.resize(size_t(blocks));
    for (long b = 0; b < blocks; ++b) {
        const float db = m_db.at(b);
        m_loud[size_t(b)] = db > m_threshold;
        m_nearFloor[size_t(b)] = db <= m_edgeThreshold;
    }
}

// The upper 16 bits of the key from the counts kept while the energies came
// in, then the lower 16 from those of the energies that share them. Both
// searches stop at the last key: energies that could not be read back from a
// failed scratch file (zeros) need not match the counts.
float PauseFinder::percentile(int rank) const {
    constexpr quint32 kLast = 0xffffu;
    quint32 below = 0, high = 0;
    while (high < kLast && below + m_dbCounts[high] <= quint32(rank)) below += m_dbCounts[high++];
    std::vector<quint32> counts(kLast + 1, 0);
    for (long b = 0; b < m_db.size(); ++b)
        if (const quint32 key = sortKey(m_db.at(b)); key >> 16 == high) ++counts[key & kLast];
    quint32 low = 0;
    while (low < kLast && below + counts[low] <= quint32(rank)) below += counts[low++];
    return valueOf(high << 16 | low);
}

// The 5 ms windows lie every kFine samples; window i is centred at kFine * i + kFineWindow / 2.
double PauseFinder::refineStart(int block, double threshold) const {
    const long first = (std::max(0L, long(block - 1) * kBlock) + kFine - 1) / kFine;
    for (long i = first; i * kFine < long(block + 1) * kBlock && i < m_fineDb.size(); ++i)
        if (m_fineDb.at(i) > threshold * 100) return double(i * kFine + kFineWindow / 2) / kAnalysisRate;
    return double(block) * kFrameSeconds;
}

double PauseFinder::refineEnd(int block, double threshold) const {
    const long first = (long(block) * kBlock + kFine - 1) / kFine;
    for (long i = std::min(m_fineDb.size() - 1, (long(block + 2) * kBlock - kFineWindow) / kFine); i >= first; --i)
        if (m_fineDb.at(i) > threshold * 100) return double(i * kFine + kFineWindow / 2) / kAnalysisRate;
    return double(block + 1) * kFrameSeconds;
}

std::vector<PauseFinder::Pause> PauseFinder::pauses(double minSeconds) const {
    std::vector<Pause> out;
    const int blocks = int(m_loud.size()), minBlocks = std::max(1, int(std::lround(minSeconds / kFrameSeconds)));
    const double total = m_seconds;
    for (int b = 0; b < blocks;) {
        if (loud(b)) {
            ++b;
            continue;
        }
        int e = b;
        while (e < blocks && !loud(e)) ++e;
        // Within the quiet stretch, the pauses are where the energy comes near
        // the floor: weak speech around them (a fricative, a stop's release)
        // is left out. A stretch that never comes so near (steady noise)
        // is one pause, as quiet against the threshold.
        const bool nearFloor = std::find(m_nearFloor.begin() + b, m_nearFloor.begin() + e, true) != m_nearFloor.begin() + e;
        const double threshold = nearFloor ? m_edgeThreshold : m_threshold;
        auto quiet = [&](int k) { return !nearFloor || m_nearFloor[size_t(k)]; };
        for (int from = b; from < e;) {
            int to = from;
            while (to < e && quiet(to)) ++to;
            if (to - from >= minBlocks || (from == 0 && to > 0) || (to == blocks && to > from)) {
                const double start = from == 0 ? 0.0 : refineEnd(from - 1, threshold);
                const double end = to == blocks ? total : refineStart(to, threshold);
                if (end > start) out.emplace_back(start, end);
            }
            from = to;
            while (from < e && !quiet(from)) ++from;
        }
        b = e;
    }
    return out;
}

bool PauseFinder::hasSpeech(double seconds, double from) const {
    const int need = std::max(1, int(seconds / kFrameSeconds));
    int run = 0;
    for (size_t b = size_t(std::max(0.0, from / kFrameSeconds)); b < m_loud.size(); ++b)
        if ((run = loud(int(b)) ? run + 1 : 0) >= need) return true;
    return false;
}
