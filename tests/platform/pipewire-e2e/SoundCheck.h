#pragma once

#include <QString>

#include <vector>

namespace quorel::test {

// Plays and records sound on the headless server with the stock command-line tools.
class SoundCheck {
public:
    // A stereo 1 kHz sine of `seconds` at `dBFS` peak, 48 kHz, written as a WAV file: in both
    // channels, or only in `channel` (0 left, 1 right; the other silent).
    static bool writeTone(const QString& path, double seconds, double dBFS, int channel = -1);
    // RMS levels in dBFS of consecutive `blockMS` blocks of one channel of a recorded file.
    static std::vector<double> blockLevels(const QString& path, double blockMS, int channel = 0);
    // Of blocks `from` to `to` of a recording, those in which the sound under test (`tested`)
    // is not at `expected` (within `tolerance` dB) while a reference played straight to the
    // speaker in the same recording is at its own level (`reference`, `referenceLevel`): what the
    // path under test lost that the machine did not. Blocks where the reference is missing too
    // (a stalled graph, a late recorder) are counted in `excused`.
    static std::vector<size_t> blocksLost(const std::vector<double>& tested, double expected,
                                          const std::vector<double>& reference, double referenceLevel, size_t from,
                                          size_t to, double tolerance, size_t* excused);
    // The level in dBFS of the middle part of a list of block levels, ignoring the first and
    // last `margin` blocks.
    static double medianLevel(const std::vector<double>& levels, size_t from, size_t to);
    // Records the speaker's monitor for five seconds while the process `pid` is stopped for the
    // middle three (SIGSTOP, then SIGCONT) and returns the seconds of that time in which the
    // speaker played nothing (a tone at least -40 dBFS plays on it meanwhile); a negative value
    // when recording or stopping failed. A speaker that stalls records less than the time that
    // passed; the time is counted from the recording's first sound, so what the recorder's own
    // start costs on a busy machine is not counted as a stall.
    static double stalledSeconds(const QString& speaker, qint64 pid, const QString& folder);
    // Records the monitor of the sink `speaker` for 1.5 s (20 ms blocks) and returns the median
    // level of what it played, leaving out the first and last five blocks; NaN when recording
    // failed or gave too little.
    static double heardLevel(const QString& speaker, const QString& folder);
    // The state pw-dump shows for the node named `name` ("suspended", "idle", "running"), or "".
    static QString nodeState(const QString& name);
};

}  // namespace quorel::test
