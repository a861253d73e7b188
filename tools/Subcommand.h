#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <functional>
#include <vector>

namespace quorel::tool {

// One subcommand of quorel-tool. `run` gets the arguments after the subcommand's name and
// returns the process exit status: JSON goes to standard output, messages to standard error.
struct Subcommand {
    const char* name;
    const char* usage;
    std::function<int(const QStringList& args)> run;
};

// Registers a subcommand at static-initialisation time; each subcommand file holds one:
//   static const quorel::tool::Registration reg{{"render", "render --in ...", &runRender}};
struct Registration {
    explicit Registration(Subcommand command);
};

const std::vector<Subcommand>& subcommands();

// Shared output helpers.
void printJson(const QJsonObject& object);
void printJson(const QJsonArray& array);
int fail(const QString& message);  // prints the message on standard error, returns 1

}  // namespace quorel::tool
