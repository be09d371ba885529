// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sample-rate conversion for analysis: windowed-sinc interpolation, low-passed
// below the lower of the two Nyquist frequencies. Resampler works on a
// stream, keeping only the input its next outputs still need.

#include <cstddef>
#include <vector>

class Resampler {
public:
    Resampler(int fromRate, int toRate);
    // Appends to `out` every output sample that the input so far completes.
    void push(const float* in, size_t count, std::vector<float>& out);
    // Appends the rest; the input past the end counts as silence.
    void finish(std::vector<float>& out);
    // Output samples that `inputs` input samples make.
    size_t outputsFor(size_t inputs) const { return size_t(double(inputs) / m_step); }

private:
    void produce(long lastInput, size_t until, std::vector<float>& out);

    double m_step;   // input samples per output sample
    double m_scale;  // kernel stretch when going down in rate
    int m_reach;     // input samples each side that an output uses
    // Output n lies m_down * n / m_up input samples in; when the rates'
    // ratio repeats within few outputs, each phase's 2 * m_reach weights are
    // computed once, in m_bank, phase after phase.
    long m_up = 1, m_down = 1;
    std::vector<float> m_bank;
    std::vector<float> m_history;  // input from m_first on
    long m_first = 0;
    long m_received = 0;
    size_t m_produced = 0;
};

// A whole signal at once.
std::vector<float> resample(const std::vector<float>& in, int fromRate, int toRate);
