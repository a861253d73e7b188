// quorel-tool automation STEP...: per-app rules and the night schedule through the automation
// model's own operations, on the stored settings; one line of state per step.
#include "RootModelRun.h"
#include "Subcommand.h"

#include "AutomationModel.h"
#include "FrontApplicationSource.h"
#include "PresetLibrary.h"

#include <QRegularExpression>

namespace {

using namespace quorel;

// The application in front is whatever the steps say.
class SteppedFrontApplication final : public FrontApplicationSource {
public:
    std::optional<DesktopApplication> front;
    bool isAvailable() const override { return true; }
    std::optional<DesktopApplication> frontApplication() const override { return front; }
    std::vector<DesktopApplication> runningApplications() const override
    {
        if (!front) return {};
        return {*front};
    }
    void activate(const QString& id)
    {
        if (id == QLatin1String("-"))
            front.reset();
        else
            front = DesktopApplication{id, id, QString()};
        emit frontApplicationChanged();
    }
};

// "HH:MM" as minutes after midnight.
std::optional<int64_t> minutesOf(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{2}):([0-9]{2})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const int hour = match.captured(1).toInt(), minute = match.captured(2).toInt();
    if (hour > 23 || minute > 59) return std::nullopt;
    return hour * 60 + minute;
}

int runAutomation(const QStringList& args)
{
    const QString usage = QStringLiteral(
        "usage: quorel-tool automation [--rule APP=PRESET] [--remove-rule APP] [--night HH:MM-HH:MM=PRESET] "
        "[--night off] [--front APP|-] [--at HH:MM]...");
    if (args.isEmpty() || args.size() % 2 != 0) return tool::fail(usage);
    auto owned = std::make_unique<SteppedFrontApplication>();
    SteppedFrontApplication* front = owned.get();
    tool::RootModelRun run(std::move(owned));
    BoostModel& model = *run.model;
    AutomationModel& automation = model.automation();

    for (qsizetype i = 0; i < args.size(); i += 2) {
        const QString option = args[i], value = args[i + 1];
        if (option == QLatin1String("--rule")) {
            const qsizetype equals = value.indexOf(u'=');
            if (equals <= 0 || equals == value.size() - 1)
                return tool::fail(QStringLiteral("--rule takes APP=PRESET: %1").arg(value));
            const QString app = value.left(equals);
            automation.setRule(app, app, value.mid(equals + 1));
        } else if (option == QLatin1String("--remove-rule")) {
            automation.removeRule(value);
        } else if (option == QLatin1String("--night")) {
            NightSchedule night = automation.night();
            if (value == QLatin1String("off")) {
                night.enabled = false;
            } else {
                static const QRegularExpression pattern(QStringLiteral("^([0-9:]+)-([0-9:]+)=(.+)$"));
                const QRegularExpressionMatch match = pattern.match(value);
                const auto start = match.hasMatch() ? minutesOf(match.captured(1)) : std::nullopt;
                const auto end = match.hasMatch() ? minutesOf(match.captured(2)) : std::nullopt;
                if (!start || !end)
                    return tool::fail(QStringLiteral("--night takes HH:MM-HH:MM=PRESET or off: %1").arg(value));
                night = {true, *start, *end, match.captured(3)};
            }
            automation.setNight(night);
        } else if (option == QLatin1String("--front")) {
            front->activate(value);
        } else if (option == QLatin1String("--at")) {
            const std::optional<int64_t> minutes = minutesOf(value);
            if (!minutes) return tool::fail(QStringLiteral("--at takes HH:MM: %1").arg(value));
            run.clock->setDateTime(QDateTime(QDate::currentDate(), QTime(int(*minutes / 60), int(*minutes % 60))));
            automation.evaluateNight();
        } else {
            return tool::fail(usage);
        }
        run.clock->advance(BoostModel::updateDelay);
        tool::printJson(QJsonObject{
            {"step", option + u' ' + value},
            {"activeRule", tool::optionalJson(automation.activeRuleBundleID())},
            {"nightActive", automation.nightActive()},
            {"selectedPresetID", tool::optionalJson(model.presets().selectedID())},
            {"settings", model.settings().toJson()},
        });
        // A rule or schedule that could not be stored is gone at the next start.
        if (const QJsonValue error = tool::errorJson(model); error.isString()) return tool::fail(error.toString());
    }
    return 0;
}

const tool::Registration reg{{"automation",
                              "automation STEP... (--rule APP=PRESET, --remove-rule APP, "
                              "--night HH:MM-HH:MM=PRESET|off, --front APP|-, --at HH:MM)",
                              &runAutomation}};

}  // namespace
