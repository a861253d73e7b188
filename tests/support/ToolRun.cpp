#include "ToolRun.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace quorel::test {

ToolRun runTool(const QStringList& arguments, const QString& configHome)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("QUOREL_BINARY_DIR") + QStringLiteral("/tools/quorel-tool"), arguments);
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = "quorel-tool did not finish normally: " + process.errorString().toUtf8();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

}  // namespace quorel::test
