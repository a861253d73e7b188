#include "CommandArguments.h"

namespace quorel::tool {

namespace {

// "--name=value" -> "name"
QString nameIn(const QString& argument)
{
    qsizetype start = 0;
    while (start < argument.size() && argument[start] == u'-') ++start;
    const qsizetype equals = argument.indexOf(u'=', start);
    return argument.mid(start, equals < 0 ? -1 : equals - start);
}

// A message form with the argument in place of "%1", if it has one.
QString filled(const QString& form, const QString& argument)
{
    return form.contains(QLatin1String("%1")) ? form.arg(argument) : form;
}

}  // namespace

CommandArguments::CommandArguments(const QList<QCommandLineOption>& options, Messages messages, qsizetype positionals)
    : options_(options), messages_(std::move(messages)), positionals_(positionals)
{
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.addOptions(options_);
}

std::optional<QString> CommandArguments::read(const QStringList& args)
{
    // The parser takes the program's name first.
    if (!parser_.parse(QStringList{QString()} + args)) return fault(args);
    const QStringList positional = parser_.positionalArguments();
    if (positional.size() > positionals_) return filled(messages_.unknownOption, positional[positionals_]);
    return std::nullopt;
}

// The parser says only that the arguments are wrong; the first wrong one, as the user wrote it.
QString CommandArguments::fault(const QStringList& args) const
{
    const QStringList unknown = parser_.unknownOptionNames();
    for (const QString& argument : args) {
        if (!argument.startsWith(u'-') || argument == u'-') continue;
        const QString name = nameIn(argument);
        if (!unknown.isEmpty() && name == unknown.first()) return filled(messages_.unknownOption, argument);
        if (!unknown.isEmpty()) continue;
        for (const QCommandLineOption& option : options_)
            if (option.names().contains(name) && option.valueName().isEmpty() && argument.contains(u'='))
                return filled(messages_.unknownOption, argument);
    }
    // Else the last option lacks its value: the parser takes the argument after an option that
    // wants one as its value, whatever it is.
    return filled(messages_.missingValue, args.last());
}

}  // namespace quorel::tool
