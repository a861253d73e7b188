// quorel-tool url URL...: the root model's URL commands on the stored settings, in order, then
// the engine update; prints the resulting state.
#include "RootModelRun.h"
#include "Subcommand.h"

#include "PresetLibrary.h"

namespace {

using namespace quorel;

int runUrl(const QStringList& args)
{
    if (args.isEmpty()) return tool::fail(QStringLiteral("usage: quorel-tool url URL..."));
    tool::RootModelRun run;
    BoostModel& model = *run.model;
    for (const QString& url : args) model.handle(url);
    run.clock->advance(BoostModel::updateDelay);
    const std::optional<bool> active = model.store().boolean(QString::fromLatin1(SystemModel::activeKey));
    tool::printJson(QJsonObject{
        {"settings", model.settings().toJson()},
        {"processed", model.processed()},
        {"tab", mainTab::rawValue(model.tab())},
        {"selectedPresetID", tool::optionalJson(model.presets().selectedID())},
        {"activeChoice", active ? QJsonValue(*active) : QJsonValue()},
        {"error", tool::errorJson(model)},
    });
    // A change that could not be stored is a failure (standard error said so at the write).
    return model.store().hasUnsavedChanges() ? 1 : 0;
}

const tool::Registration reg{{"url", "url URL...", &runUrl}};

}  // namespace
