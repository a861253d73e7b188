#pragma once

namespace quorel {

class SystemModel;
class BoostModel;

// What the windows ask of the engine controller beyond switching and configuring: the
// capture-permission flag, the desktop's sound settings, the audio-service restart and the
// output volume. One place, so the windows read them alike.
namespace SystemServices {

bool needsPermission(const SystemModel& system);
bool canOpenSoundSettings(const SystemModel& system);
void openSoundSettings(SystemModel& system);
bool canRestartAudioService(const SystemModel& system);
void restartAudioService(SystemModel& system);
bool supportsVolume(const SystemModel& system);
void setVolumeToMaximum(SystemModel& system);

}  // namespace SystemServices
}  // namespace quorel
