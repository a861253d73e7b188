// quorel-tool volume: the sound server's volume and mute of the followed output device.
#include "CommandArguments.h"
#include "Subcommand.h"

#include "PulseDevices.h"
#include "SystemVolumeController.h"

#include <charconv>

namespace {

// The float as the shortest decimal that reads back as the same float.
double shortest(float value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double result = 0;
    std::from_chars(text, end, result);
    return result;
}

int runVolume(const QStringList& args)
{
    using namespace quorel;
    tool::CommandArguments arguments({QCommandLineOption("output", QString(), "UID"),
                                      QCommandLineOption("set", QString(), "V"),
                                      QCommandLineOption("mute", QString(), "on|off")},
                                     {QStringLiteral("Unknown option: %1"), QStringLiteral("%1 needs a value")});
    if (const std::optional<QString> fault = arguments.read(args)) return tool::fail(*fault);
    std::optional<QString> output;
    std::optional<float> volume;
    std::optional<bool> mute;
    if (arguments.isSet("output")) output = arguments.value("output");
    for (const QString& value : arguments.values("set")) {
        bool ok = false;
        const double number = value.toDouble(&ok);  // C locale, whatever the user's locale
        if (!ok) return tool::fail(QStringLiteral("--set needs a number from 0 to 1, not \"%1\"").arg(value));
        volume = float(number);
    }
    for (const QString& value : arguments.values("mute")) {
        if (value != "on" && value != "off") return tool::fail(QStringLiteral("--mute takes on or off"));
        mute = value == "on";
    }

    SystemVolumeController controller(std::make_shared<PulseDevices>());
    if (output) controller.follow(output);
    if (volume && !controller.failureMessage()) controller.set(*volume);
    if (mute && !controller.failureMessage()) controller.setMuted(*mute);

    const auto failure = controller.failure();
    QJsonObject object{
        {"deviceName", controller.deviceName()},
        {"volume", shortest(controller.volume())},
        {"isMuted", controller.isMuted()},
        {"supportsVolume", controller.supportsVolume()},
        {"supportsMute", controller.supportsMute()},
        {"failure", failure ? QJsonValue(*failure) : QJsonValue()},
        {"device",
         controller.device() == AudioDevices::noDevice ? QJsonValue() : QJsonValue(qint64(controller.device()))},
        {"preferredUID", controller.preferredUID() ? QJsonValue(*controller.preferredUID()) : QJsonValue()}};
    tool::printJson(object);
    if (failure) return tool::fail(*failure);
    return 0;
}

const quorel::tool::Registration reg{{"volume", "volume [--output UID] [--set V] [--mute on|off]", &runVolume}};

}  // namespace
