#include "RunArguments.h"

#include "Subcommand.h"

#include <cmath>

namespace quorel::tool {

RunArguments::RunArguments(const char* name, const char* usage, const QList<QCommandLineOption>& ownOptions)
    : name_(QString::fromLatin1(name)), usage_(QString::fromLatin1(usage))
{
    parser_.addOption(QCommandLineOption(QStringLiteral("seconds"), QString(), QStringLiteral("N")));
    parser_.addOption(QCommandLineOption(QStringLiteral("output"), QString(), QStringLiteral("UID")));
    parser_.addOptions(ownOptions);
}

std::optional<int> RunArguments::read(const QStringList& args)
{
    // The parser takes the program's name first.
    if (!parser_.parse(QStringList{name_} + args) || !parser_.positionalArguments().isEmpty())
        return fail(QStringLiteral("usage: quorel-tool ") + usage_);
    for (const QString& value : parser_.values(QStringLiteral("seconds"))) {
        bool ok = false;
        seconds_ = value.toDouble(&ok);  // QString::toDouble reads the C locale
        if (!ok || !std::isfinite(seconds_) || seconds_ <= 0)
            return fail(QStringLiteral("--seconds needs a positive number of seconds"));
    }
    if (seconds_ <= 0) return fail(QStringLiteral("%1 needs --seconds N").arg(name_));
    return std::nullopt;
}

std::optional<QString> RunArguments::output() const
{
    if (!parser_.isSet(QStringLiteral("output"))) return std::nullopt;
    return parser_.value(QStringLiteral("output"));
}

}  // namespace quorel::tool
