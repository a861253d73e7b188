#pragma once

// The C entry points of the system's own effect units: registration, the K-weighting and
// analyser helpers, and parameter ranges. Units are configured and read through their own
// classes (the graph holds each by its type), so no call can reach a unit of the wrong class.
//
// How a unit is written on this frame:
//  1. State: a plain `QR<Name>State` record held by value in the unit. Its parameters are one
//     plain `QR<Name>Parameters` record (with whatever derives from them: coefficients, curves)
//     in a PublishedBlock; fields the control thread reads (readings) are std::atomic (32-bit;
//     64-bit for counters); every other field belongs to the render thread. Per-channel data exists for two channels.
//     Buffers are RenderBuffer/SampleBuffer, allocated zero-filled in allocateState().
//  2. Class: `QR<Name>Unit : EffectUnit` with `static constexpr FourCharCode subtype` and
//     `static constexpr const char* registeredName`, a constructor taking the description
//     (defaulting to effectDescription(subtype)) that sets the initial parameters, and the
//     overrides allocateState() (rate-dependent values and buffers; false = out of memory),
//     releaseState(), resetState() (signal state and readings to rest, never parameters; must
//     cope with released buffers), latency() when it delays, and process().
//  3. process(data, frames) runs on the real-time thread after EffectUnit pulled the input into
//     `data` (one pointer per channel, in place): acquire the parameter block once at the start
//     and use current() for the whole call, treat every input sample with sanitizedSample()/sanitizeSamples(), write
//     the output, publish readings (publishReading), return the output's peak magnitude (the
//     frame clears the silence flag from it). No locks, allocation, exceptions, logging or Qt.
//     Prefer two simple loops - compute a gain curve, then one multiply loop - so both vectorise.
//  4. Control side: configure operations validate (not finite -> ignored or replaced; clamp),
//     derive, and publish the whole block (starting from latest()); accumulating readings are
//     taken with takeReading().
//  5. C entry points below: `extern "C"`; QRRegister<Name>Unit() uses
//     registerEffectUnitOnce<Unit>(). Each unit's entry points are defined in its own .cpp.

#include "AudioComponentDescription.h"
#include "AudioUnit.h"
#include "QRParameterBounds.h"

#include <cstdint>

namespace quorel {

struct QRUtilityState;

extern "C" {

// Registration: registers the unit once, returns its description on every call. The description
// has default member initialisers, which clang counts as not C-compatible; only C++ calls these.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
AudioComponentDescription QRRegisterBassUnit();
AudioComponentDescription QRRegisterDriveUnit();
AudioComponentDescription QRRegisterLevelerUnit();
AudioComponentDescription QRRegisterLimiterUnit();
AudioComponentDescription QRRegisterUtilityUnit();
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// K-weighting of the leveler.
void QRKWeightingCoefficients(double sampleRate, double* shelf, double* highPass);

// Spectrum analyser of a utility unit.
bool QRAllocateAnalyser(double sampleRate, QRUtilityState* state);
void QRFreeAnalyser(QRUtilityState* state);

// Range of a parameter of any unit; `status` is the unit's answer (-50 for a null unit).
QRParameterBounds QRReadParameterBounds(AudioUnit* unit, uint32_t parameter);

}  // extern "C"

}  // namespace quorel
