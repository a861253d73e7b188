#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorel::test {

TemporaryHome::TemporaryHome()
{
    hadConfig_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    previousConfig_ = qgetenv("XDG_CONFIG_HOME");
    hadState_ = qEnvironmentVariableIsSet("XDG_STATE_HOME");
    previousState_ = qgetenv("XDG_STATE_HOME");
    QDir(dir_.path()).mkpath("config");
    QDir(dir_.path()).mkpath("state");
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_STATE_HOME", (dir_.path() + "/state").toUtf8());
    // QSettings caches the user scope path; point it at the new home explicitly.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome());
}

TemporaryHome::~TemporaryHome()
{
    if (hadConfig_)
        qputenv("XDG_CONFIG_HOME", previousConfig_);
    else
        qunsetenv("XDG_CONFIG_HOME");
    if (hadState_)
        qputenv("XDG_STATE_HOME", previousState_);
    else
        qunsetenv("XDG_STATE_HOME");
}

ProcessLocale::ProcessLocale(const char* name)
{
    previous_ = std::setlocale(LC_ALL, nullptr);
    active_ = std::setlocale(LC_ALL, name) != nullptr;
}

ProcessLocale::~ProcessLocale() { std::setlocale(LC_ALL, previous_.constData()); }

QString TemporaryHome::configHome() const { return dir_.path() + "/config"; }

QString testDataPath(const QString& relative) { return QStringLiteral(QUOREL_TEST_DATA_DIR "/") + relative; }

QString sourcePath(const QString& relative) { return QStringLiteral(QUOREL_SOURCE_DIR "/") + relative; }

QString buildPath(const QString& relative) { return QStringLiteral(QUOREL_BINARY_DIR "/") + relative; }

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray fileBytes(std::FILE* file)
{
    std::rewind(file);
    QByteArray bytes;
    char chunk[256];
    while (const size_t n = std::fread(chunk, 1, sizeof chunk, file)) bytes.append(chunk, qsizetype(n));
    return bytes;
}

bool setImmutable(const QString& path, bool immutable)
{
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"), {immutable ? QStringLiteral("+i") : QStringLiteral("-i"), path});
    return chattr.waitForFinished(10000) && chattr.exitStatus() == QProcess::NormalExit && chattr.exitCode() == 0;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMS)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > scaledWait(timeoutMS)) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void processEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

int exitCodeWithFileSizeLimit(long bytes, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int exitCodeWithin(int seconds, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) ::_exit(body());
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR) return -1;
        if (clock.hasExpired(qint64(seconds) * 1000)) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
            return -1;
        }
        ::usleep(10000);
    }
}

}  // namespace quorel::test
