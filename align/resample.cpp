// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/resample.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kZeroCrossings = 6;  // kernel half-width, in zero crossings of the sinc
constexpr int kTableSteps = 256;   // kernel table entries per zero crossing

// Hann-windowed sinc from 0 to kZeroCrossings, kTableSteps per unit, one past the end.
const std::vector<float>& kernelTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(kZeroCrossings * kTableSteps + 2, 0.0f);
        for (int i = 0; i <= kZeroCrossings * kTableSteps; ++i) {
            const double x = double(i) / kTableSteps;
            const double sinc = i == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
            t[size_t(i)] = float(sinc * 0.5 * (1.0 + std::cos(M_PI * x / kZeroCrossings)));
        }
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
      m_reach(fromRate == toRate ? 0 : int(std::ceil(kZeroCrossings / m_scale))) {}

void Resampler::produce(long lastInput, size_t until, std::vector<float>& out) {
    const std::vector<float>& table = kernelTable();
    for (; m_produced < until; ++m_produced) {
        const double x = double(m_produced) * m_step;
        const long centre = long(x);
        if (m_reach == 0) {
            out.push_back(m_history[size_t(centre - m_first)]);
            continue;
        }
        const long lo = std::max(m_first, centre - m_reach + 1), hi = std::min(lastInput, centre + m_reach);
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
