// quorel-tool preset-export ID --out FILE: writes a built-in or custom preset as a preset file.
// When FILE is a folder, the file inside it is named after the preset.
#include "CommandArguments.h"
#include "Subcommand.h"

#include "PresetLibrary.h"
#include "UserFile.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace {

int runPresetExport(const QStringList& args)
{
    using quorel::tool::fail;
    const QString usage = QStringLiteral("usage: quorel-tool preset-export ID --out FILE");
    quorel::tool::CommandArguments arguments({QCommandLineOption("out", QString(), "FILE|FOLDER")}, {usage, usage}, 1);
    if (arguments.read(args) || arguments.positionalArguments().isEmpty() || !arguments.isSet("out"))
        return fail(usage);
    const QString id = arguments.positionalArguments().first();
    quorel::PresetLibrary library;
    std::optional<quorel::SoundPreset> found;
    for (quorel::PresetCategory category : quorel::presetCategory::allCases)
        for (const quorel::SoundPreset& preset : library.presets(category))
            if (!found && preset.id == id) found = preset;
    if (!found) return fail(QStringLiteral("No preset with the id %1.").arg(id));

    QString path = arguments.value("out");
    if (QFileInfo(path).isDir()) path = QDir(path).filePath(quorel::PresetLibrary::exportFileName(*found));
    try {
        const QByteArray data = library.exportData(*found);
        if (const std::optional<QString> reason = quorel::UserFile::write(path, data))
            return fail(QStringLiteral("Could not write %1: %2").arg(path, *reason));
    } catch (const std::exception& error) {
        return fail(QString::fromUtf8(error.what()));
    }
    quorel::tool::printJson(QJsonObject{{"id", found->id}, {"file", path}});
    return 0;
}

const quorel::tool::Registration reg{{"preset-export", "preset-export ID --out FILE|FOLDER", &runPresetExport}};

}  // namespace
