// quorel-tool catalog-generate FOLDER --out FILE: builds the headphone catalog resource from a
// folder of AutoEq ParametricEQ files laid out as <form>/<Headphone> ParametricEQ.txt, listed
// with their measurement source in FOLDER/SOURCES.md (table columns: Headphone, Form, Source).
// Development tool: its output is committed as resources/HeadphoneProfiles.json.
#include "CommandArguments.h"
#include "Subcommand.h"

#include "AutoEqParser.h"
#include "UserFile.h"

#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <exception>

namespace {

// "Apple AirPods Pro 2 (ANC mode)" -> "autoeq.apple-airpods-pro-2-anc-mode"
QString catalogID(const QString& name)
{
    static const QRegularExpression separators(QStringLiteral("[^a-z0-9]+"));
    QString slug = name.toLower().replace(separators, QStringLiteral("-"));
    while (slug.startsWith(u'-')) slug.remove(0, 1);
    while (slug.endsWith(u'-')) slug.chop(1);
    return QStringLiteral("autoeq.") + slug;
}

int runCatalogGenerate(const QStringList& args)
{
    using quorel::tool::fail;
    const QString usage = QStringLiteral("usage: quorel-tool catalog-generate FOLDER --out FILE");
    quorel::tool::CommandArguments arguments({QCommandLineOption("out", QString(), "FILE")}, {usage, usage}, 1);
    if (arguments.read(args) || arguments.positionalArguments().isEmpty() || !arguments.isSet("out"))
        return fail(usage);
    const QDir folder(arguments.positionalArguments().first());
    const QString out = arguments.value("out");
    QJsonArray catalog;
    QSet<QString> ids;
    try {
        const QStringList lines = quorel::UserFile::readText(folder.filePath("SOURCES.md")).split(u'\n');
        for (const QString& line : lines) {
            if (!line.startsWith(QLatin1String("| "))) continue;
            const QStringList cells = line.split(u'|');
            if (cells.size() < 5) continue;
            const QString name = cells[1].trimmed();
            const QString form = cells[2].trimmed();
            const QString source = cells[3].trimmed();
            if (name == QLatin1String("Headphone") || name.startsWith(u'-')) continue;
            const QString file = folder.filePath(form + u'/' + name + QStringLiteral(" ParametricEQ.txt"));
            quorel::HeadphoneProfile profile = quorel::parseAutoEQ(quorel::UserFile::readText(file), name);
            profile.id = catalogID(name);
            profile.form = form;
            profile.source = source;
            if (ids.contains(profile.id)) return fail(QStringLiteral("Duplicate id %1").arg(profile.id));
            ids.insert(profile.id);
            catalog.append(profile.toJson());
        }
    } catch (const std::exception& error) {
        return fail(QString::fromUtf8(error.what()));
    }
    if (catalog.isEmpty()) return fail(QStringLiteral("No profiles listed in %1").arg(folder.filePath("SOURCES.md")));

    const QByteArray data = QJsonDocument(catalog).toJson(QJsonDocument::Indented);
    if (const std::optional<QString> reason = quorel::UserFile::write(out, data))
        return fail(QStringLiteral("Could not write %1: %2").arg(out, *reason));
    quorel::tool::printJson(QJsonObject{{"profiles", catalog.size()}, {"file", out}});
    return 0;
}

const quorel::tool::Registration reg{{"catalog-generate", "catalog-generate FOLDER --out FILE", &runCatalogGenerate}};

}  // namespace
