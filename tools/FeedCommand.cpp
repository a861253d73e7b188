// quorel-tool feed FILE [--public-key BASE64]: verifies and reads an update feed as the update
// check does, and says whether it offers a build newer than this one.
#include "Subcommand.h"

#include "ProductInfo.h"
#include "UpdateChecker.h"
#include "UserFile.h"

#include <exception>
#include <optional>

namespace {

int runFeed(const QStringList& args)
{
    const QString usage = QStringLiteral("usage: quorel-tool feed FILE [--public-key BASE64]");
    std::optional<QString> file;
    QString key = quorel::UpdateChecker::builtInPublicKey();
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--public-key")) {
            if (++i == args.size()) return quorel::tool::fail(usage);
            key = args[i];
        } else if (!file && !args[i].startsWith(QLatin1String("--"))) {
            file = args[i];
        } else {
            return quorel::tool::fail(usage);
        }
    }
    if (!file) return quorel::tool::fail(usage);
    try {
        const QByteArray bytes = quorel::UserFile::readText(*file).toUtf8();
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
