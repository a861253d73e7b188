#include "RawToolRun.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorel::test {

RawToolRun runToolRaw(const std::vector<QByteArray>& arguments, const QString& configHome, int timeoutSeconds)
{
    RawToolRun run;
    QTemporaryDir capture;
    const QByteArray outPath = QFile::encodeName(capture.filePath("out"));
    const QByteArray errPath = QFile::encodeName(capture.filePath("err"));
    const QByteArray tool = QFile::encodeName(quorel::test::buildPath("tools/quorel-tool"));
    const QByteArray config = QFile::encodeName(configHome);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.constData()));
    for (const QByteArray& a : arguments) argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
        const int out = ::open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("XDG_CONFIG_HOME", config.constData(), 1);
        ::setenv("LANG", "C.UTF-8", 1);
        ::execv(tool.constData(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) {
            run.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.exitCode = run.finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKiB = usage.ru_maxrss;
    QFile out(QFile::decodeName(outPath)), err(QFile::decodeName(errPath));
    if (out.open(QIODevice::ReadOnly)) run.out = out.readAll();
    if (err.open(QIODevice::ReadOnly)) run.err = err.readAll();
    return run;
}

}  // namespace quorel::test
