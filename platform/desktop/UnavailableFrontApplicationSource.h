#pragma once

#include "FrontApplicationSource.h"

namespace quorel {

// The front application where it cannot be known (Wayland, no display): never available.
class UnavailableFrontApplicationSource : public FrontApplicationSource {
    Q_OBJECT
public:
    using FrontApplicationSource::FrontApplicationSource;
    ~UnavailableFrontApplicationSource() override;
    bool isAvailable() const override { return false; }
    std::optional<DesktopApplication> frontApplication() const override { return std::nullopt; }
    std::vector<DesktopApplication> runningApplications() const override { return {}; }
};

}  // namespace quorel
