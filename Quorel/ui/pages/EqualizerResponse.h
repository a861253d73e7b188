#pragma once

#include <vector>

namespace quorel {

// The estimated magnitude response of the equalizer's band gains, as the equalizer page draws
// it behind its faders: every non-zero band below Nyquist is the equalizer unit's own peaking
// band (BiquadCoefficients::peaking, one third of an octave wide), and the bands add in dB.
namespace EqualizerResponse {

struct Point {
    double position = 0;  // 0 at the first band's column, 1 at the last band's column
    float gainDB = 0;
};

// `points` points evenly spaced on a logarithmic axis from 20 Hz to 20 kHz (position k/(n-1);
// a single point sits at position 0). Only the first 31 gains count; zero gains and bands at
// or above half of `sampleRate` add nothing. A count of 0 or less gives no point.
std::vector<Point> curve(const std::vector<float>& bands, double sampleRate, int points);

}  // namespace EqualizerResponse

}  // namespace quorel
