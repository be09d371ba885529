#pragma once
// Sample-rate conversion for analysis: windowed-sinc interpolation, low-passed
// below the lower of the two Nyquist frequencies.

#include <vector>

std::vector<float> Resample(const std::vector<float>& in, int fromRate, int toRate);
