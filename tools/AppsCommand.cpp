// quorel-tool apps: the application in front and the running applications, as the desktop
// (X11) reports them to the per-app rules.
#include "Subcommand.h"

#include "DesktopSession.h"
#include "FrontApplicationSource.h"

#include <QJsonArray>

namespace {

using namespace quorel;

QJsonObject appJson(const DesktopApplication& app)
{
    return QJsonObject{{"bundleID", app.id}, {"name", app.name.isEmpty() ? app.id : app.name}, {"icon", app.icon}};
}

int runApps(const QStringList& args)
{
    if (!args.isEmpty()) return tool::fail(QStringLiteral("usage: quorel-tool apps"));
    const std::unique_ptr<FrontApplicationSource> source = makeFrontApplicationSource();
    const bool available = source && source->isAvailable();
    QJsonValue front;
    QJsonArray running;
    if (available) {
        if (const std::optional<DesktopApplication> app = source->frontApplication()) front = appJson(*app);
        for (const DesktopApplication& app : source->runningApplications()) running.append(appJson(app));
    }
    tool::printJson(QJsonObject{{"available", available}, {"front", front}, {"running", running}});
    return 0;
}

const tool::Registration reg{{"apps", "apps", &runApps}};

}  // namespace
