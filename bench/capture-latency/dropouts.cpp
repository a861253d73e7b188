// Counts the dropouts in a recording of a steady 1 kHz tone (the stand-in speaker's monitor, as
// recorded by pw-record), and writes that tone. A dropout is any break in the sine: a missing or
// repeated stretch shows as a jump that the two-sample sine recurrence does not predict, and a
// stretch of silence inside the tone as a run of zero samples. Breaks closer than 100 ms to each
// other count as one dropout.
//
//   capture_dropouts --write-tone FILE SECONDS     48 kHz stereo, 1 kHz, -20 dBFS peak
//   capture_dropouts --count FILE                  prints one JSON object
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int rate = 48000;
constexpr double frequency = 1000;
constexpr double amplitude = 0.1;  // -20 dBFS

int writeTone(const char* path, double seconds)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    const long frames = long(seconds * rate);
    std::vector<float> block(2 * 4800);
    for (long done = 0; done < frames;) {
        const long n = std::min<long>(4800, frames - done);
        for (long i = 0; i < n; ++i) {
            // A 20 ms fade at each end keeps the edges from reading as breaks.
            const long k = done + i;
            const double fade = std::min({1.0, double(k) / 960, double(frames - 1 - k) / 960});
            const float v = float(amplitude * fade * std::sin(2 * M_PI * frequency * double(k) / rate));
            block[size_t(2 * i)] = block[size_t(2 * i + 1)] = v;
        }
        sf_writef_float(file, block.data(), n);
        done += n;
    }
    sf_close(file);
    return 0;
}

int count(const char* path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file || info.channels < 1) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    std::vector<float> x;
    std::vector<float> block(size_t(info.channels) * 4096);
    for (;;) {
        const sf_count_t n = sf_readf_float(file, block.data(), 4096);
        if (n <= 0) break;
        for (sf_count_t i = 0; i < n; ++i) x.push_back(block[size_t(i * info.channels)]);
    }
    sf_close(file);

    // The steady part: from 100 ms after the tone is first at full level to 100 ms before it
    // last is.
    const float loud = float(amplitude * 0.9);
    size_t first = 0, last = x.size();
    while (first < x.size() && std::fabs(x[first]) < loud) ++first;
    while (last > first && std::fabs(x[last - 1]) < loud) --last;
    first += rate / 10;
    last = last > size_t(rate / 10) ? last - rate / 10 : 0;

    const double c = 2 * std::cos(2 * M_PI * frequency / rate);
    const double threshold = amplitude * 0.04;  // a clean step of the sine is 0.013
    std::vector<size_t> breaks;
    size_t zeros = 0, silentFrames = 0;
    for (size_t n = first + 2; n < last; ++n) {
        const double residual = double(x[n]) - c * x[n - 1] + x[n - 2];
        bool broken = std::fabs(residual) > threshold;
        if (x[n] == 0.0f) {
            if (++zeros == 48) broken = true;  // 1 ms of digital silence inside the tone
        } else {
            if (zeros >= 48) silentFrames += zeros;
            zeros = 0;
        }
        if (broken) breaks.push_back(n);
    }
    if (zeros >= 48) silentFrames += zeros;
    size_t dropouts = 0;
    size_t previous = 0;
    for (size_t b : breaks) {
        if (dropouts == 0 || b - previous > size_t(rate / 10)) ++dropouts;
        previous = b;
    }
    const double seconds = last > first ? double(last - first) / rate : 0;
    std::printf("{\"steadySeconds\":%.2f,\"dropouts\":%zu,\"silentMS\":%.1f}\n", seconds, dropouts,
                double(silentFrames) * 1000 / rate);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--write-tone") == 0) return writeTone(argv[2], std::stod(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "--count") == 0) return count(argv[2]);
    std::fprintf(stderr, "usage: capture_dropouts --write-tone FILE SECONDS | --count FILE\n");
    return 1;
}
