// quorel-tool devices: the output devices a user can choose, as a JSON array.
#include "Subcommand.h"

#include "AudioFailure.h"
#include "HAL.h"

namespace {

int runDevices(const QStringList& args)
{
    using namespace quorel;
    if (!args.isEmpty()) return tool::fail(QStringLiteral("devices takes no options"));
    try {
        // The list itself never fails; reading the default first tells a missing server apart
        // from a server without devices.
        HAL::get<uint32_t>(HAL::systemObject, HAL::address(HAL::selector::defaultOutputDevice, HAL::scope::global, 0));
    } catch (const DescribedError& error) {
        return tool::fail(error.description());
    }
    QJsonArray list;
    for (const HAL::OutputDevice& device : HAL::outputDevices()) {
        list.append(QJsonObject{{"id", qint64(device.id)},
                                {"uid", device.uid},
                                {"name", device.name},
                                {"channels", device.channels},
                                {"isDefault", device.isDefault}});
    }
    tool::printJson(list);
    return 0;
}

const quorel::tool::Registration reg{{"devices", "devices", &runDevices}};

}  // namespace
