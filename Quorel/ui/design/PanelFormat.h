#pragma once

#include "AppLanguage.h"

#include <QString>

namespace quorel {

struct HeadphoneProfile;

// The numbers and texts the Boost and Output pages derive from the models at each redraw, kept
// apart from the widgets so each rule can be checked on its own.
namespace PanelFormat {

// What C's printf writes for `format` in the C locale (rounding halves to even as the C library
// does: "%+.0f" of -2.5 is "-2"); the pages' printf formats go through here, never through
// QString::asprintf, which rounds on its own.
QString printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Boost dial: the gauge maps 0 dB to -135 degrees (clockwise from 12 o'clock) and 12 dB to +135.
float dialAngle(float decibels);
// The last lit tick of the 37 (tick i stands for i/3 dB): value x 3, truncated toward zero.
int litTickLimit(float decibels);
constexpr int tickCount = 37;
// Ticks at every 2 dB are tall (6 px), the others short (3 px).
bool isTallTick(int tick);

// Whether Drive shapes peaks now: processing on, an amount above 0, and an activity strictly
// above 1 - 0.5 x amount (computed in single precision; a NaN is never shaping).
bool driveShaping(bool active, float driveAmount, float driveActivity);
// An amount (0...1) as a whole percentage, halves away from zero.
int percent(float amount);
// Every percentage the window shows: the whole percentage and "%" ("35%"), plain digits in every
// language; a value that is not finite shows "%" alone.
QString percentText(float amount);
// A number with a "+" in front unless it is formatted with a leading minus; a NaN gets no sign.
QString signedNumber(float value, int digits, AppLanguage language);
// The leveler's status line: "waiting for sound", or "{0} LUFS · {1} dB".
QString levelerReadout(bool measuring, float loudness, float gain, AppLanguage language);

// Level monitor.
constexpr int segmentCount = 24;
constexpr int orangeSegments = 2;  // the last two segments (above -5 dBFS) light orange
float segmentThreshold(int segment);
bool segmentLit(float level, int segment);
// "−∞" at -119 dBFS or below, else the level with one fraction digit.
QString levelText(float level, AppLanguage language);
// The limiter's shield turns orange beyond 6 dB of reduction.
bool reductionWarning(float limiterDB);

// Output page.
QString deviceSymbol(const QString& deviceName);
// "Muted", else the volume as a whole percentage.
QString volumeText(float volume, bool muted, AppLanguage language);
bool maximumEnabled(bool supportsVolume, float volume, bool muted);
bool restartShown(bool active, bool canRestart, bool restarting);

// Headphone card: "{0} filters · {1}" with the count and the source ("imported" for imports).
QString headphoneDetail(const HeadphoneProfile& profile, AppLanguage language);
// The pre-gain note shows for a pre-gain below -0.05 dB.
bool showsPreGainNote(float preampDB);

}  // namespace PanelFormat
}  // namespace quorel
