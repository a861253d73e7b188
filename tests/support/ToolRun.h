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
// (XDG_CONFIG_HOME) and English as the process language. A `fileSizeLimit` above 0 caps the
// size of every file the tool writes (RLIMIT_FSIZE, SIGXFSZ ignored), so a write fails part-way.
ToolRun runTool(const QStringList& arguments, const QString& configHome, long fileSizeLimit = 0);

}  // namespace quorel::test
