#pragma once

#include "BoostModel.h"
#include "ManualClock.h"

#include <QJsonObject>

#include <memory>

namespace quorel {
class FrontApplicationSource;
class RandomSource;
}  // namespace quorel

namespace quorel::tool {

// A root model for the subcommands: on the settings store as the app, its engine controller in
// design preview (no engine), model time on a manual clock, no display.
struct RootModelRun {
    explicit RootModelRun(std::unique_ptr<FrontApplicationSource> front = nullptr,
                          std::shared_ptr<RandomSource> random = nullptr);
    std::shared_ptr<ManualClock> clock;
    std::unique_ptr<BoostModel> model;
};

// The error banner's text, or null.
QJsonValue errorJson(const BoostModel& model);
QJsonValue optionalJson(const std::optional<QString>& text);

}  // namespace quorel::tool
