#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorel::test {

// The outcome of one run of quorel-tool.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the quorel-tool of this build with `arguments`, its settings store under `configHome`
// (XDG_CONFIG_HOME) and English as the process language.
ToolRun runTool(const QStringList& arguments, const QString& configHome);

}  // namespace quorel::test
