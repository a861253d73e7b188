#pragma once

#include "CommandArguments.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quorel::tool {

// The arguments of a command that runs for a while and then stops (capture, system): "--seconds N"
// (required, a positive number) and "--output UID", which such commands share, and the command's
// own options. Given twice, an option's last value counts.
class RunArguments {
public:
    // `usage` is the command's usage line, which begins with its `name`.
    RunArguments(const char* name, const char* usage, const QList<QCommandLineOption>& ownOptions);

    // Reads the arguments after the command's name. On a fault prints its message on standard
    // error and returns the exit status: the usage for an unknown option, an option missing its
    // value or any other argument.
    std::optional<int> read(const QStringList& args);

    double seconds() const { return seconds_; }
    std::optional<QString> output() const;
    bool isSet(const QString& option) const { return arguments_.isSet(option); }
    QStringList values(const QString& option) const { return arguments_.values(option); }

private:
    QString name_;
    CommandArguments arguments_;
    double seconds_ = 0;
};

}  // namespace quorel::tool
