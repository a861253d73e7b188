#include "RunArguments.h"

#include "Subcommand.h"

#include <cmath>

namespace quorel::tool {

namespace {

QList<QCommandLineOption> runOptions(const QList<QCommandLineOption>& ownOptions)
{
    return QList<QCommandLineOption>{QCommandLineOption(QStringLiteral("seconds"), QString(), QStringLiteral("N")),
                                     QCommandLineOption(QStringLiteral("output"), QString(), QStringLiteral("UID"))}
           + ownOptions;
}

// Every fault of the arguments themselves is answered with the usage line.
CommandArguments::Messages usageForEveryFault(const char* usage)
{
    const QString line = QStringLiteral("usage: quorel-tool ") + QString::fromLatin1(usage);
    return {line, line};
}

}  // namespace

RunArguments::RunArguments(const char* name, const char* usage, const QList<QCommandLineOption>& ownOptions)
    : name_(QString::fromLatin1(name)), arguments_(runOptions(ownOptions), usageForEveryFault(usage))
{
}

std::optional<int> RunArguments::read(const QStringList& args)
{
    if (const std::optional<QString> fault = arguments_.read(args)) return fail(*fault);
    for (const QString& value : arguments_.values(QStringLiteral("seconds"))) {
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
    if (!arguments_.isSet(QStringLiteral("output"))) return std::nullopt;
    return arguments_.value(QStringLiteral("output"));
}

}  // namespace quorel::tool
