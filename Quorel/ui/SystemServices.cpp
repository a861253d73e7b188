#include "SystemServices.h"

#include "SystemModel.h"

namespace quorel::SystemServices {

// Interim: the engine controller's flags and services arrive with its own work.
bool needsPermission(const SystemModel&) { return false; }
bool canOpenSoundSettings(const SystemModel&) { return false; }
void openSoundSettings(SystemModel&) {}
bool canRestartAudioService(const SystemModel&) { return false; }
void restartAudioService(SystemModel&) {}
bool supportsVolume(const SystemModel&) { return false; }
void setVolumeToMaximum(SystemModel&) {}

}  // namespace quorel::SystemServices
