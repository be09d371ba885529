// SPDX-License-Identifier: GPL-3.0-or-later
// Make Script's recording reader on any bytes, its samples taken on to the
// analysis rate as Make Script takes them: no crash, no read out of bounds,
// no absurd allocation; a plausible rate, samples within full scale, and Ok
// exactly when samples came.
#include "align/features.h"
#include "align/resample.h"
#include "audio/pcm_reader.h"
#include "audio/wave_parser.h"
#include "common/memory_source.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

class AnalysisRateSink : public PcmSink {
public:
    void start(int rate, size_t) override {
        if (rate < int(kMinWaveRate) || rate > int(kMaxWaveRate)) std::abort();
        m_resampler = std::make_unique<Resampler>(rate, kAnalysisRate);
    }
    void write(const float* samples, size_t count) override {
        if (!m_resampler) std::abort();
        for (size_t i = 0; i < count; ++i)
            if (!(std::abs(samples[i]) <= 1.0f)) std::abort();
        // The first samples only: resampling is what costs, and its sizes are
        // set by the rate, which the first block already has.
        const size_t take = std::min(count, kResampled - std::min(m_total, kResampled));
        m_out.clear();
        m_resampler->push(samples, take, m_out);
        m_outputs += m_out.size();
        m_total += count;
    }
    // The samples read; every one resampled has made its outputs by the end.
    size_t finish() {
        if (!m_resampler) return m_total;
        m_out.clear();
        m_resampler->finish(m_out);
        if (m_outputs + m_out.size() != m_resampler->outputsFor(std::min(m_total, kResampled))) std::abort();
        return m_total;
    }

private:
    static constexpr size_t kResampled = 256;
    std::unique_ptr<Resampler> m_resampler;
    std::vector<float> m_out;
    size_t m_total = 0, m_outputs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource src(std::string(reinterpret_cast<const char*>(data), size));
    AnalysisRateSink sink;
    const PcmReadResult result = readMonoPcm(src, sink);
    if (result == PcmReadResult::CannotOpen || (result == PcmReadResult::Ok) != (sink.finish() > 0)) std::abort();
    return 0;
}
