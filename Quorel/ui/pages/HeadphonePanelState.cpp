#include "HeadphonePanelState.h"

namespace quorel {

HeadphonePanelState::HeadphonePanelState(QObject* parent) : QObject(parent) {}

void HeadphonePanelState::askToDelete(const std::optional<HeadphoneProfile>& profile)
{
    pendingDelete_ = profile;
    if (!confirmingDelete_) {
        confirmingDelete_ = true;
        emit confirmingDeleteChanged();
    }
}

std::optional<HeadphoneProfile> HeadphonePanelState::closeConfirmation()
{
    std::optional<HeadphoneProfile> profile = std::move(pendingDelete_);
    pendingDelete_.reset();
    if (confirmingDelete_) {
        confirmingDelete_ = false;
        emit confirmingDeleteChanged();
    }
    return profile;
}

}  // namespace quorel
