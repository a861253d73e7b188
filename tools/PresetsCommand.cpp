// quorel-tool presets: the built-in preset table as a JSON array, in table order.
#include "Subcommand.h"

#include "BuiltInPresets.h"

namespace {

int runPresets(const QStringList& args)
{
    if (!args.isEmpty()) return quorel::tool::fail(QStringLiteral("usage: quorel-tool presets"));
    QJsonArray list;
    for (const quorel::SoundPreset& preset : quorel::BuiltInPresets::all()) list.append(preset.toJson());
    quorel::tool::printJson(list);
    return 0;
}

const quorel::tool::Registration reg{{"presets", "presets", &runPresets}};

}  // namespace
