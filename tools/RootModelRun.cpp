#include "RootModelRun.h"

#include "FrontApplicationSource.h"
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "RandomSource.h"
#include "UserDefaults.h"

namespace quorel::tool {

RootModelRun::RootModelRun(std::unique_ptr<FrontApplicationSource> front, std::shared_ptr<RandomSource> random)
    : clock(std::make_shared<ManualClock>(QDateTime::currentDateTime()))
{
    BoostModel::Options options;
    options.clock = clock;
    options.store = UserDefaults::standard();
    options.system.preview = true;
    options.system.engineFactory = [] {
        return std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(),
                                                   std::make_shared<PulseDevices>());
    };
    options.system.followVolume = false;
    options.system.sleepEvents = false;
    options.system.outputDevices = [] { return std::vector<AudioDevices::OutputDevice>(); };
    options.frontApplications = std::move(front);
    options.random = std::move(random);
    options.desktopServices = false;
    model = std::make_unique<BoostModel>(std::move(options));
}

QJsonValue optionalJson(const std::optional<QString>& text) { return text ? QJsonValue(*text) : QJsonValue(); }

QJsonValue errorJson(const BoostModel& model)
{
    const auto& message = model.system().errorMessage();
    return message ? QJsonValue(message->text()) : QJsonValue();
}

}  // namespace quorel::tool
