// quorel-tool preset-import FILE: imports a preset file into the library and prints the
// stored preset.
#include "Subcommand.h"

#include "PresetLibrary.h"

#include <exception>

namespace {

int runPresetImport(const QStringList& args)
{
    if (args.size() != 1) return quorel::tool::fail(QStringLiteral("usage: quorel-tool preset-import FILE"));
    try {
        quorel::PresetLibrary library;
        quorel::tool::printJson(library.importPreset(args[0]).toJson());
    } catch (const std::exception& error) {
        return quorel::tool::fail(QString::fromUtf8(error.what()));
    }
    return 0;
}

const quorel::tool::Registration reg{{"preset-import", "preset-import FILE", &runPresetImport}};

}  // namespace
