#pragma once

#include <QString>

#include <vector>

namespace quorel::test {

// Plays and records sound on the headless server with the stock command-line tools.
class SoundCheck {
public:
    // A stereo 1 kHz sine of `seconds` at `dBFS` peak, 48 kHz, written as a WAV file.
    static bool writeTone(const QString& path, double seconds, double dBFS);
    // Mono RMS levels in dBFS of consecutive `blockMS` blocks of a recorded file (the first
    // channel).
    static std::vector<double> blockLevels(const QString& path, double blockMS);
    // The level in dBFS of the middle part of a list of block levels, ignoring the first and
    // last `margin` blocks.
    static double medianLevel(const std::vector<double>& levels, size_t from, size_t to);
};

}  // namespace quorel::test
