#pragma once

#include <numbers>

namespace quorel {

// One second-order section, normalised so that a0 = 1. Designed in double precision after
// the Audio EQ Cookbook; every design is a bilinear transform pre-warped at its frequency.
struct BiquadCoefficients {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

    // The filter types of the parametric equalizer, by their parameter codes.
    enum class Type { parametric = 0, highPass = 2, lowShelf = 7, highShelf = 8 };

    static BiquadCoefficients identity() { return {}; }

    // Peaking band. alpha = sin w0 * sinh(ln 2 / 2 * bandwidth * w0 / sin w0), A = 10^(g/40):
    // the same filter the equalizer page draws as its response curve.
    static BiquadCoefficients peaking(double sampleRate, double frequency, double bandwidthOctaves, double gainDB);
    // Second order, Butterworth unless a Q is given.
    static constexpr double butterworthQ = std::numbers::sqrt2 / 2;
    static BiquadCoefficients highPass(double sampleRate, double frequency, double q = butterworthQ);
    static BiquadCoefficients lowPass(double sampleRate, double frequency, double q = butterworthQ);
    // Second-order all-pass with Butterworth Q: the sum of a Linkwitz-Riley pair.
    static BiquadCoefficients allPass(double sampleRate, double frequency);
    // Shelves with Q from the bandwidth: 1/Q = 2 sinh(ln 2 / 2 * bandwidth).
    static BiquadCoefficients lowShelf(double sampleRate, double frequency, double bandwidthOctaves, double gainDB);
    static BiquadCoefficients highShelf(double sampleRate, double frequency, double bandwidthOctaves, double gainDB);
    static BiquadCoefficients design(Type type, double sampleRate, double frequency, double bandwidthOctaves,
                                     double gainDB);

    bool isIdentity() const { return b0 == 1 && b1 == 0 && b2 == 0 && a1 == 0 && a2 == 0; }

    // Magnitude response in dB at a frequency:
    // 10 log10(max(|N|^2 / max(|D|^2, 1e-12), 1e-12)).
    double magnitudeDB(double sampleRate, double frequency) const;
};

}  // namespace quorel
