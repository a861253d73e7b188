#pragma once

#include "HeadphoneProfile.h"

#include <QObject>

#include <optional>

namespace quorel {

// The headphone card's own state, living as long as the card: whether the delete confirmation
// is on screen, and the profile it was opened for (captured when "Delete" was pressed, so the
// confirmation names and deletes that profile, whatever the settings hold by then).
class HeadphonePanelState : public QObject {
    Q_OBJECT
public:
    explicit HeadphonePanelState(QObject* parent = nullptr);

    bool confirmingDelete() const { return confirmingDelete_; }
    const std::optional<HeadphoneProfile>& pendingDelete() const { return pendingDelete_; }

    // Opens the confirmation for `profile` (none: nothing to delete).
    void askToDelete(const std::optional<HeadphoneProfile>& profile);
    // Closes it (by either button); returns the profile it was opened for.
    std::optional<HeadphoneProfile> closeConfirmation();

signals:
    void confirmingDeleteChanged();

private:
    bool confirmingDelete_ = false;
    std::optional<HeadphoneProfile> pendingDelete_;
};

}  // namespace quorel
