#include "SystemStatus.h"

#include <utility>

namespace quorel {

namespace {
const char* const processingStatus = "Processing system audio on {0}.";
}

SystemStatus::SystemStatus(UserDefaults store) : store_(std::move(store)), status_(LocalizedMessage(offStatus)) {}

void SystemStatus::setActive(bool active)
{
    isActive_ = active;
    emit activeChanged();
}

void SystemStatus::setStatus(const LocalizedMessage& status)
{
    status_ = status;
    emit statusChanged();
}

void SystemStatus::setErrorMessage(const std::optional<LocalizedMessage>& message)
{
    errorMessage_ = message;
    emit errorChanged();
}

void SystemStatus::setInfo(const std::optional<SystemBoostEngine::Info>& info)
{
    info_ = info;
    emit infoChanged();
}

void SystemStatus::setStats(const QRSystemIOStats& stats)
{
    stats_ = stats;
    emit statsChanged();
}

void SystemStatus::setMeters(const Meters& meters)
{
    meters_ = meters;
    emit metersChanged();
}

void SystemStatus::setFlag(bool& field, bool value)
{
    field = value;
    emit flagsChanged();
}

void SystemStatus::reportWriteFailure(bool written)
{
    if (!written) setErrorMessage(LocalizedMessage("Could not save the settings file {0}.", {store_.filePath()}));
}

void SystemStatus::clearError()
{
    if (store_.hasUnsavedChanges())
        reportWriteFailure(false);
    else
        setErrorMessage(std::nullopt);
}

void SystemStatus::showProcessing() { setStatus(LocalizedMessage(processingStatus, {info_->deviceName})); }

void SystemStatus::enterWaitingForAudio()
{
    if (waitingForAudio_ || !info_) return;
    setWaitingForAudio(true);
    setStatus(
        LocalizedMessage("Ready on {0}. Processing starts with the first sound an app plays.", {info_->deviceName}));
}

void SystemStatus::leaveWaitingForAudio()
{
    if (!waitingForAudio_ || !info_) return;
    setWaitingForAudio(false);
    showProcessing();
}

void SystemStatus::showPreview(bool active)
{
    setActive(active);
    setInfo(std::nullopt);
    setNeedsPermission(false);
    clearError();
    if (active) {
        setMeters(Meters{-18, -6, -1.8f, -17, 3.2f, true, 0.9f});
        setStatus(LocalizedMessage("Design preview: demonstration values, no audio is processed."));
    } else {
        setMeters(Meters());
        setStatus(LocalizedMessage(offStatus));
    }
}

}  // namespace quorel
