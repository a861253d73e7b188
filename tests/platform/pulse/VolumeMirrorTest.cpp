#include "VolumeMirror.h"

#include <gtest/gtest.h>

using namespace quorel;

namespace {
using Copy = VolumeMirror::Copy;
using Level = VolumeMirror::Level;

constexpr uint32_t ours = 40;
constexpr uint32_t speaker = 7;
constexpr Level full{PA_VOLUME_NORM, false};
constexpr Level half{PA_VOLUME_NORM / 2, false};

// Both sides as the last copy left them.
VolumeMirror::Memory copied(Level sink, Level device, uint32_t sinkIndex = ours, uint32_t deviceIndex = speaker)
{
    return {sinkIndex, deviceIndex, sink, device};
}
}  // namespace

TEST(VolumeMirror, OurSinkFirstSeenTakesTheDevicesVolume)
{
    // A new sink starts at full volume; the speaker's 50 % is what the desktop must show.
    EXPECT_EQ(VolumeMirror::decide({}, ours, full, speaker, half), Copy::toSink);
    // Already the same: still recorded as the first copy, so a later key press is a change.
    EXPECT_EQ(VolumeMirror::decide({}, ours, half, speaker, half), Copy::toSink);
}

TEST(VolumeMirror, AVolumeKeyOnOurSinkGoesToTheDevice)
{
    const Level lower{PA_VOLUME_NORM * 94 / 100, false};
    EXPECT_EQ(VolumeMirror::decide(copied(full, full), ours, lower, speaker, full), Copy::toDevice);
    const Level muted{PA_VOLUME_NORM, true};
    EXPECT_EQ(VolumeMirror::decide(copied(full, full), ours, muted, speaker, full), Copy::toDevice);
}

TEST(VolumeMirror, TheDevicesVolumeSetElsewhereIsShownOnOurSink)
{
    EXPECT_EQ(VolumeMirror::decide(copied(full, full), ours, full, speaker, half), Copy::toSink);
    const Level mutedHalf{PA_VOLUME_NORM / 2, true};
    EXPECT_EQ(VolumeMirror::decide(copied(half, half), ours, half, speaker, mutedHalf), Copy::toSink);
}

TEST(VolumeMirror, OurOwnCopyComingBackIsNoChange)
{
    // The server may round a volume it was given; each side is compared with what it held
    // right after the copy, so the copy is not sent back and forth.
    const Level rounded{PA_VOLUME_NORM / 2 - 1, false};
    EXPECT_EQ(VolumeMirror::decide(copied(half, rounded), ours, half, speaker, rounded), Copy::none);
    EXPECT_EQ(VolumeMirror::decide(copied(rounded, half), ours, rounded, speaker, half), Copy::none);
}

TEST(VolumeMirror, OurSinkMadeAnewOrAnotherDeviceTakesTheDevicesVolume)
{
    // A sink made anew (a restarted session manager) starts at full volume: that is no key press.
    EXPECT_EQ(VolumeMirror::decide(copied(half, half), ours + 1, full, speaker, half), Copy::toSink);
    EXPECT_EQ(VolumeMirror::decide(copied(half, half), ours, half, speaker + 1, full), Copy::toSink);
}

TEST(VolumeMirror, BothChangedOurSinksChangeWins)
{
    EXPECT_EQ(VolumeMirror::decide(copied(full, full), ours, half, speaker, Level{PA_VOLUME_NORM / 4, false}),
              Copy::toDevice);
}
