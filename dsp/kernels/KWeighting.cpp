#include "KWeighting.h"

#include "VectorMath.h"

namespace quorel {

namespace {

using Lanes = vectormath::Float4;
using Double2 = double __attribute__((vector_size(16)));

// Both channels run side by side as lanes of one vector. For eight frames or more both stages
// run in direct form I in one four-lane vector (a form of its own: it exists for the wait it
// saves, and only here): the shelf of frame n for both channels in
// lanes 0 and 1, the high-pass of frame n - 3 (whose input, the shelf's output, is then ready)
// in lanes 2 and 3, the feedback of the frame before added last, so a frame waits for one
// multiplication and one subtraction of the one before rather than for two whole sections.
[[gnu::always_inline]] inline void run(std::array<Biquad, 2>& shelf, std::array<Biquad, 2>& highPass, const float* left,
                                       const float* right, uint32_t count, std::array<double, 2>& binSums)
{
    const Biquad& sc = shelf[0];
    const Biquad& hc = highPass[0];
    const Lanes zero = {0, 0, 0, 0};
    const Lanes sb0 = zero + sc.b0, sb1 = zero + sc.b1, sb2 = zero + sc.b2, sa1 = zero + sc.a1, sa2 = zero + sc.a2;
    const Lanes hb0 = zero + hc.b0, hb1 = zero + hc.b1, hb2 = zero + hc.b2, ha1 = zero + hc.a1, ha2 = zero + hc.a2;
    Lanes sz1 = {shelf[0].z1, shelf[1].z1, 0, 0};
    Lanes sz2 = {shelf[0].z2, shelf[1].z2, 0, 0};
    Lanes hz1 = {highPass[0].z1, highPass[1].z1, 0, 0};
    Lanes hz2 = {highPass[0].z2, highPass[1].z2, 0, 0};
    Double2 sums = {binSums[0], binSums[1]};
    auto square = [&sums](Lanes y) __attribute__((always_inline))
    {
        const Double2 wide = {double(y[0]), double(y[1])};
        sums += wide * wide;
    };
    auto frame = [&](uint32_t i) __attribute__((always_inline)) { return Lanes{left[i], right[i], 0, 0}; };
    // Transposed direct form II, lanes 0 and 1, as the plain sections it must match.
    auto shelfStep = [&](Lanes x) __attribute__((always_inline))
    {
        return biquadStep(x, sb0, sb1, sb2, sa1, sa2, sz1, sz2);
    };
    auto highPassStep = [&](Lanes u) __attribute__((always_inline))
    {
        return biquadStep(u, hb0, hb1, hb2, ha1, ha2, hz1, hz2);
    };
    // The transposed form's memories after inputs in2, in1 (the newer) gave outputs out2, out1.
    auto memories = [](Lanes b1, Lanes b2, Lanes a1, Lanes a2, Lanes in1, Lanes in2, Lanes out1, Lanes out2, Lanes & z1,
                       Lanes & z2) __attribute__((always_inline))
    {
        const Lanes before = b2 * in2 - a2 * out2;
        z1 = b1 * in1 - a1 * out1 + before;
        z2 = b2 * in1 - a2 * out1;
    };

    if (count < 8) {
        for (uint32_t i = 0; i < count; ++i) square(highPassStep(shelfStep(frame(i))));
    } else {
        // Frames 0...4 through the shelf, 0 and 1 through the high-pass as well.
        const Lanes x3 = frame(3), x4 = frame(4);
        const Lanes u0 = shelfStep(frame(0)), u1 = shelfStep(frame(1)), u2 = shelfStep(frame(2));
        const Lanes u3 = shelfStep(x3), u4 = shelfStep(x4);
        const Lanes y0 = highPassStep(u0), y1 = highPassStep(u1);
        square(y0);
        square(y1);
        // Lanes 0, 1: shelf; 2, 3: high-pass, three frames behind.
        const Lanes b0 = {sc.b0, sc.b0, hc.b0, hc.b0}, b1 = {sc.b1, sc.b1, hc.b1, hc.b1};
        const Lanes b2 = {sc.b2, sc.b2, hc.b2, hc.b2}, a1 = {sc.a1, sc.a1, hc.a1, hc.a1};
        const Lanes a2 = {sc.a2, sc.a2, hc.a2, hc.a2};
        // Inputs and outputs of the last steps (1: the newest).
        Lanes in1 = __builtin_shufflevector(x4, u1, 0, 1, 4, 5), in2 = __builtin_shufflevector(x3, u0, 0, 1, 4, 5);
        Lanes out1 = __builtin_shufflevector(u4, y1, 0, 1, 4, 5), out2 = __builtin_shufflevector(u3, y0, 0, 1, 4, 5);
        Lanes out3 = u2;
        auto step = [&](Lanes x) __attribute__((always_inline))
        {
            const Lanes in = __builtin_shufflevector(x, out3, 0, 1, 4, 5);
            const Lanes out = ((b0 * in + (b1 * in1 + b2 * in2)) - a2 * out2) - a1 * out1;
            square(__builtin_shufflevector(out, out, 2, 3, 2, 3));
            in2 = in1, in1 = in, out3 = out2, out2 = out1, out1 = out;
        };
        for (uint32_t i = 5; i < count; ++i) step(frame(i));
        // The shelf's last two frames; then three steps more bring the high-pass to the end.
        const Lanes shelfIn1 = in1, shelfIn2 = in2, shelfOut1 = out1, shelfOut2 = out2;
        step(zero);
        step(zero);
        step(zero);
        memories(sb1, sb2, sa1, sa2, shelfIn1, shelfIn2, shelfOut1, shelfOut2, sz1, sz2);
        const Lanes highIn1 = __builtin_shufflevector(in1, in1, 2, 3, 2, 3);
        const Lanes highIn2 = __builtin_shufflevector(in2, in2, 2, 3, 2, 3);
        const Lanes highOut1 = __builtin_shufflevector(out1, out1, 2, 3, 2, 3);
        const Lanes highOut2 = __builtin_shufflevector(out2, out2, 2, 3, 2, 3);
        memories(hb1, hb2, ha1, ha2, highIn1, highIn2, highOut1, highOut2, hz1, hz2);
    }
    for (uint32_t channel = 0; channel < 2; ++channel) {
        shelf[channel].z1 = sz1[channel];
        shelf[channel].z2 = sz2[channel];
        highPass[channel].z1 = hz1[channel];
        highPass[channel].z2 = hz2[channel];
        binSums[channel] = sums[channel];
    }
}

using Runner = void (*)(std::array<Biquad, 2>&, std::array<Biquad, 2>&, const float*, const float*, uint32_t,
                        std::array<double, 2>&);

void runPortable(std::array<Biquad, 2>& shelf, std::array<Biquad, 2>& highPass, const float* left, const float* right,
                 uint32_t count, std::array<double, 2>& sums)
{
    run(shelf, highPass, left, right, count, sums);
}

#if defined(__x86_64__)
// Fused multiply-add halves the wait from one frame to the next.
__attribute__((target("avx,fma"))) void runWide(std::array<Biquad, 2>& shelf, std::array<Biquad, 2>& highPass,
                                                const float* left, const float* right, uint32_t count,
                                                std::array<double, 2>& sums)
{
    run(shelf, highPass, left, right, count, sums);
}
#endif

Runner runnerFor(KernelForm form)
{
#if defined(__x86_64__)
    if (form == KernelForm::wide && kernelFormAvailable(KernelForm::wide)) return runWide;
#endif
    (void)form;
    return runPortable;
}

// Chosen once when the library is loaded, never on the real-time thread.
const Runner chosen = runnerFor(KernelForm::wide);

}  // namespace

void kWeightedSquares(std::array<Biquad, 2>& shelf, std::array<Biquad, 2>& highPass, const float* left,
                      const float* right, uint32_t count, std::array<double, 2>& sums) noexcept
{
    chosen(shelf, highPass, left, right, count, sums);
}

void kWeightedSquares(KernelForm form, std::array<Biquad, 2>& shelf, std::array<Biquad, 2>& highPass, const float* left,
                      const float* right, uint32_t count, std::array<double, 2>& sums) noexcept
{
    runnerFor(form)(shelf, highPass, left, right, count, sums);
}

}  // namespace quorel
