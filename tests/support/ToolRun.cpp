#include "ToolRun.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>

#include <csignal>

#include <sys/resource.h>

namespace quorel::test {

QJsonObject ToolRun::json() const { return QJsonDocument::fromJson(out).object(); }

QString ToolRun::errors() const { return QString::fromUtf8(err).trimmed(); }

ToolRun runTool(const QStringList& arguments, const QString& configHome, long fileSizeLimit)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    return runTool(arguments, environment, fileSizeLimit);
}

ToolRun runTool(const QStringList& arguments, const QProcessEnvironment& environment, long fileSizeLimit)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QProcess process;
    process.setProcessEnvironment(environment);
    if (fileSizeLimit > 0) {
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    process.start(buildPath("tools/quorel-tool"), arguments);
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = "quorel-tool did not finish normally: " + process.errorString().toUtf8();
        return run;
    }
    run.milliseconds = elapsed.elapsed();
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

}  // namespace quorel::test
