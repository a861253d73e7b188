// quorel-tool catalog: the built-in headphone catalog as a JSON array.
#include "Subcommand.h"

#include "HeadphoneCatalog.h"

namespace {

int runCatalog(const QStringList& args)
{
    if (!args.isEmpty()) return quorel::tool::fail(QStringLiteral("usage: quorel-tool catalog"));
    QJsonArray list;
    for (const quorel::HeadphoneProfile& profile : quorel::HeadphoneCatalog::all()) list.append(profile.toJson());
    quorel::tool::printJson(list);
    return 0;
}

const quorel::tool::Registration reg{{"catalog", "catalog", &runCatalog}};

}  // namespace
