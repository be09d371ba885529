// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/resample.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr int kZeroCrossings = 6;  // kernel half-width, in zero crossings of the sinc
constexpr int kTableSteps = 256;   // kernel table entries per zero crossing
constexpr long kMaxPhases = 4096;  // more output phases than this are interpolated from the table

// The Hann-windowed sinc, zero from kZeroCrossings on.
double kernel(double x) {
    x = std::abs(x);
    if (x >= kZeroCrossings) return 0.0;
    const double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
    return sinc * 0.5 * (1.0 + std::cos(M_PI * x / kZeroCrossings));
}

// The kernel from 0 to kZeroCrossings, kTableSteps per unit, one past the end.
const std::vector<float>& kernelTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(kZeroCrossings * kTableSteps + 2, 0.0f);
        for (int i = 0; i <= kZeroCrossings * kTableSteps; ++i) t[size_t(i)] = float(kernel(double(i) / kTableSteps));
        return t;
    }();
    return table;
}

float kernelAt(const std::vector<float>& table, double x) {
    const double at = std::abs(x) * kTableSteps;
    const size_t i = size_t(at);
    if (i >= table.size() - 1) return 0.0f;
    const float frac = float(at - double(i));
    return table[i] + frac * (table[i + 1] - table[i]);
}

}  // namespace

Resampler::Resampler(int fromRate, int toRate)
    : m_step(double(fromRate) / toRate), m_scale(std::min(1.0, 1.0 / m_step)),
      m_reach(fromRate == toRate ? 0 : int(std::ceil(kZeroCrossings / m_scale))) {
    const long common = std::gcd(fromRate, toRate);
    m_up = toRate / common, m_down = fromRate / common;
    if (m_reach == 0 || m_up > kMaxPhases) return;
    const int taps = 2 * m_reach;
    m_bank.resize(size_t(m_up * taps));
    // Tap t of an output at phase p reads input centre - m_reach + 1 + t.
    for (long p = 0; p < m_up; ++p)
        for (int t = 0; t < taps; ++t)
            m_bank[size_t(p * taps + t)] = float(kernel((double(p) / double(m_up) + m_reach - 1 - t) * m_scale) * m_scale);
}

void Resampler::produce(long lastInput, size_t until, std::vector<float>& out) {
    const std::vector<float>& table = kernelTable();
    for (; m_produced < until; ++m_produced) {
        const double x = double(m_produced) * m_step;
        const long centre = m_bank.empty() ? long(x) : long(m_produced) * m_down / m_up;
        if (m_reach == 0) {
            out.push_back(m_history[size_t(centre - m_first)]);
            continue;
        }
        const long lo = std::max(m_first, centre - m_reach + 1), hi = std::min(lastInput, centre + m_reach);
        if (!m_bank.empty() && hi - lo + 1 == 2 * m_reach) {
            const long phase = long(m_produced) * m_down % m_up;
            const float* weight = m_bank.data() + phase * 2 * m_reach;
            const float* in = m_history.data() + (lo - m_first);
            float sum = 0.0f;
            for (int t = 0; t < 2 * m_reach; ++t) sum += in[t] * weight[t];
            out.push_back(sum);
            continue;
        }
        float sum = 0.0f;
        for (long k = lo; k <= hi; ++k) sum += m_history[size_t(k - m_first)] * kernelAt(table, (x - double(k)) * m_scale);
        out.push_back(sum * float(m_scale));
    }
}

void Resampler::push(const float* in, size_t count, std::vector<float>& out) {
    m_history.insert(m_history.end(), in, in + count);
    m_received += long(count);
    // Outputs whose whole kernel has arrived.
    const size_t ready = std::min(outputsFor(size_t(m_received)),
                                  size_t(std::max(0.0, std::floor(double(m_received - m_reach) / m_step))));
    produce(m_received - 1, ready, out);
    const long keep = std::max(m_first, long(double(m_produced) * m_step) - m_reach);
    m_history.erase(m_history.begin(), m_history.begin() + (keep - m_first));
    m_first = keep;
}

void Resampler::finish(std::vector<float>& out) { produce(m_received - 1, outputsFor(size_t(m_received)), out); }

std::vector<float> resample(const std::vector<float>& in, int fromRate, int toRate) {
    Resampler resampler(fromRate, toRate);
    std::vector<float> out;
    out.reserve(resampler.outputsFor(in.size()));
    resampler.push(in.data(), in.size(), out);
    resampler.finish(out);
    return out;
}
