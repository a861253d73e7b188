#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace quorel::test {

// The outcome of one run of quorel-tool.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 milliseconds = 0;  // from the start to the end of the process

    QJsonObject json() const;  // standard output as one JSON object (empty when it is not one)
    QString errors() const;    // standard error as text, trimmed
};

// Runs the quorel-tool of this build with `arguments`, its settings store under `configHome`
// (XDG_CONFIG_HOME) and English as the process language. A `fileSizeLimit` above 0 caps the
// size of every file the tool writes (RLIMIT_FSIZE, SIGXFSZ ignored), so a write fails part-way.
ToolRun runTool(const QStringList& arguments, const QString& configHome, long fileSizeLimit = 0);
// The same with the child's whole environment given (the settings store is where it says).
ToolRun runTool(const QStringList& arguments, const QProcessEnvironment& environment, long fileSizeLimit = 0);

}  // namespace quorel::test
