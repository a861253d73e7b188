#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quorel::tool {

// The options of a command, read by one QCommandLineParser and faulted in the command's own
// words. Given twice, an option's last value counts; values() holds every one of them.
class CommandArguments {
public:
    // What a command says about a fault; "%1", where a form has it, is the argument as given. A
    // command that answers every fault with its usage line gives that line for both.
    struct Messages {
        QString unknownOption;  // also an option given a value it does not take, or an argument too many
        QString missingValue;
    };

    // `positionals` is how many arguments that are not options the command takes.
    CommandArguments(const QList<QCommandLineOption>& options, Messages messages, qsizetype positionals = 0);

    // Reads the arguments after the command's name; the message of its first fault, if any.
    std::optional<QString> read(const QStringList& args);

    bool isSet(const QString& option) const { return parser_.isSet(option); }
    QString value(const QString& option) const { return parser_.value(option); }
    QStringList values(const QString& option) const { return parser_.values(option); }
    QStringList positionalArguments() const { return parser_.positionalArguments(); }

private:
    QString fault(const QStringList& args) const;

    QCommandLineParser parser_;
    QList<QCommandLineOption> options_;
    Messages messages_;
    qsizetype positionals_;
};

}  // namespace quorel::tool
