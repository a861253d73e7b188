// quorel-tool feed FILE [--public-key BASE64]: verifies and reads an update feed as the update
// check does, and says whether it offers a build newer than this one.
#include "CommandArguments.h"
#include "Subcommand.h"

#include "ProductInfo.h"
#include "UpdateChecker.h"
#include "UserFile.h"

#include <exception>

namespace {

int runFeed(const QStringList& args)
{
    const QString usage = QStringLiteral("usage: quorel-tool feed FILE [--public-key BASE64]");
    quorel::tool::CommandArguments arguments({QCommandLineOption("public-key", QString(), "BASE64")}, {usage, usage},
                                             1);
    if (arguments.read(args) || arguments.positionalArguments().isEmpty()) return quorel::tool::fail(usage);
    const QString file = arguments.positionalArguments().first();
    const QString key =
        arguments.isSet("public-key") ? arguments.value("public-key") : quorel::UpdateChecker::builtInPublicKey();
    try {
        const QByteArray bytes = quorel::UserFile::readText(file).toUtf8();
        const quorel::UpdateChecker::Release release = quorel::UpdateChecker::parse(bytes, key);
        const qint64 running = quorel::ProductInfo::build();
        quorel::tool::printJson(QJsonObject{
            {"version", release.version},
            {"build", release.build},
            {"url", release.url.toString()},
            {"notes", release.notes},
            {"minimumSystemVersion", release.minimumSystemVersion},
            {"runningBuild", running},
            {"newer", release.build > running},
        });
    } catch (const std::exception& error) {
        return quorel::tool::fail(QString::fromUtf8(error.what()));
    }
    return 0;
}

const quorel::tool::Registration reg{{"feed", "feed FILE [--public-key BASE64]", &runFeed}};

}  // namespace
