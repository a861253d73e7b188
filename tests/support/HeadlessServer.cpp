#include "HeadlessServer.h"

#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <cstdio>

namespace quorel::test {

HeadlessServer::HeadlessServer(int quantum)
{
    QProcess script;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUOREL_HEADLESS_QUANTUM", QString::number(quantum));
    script.setProcessEnvironment(environment);
    script.start(sourcePath("scripts/pipewire-headless"), {"start"});
    if (!script.waitForFinished(90000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
        error_ = QString::fromUtf8(script.readAllStandardError()).trimmed();
        if (error_.isEmpty()) error_ = "pipewire-headless start failed";
        return;
    }
    static const QRegularExpression line(R"(^export ([A-Z_]+)=(.*)$)");
    for (const QString& text : QString::fromUtf8(script.readAllStandardOutput()).split('\n')) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch()) continue;
        const QByteArray name = match.captured(1).toUtf8();
        previous_.emplace_back(name, qEnvironmentVariableIsSet(name.constData())
                                         ? std::optional<QByteArray>(qgetenv(name.constData()))
                                         : std::nullopt);
        qputenv(name.constData(), match.captured(2).toUtf8());
        if (match.captured(1) == "QUOREL_HEADLESS_DIR") directory_ = match.captured(2);
    }
}

HeadlessServer::~HeadlessServer() { stop(); }

void HeadlessServer::stop()
{
    if (directory_.isEmpty()) return;
    // Said, so that a check that failed with it can name the server's own fault.
    if (processPid("pipewire") <= 0)
        std::fprintf(stderr,
                     "PipeWire's daemon of %s was not running when the server stopped: it crashed (the kernel "
                     "log says where), unless the test stopped it\n",
                     qPrintable(directory_));
    QProcess::execute(sourcePath("scripts/pipewire-headless"), {"stop", directory_});
    directory_.clear();
    for (auto it = previous_.rbegin(); it != previous_.rend(); ++it) {
        if (it->second)
            qputenv(it->first.constData(), *it->second);
        else
            qunsetenv(it->first.constData());
    }
    previous_.clear();
}

qint64 HeadlessServer::sessionManagerPid() { return processPid("wireplumber"); }

qint64 HeadlessServer::processPid(const QString& command)
{
    QFile pids(qEnvironmentVariable("QUOREL_HEADLESS_DIR") + "/pids");
    if (!pids.open(QIODevice::ReadOnly)) return 0;
    qint64 found = 0;
    for (const QByteArray& line : pids.readAll().split('\n')) {
        QFile name("/proc/" + QString::fromLatin1(line.trimmed()) + "/comm");
        if (!line.trimmed().isEmpty() && name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == command.toUtf8())
            found = line.trimmed().toLongLong();  // the newest one
    }
    return found;
}

qint64 HeadlessServer::startProcess(const QString& program)
{
    const QString directory = qEnvironmentVariable("QUOREL_HEADLESS_DIR");
    QProcess process;
    process.setProgram(program);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(directory + "/logs/" + program + "-restarted.log");
    process.setStandardErrorFile(directory + "/logs/" + program + "-restarted.log");
    qint64 pid = 0;
    if (!process.startDetached(&pid)) return 0;
    QFile pids(directory + "/pids");
    if (pids.open(QIODevice::Append)) pids.write(QByteArray::number(pid) + "\n");
    return pid;
}

bool HeadlessServer::restartDaemons(int quantum)
{
    for (const QString& command : {QString("pipewire-pulse"), QString("wireplumber"), QString("pipewire")}) {
        const qint64 pid = processPid(command);
        if (pid <= 0) continue;
        ::kill(pid_t(pid), SIGKILL);
        if (!waitUntil([&] { return !QFile::exists("/proc/" + QString::number(pid)); })) return false;
    }
    bool answers = false;
    const auto answering = [&](const QString& program, const QStringList& arguments) {
        return waitUntil(
            [&] {
                run(program, arguments, &answers, 2000);
                return answers;
            },
            30000);
    };
    // The socket of the crashed daemon stays behind: it is the answer that tells.
    if (startProcess("pipewire") <= 0 || !answering("pw-cli", {"info", "0"})) return false;
    if (startProcess("wireplumber") <= 0 || startProcess("pipewire-pulse") <= 0 || !answering("pactl", {"info"}))
        return false;
    run("pw-metadata", {"-n", "settings", "0", "clock.force-quantum", QString::number(quantum)}, &answers);
    return answers;
}

bool HeadlessServer::startAgainWithTheSpeaker(int quantum)
{
    return restartDaemons(quantum) && QProcess::execute(sourcePath("scripts/pipewire-headless"), {"speaker"}) == 0;
}

bool DaemonWatch::crashed() const { return pid_ > 0 && !QFile::exists("/proc/" + QString::number(pid_)); }

QString run(const QString& program, const QStringList& arguments, bool* ok, int timeoutMS)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(scaledWait(timeoutMS));
    if (!finished) {
        process.kill();
        process.waitForFinished(2000);
    }
    if (ok) *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

}  // namespace quorel::test
