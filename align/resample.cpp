#include "align/resample.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kZeroCrossings = 6;  // kernel half-width, in zero crossings of the sinc
constexpr int kTableSteps = 256;   // kernel table entries per zero crossing

// Hann-windowed sinc from 0 to kZeroCrossings, kTableSteps per unit, one past the end.
const std::vector<float>& KernelTable() {
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

float Kernel(const std::vector<float>& table, double x) {
    const double at = std::abs(x) * kTableSteps;
    const size_t i = size_t(at);
    if (i >= table.size() - 1) return 0.0f;
    const float frac = float(at - double(i));
    return table[i] + frac * (table[i + 1] - table[i]);
}

}  // namespace

std::vector<float> Resample(const std::vector<float>& in, int fromRate, int toRate) {
    if (fromRate == toRate || in.empty()) return in;
    const std::vector<float>& table = KernelTable();
    const double step = double(fromRate) / toRate;   // input samples per output sample
    const double scale = std::min(1.0, 1.0 / step);  // kernel stretch when going down
    const int reach = int(std::ceil(kZeroCrossings / scale));
    const size_t count = size_t(double(in.size()) / step);
    std::vector<float> out(count);
    const long last = long(in.size()) - 1;
    for (size_t n = 0; n < count; ++n) {
        const double x = double(n) * step;
        const long centre = long(x);
        const long lo = std::max(0L, centre - reach + 1), hi = std::min(last, centre + reach);
        float sum = 0.0f;
        for (long k = lo; k <= hi; ++k) sum += in[size_t(k)] * Kernel(table, (x - double(k)) * scale);
        out[n] = sum * float(scale);
    }
    return out;
}
