#pragma once

#include "FrontApplicationSource.h"

#include <optional>
#include <vector>

namespace quorel::test {

// A front-application source the test drives: it says which application is in front.
class FakeFrontApplications final : public FrontApplicationSource {
public:
    bool available = true;
    std::optional<DesktopApplication> front;
    std::vector<DesktopApplication> running;

    bool isAvailable() const override { return available; }
    std::optional<DesktopApplication> frontApplication() const override { return front; }
    std::vector<DesktopApplication> runningApplications() const override { return running; }

    // Brings `id` to the front ("" for none) and says so, as the desktop would.
    void activate(const QString& id)
    {
        if (id.isEmpty())
            front.reset();
        else
            front = DesktopApplication{id, id, QString()};
        emit frontApplicationChanged();
    }
};

}  // namespace quorel::test
