// quorel-tool headphone-import FILE: imports an AutoEq file into the headphone library and
// prints the stored profile.
#include "Subcommand.h"

#include "HeadphoneLibrary.h"

#include <exception>

namespace {

int runHeadphoneImport(const QStringList& args)
{
    if (args.size() != 1) return quorel::tool::fail(QStringLiteral("usage: quorel-tool headphone-import FILE"));
    try {
        quorel::HeadphoneLibrary library;
        quorel::tool::printJson(library.importProfile(args[0]).toJson());
    } catch (const std::exception& error) {
        return quorel::tool::fail(QString::fromUtf8(error.what()));
    }
    return 0;
}

const quorel::tool::Registration reg{{"headphone-import", "headphone-import FILE", &runHeadphoneImport}};

}  // namespace
