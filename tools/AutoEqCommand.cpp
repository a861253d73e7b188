// quorel-tool autoeq FILE: parses an AutoEq ParametricEQ file and prints the sanitized profile.
#include "Subcommand.h"

#include "AutoEqParser.h"
#include "HeadphoneLibrary.h"
#include "UserFile.h"

#include <exception>

namespace {

int runAutoEq(const QStringList& args)
{
    if (args.size() != 1) return quorel::tool::fail(QStringLiteral("usage: quorel-tool autoeq FILE"));
    try {
        const QString text = quorel::UserFile::readText(args[0]);
        quorel::tool::printJson(quorel::parseAutoEQ(text, quorel::HeadphoneLibrary::profileName(args[0])).toJson());
    } catch (const std::exception& error) {
        return quorel::tool::fail(QString::fromUtf8(error.what()));
    }
    return 0;
}

const quorel::tool::Registration reg{{"autoeq", "autoeq FILE", &runAutoEq}};

}  // namespace
