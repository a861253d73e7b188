#include "PrivateSessionBus.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quorel::test {

PrivateSessionBus::PrivateSessionBus()
{
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    const std::string printAddress = "--print-address=" + std::to_string(fds[1]);
    const char* arguments[] = {"dbus-daemon", "--session", "--nofork", "--nopidfile", printAddress.c_str(),
                               "--address=unix:tmpdir=/tmp", nullptr};
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        error_ = "fork failed";
        return;
    }
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execvp("dbus-daemon", const_cast<char* const*>(arguments));
        _exit(127);
    }
    close(fds[1]);
    pid_ = pid;
    QByteArray line;
    for (int waited = 0; waited < 30000 && !line.endsWith('\n');) {
        pollfd entry{fds[0], POLLIN, 0};
        const int ready = poll(&entry, 1, 100);
        if (ready < 0 && errno != EINTR) break;
        waited += 100;
        if (ready <= 0) continue;
        char buffer[256];
        const ssize_t count = read(fds[0], buffer, sizeof buffer);
        if (count <= 0) break;
        line.append(buffer, int(count));
    }
    close(fds[0]);
    if (!line.endsWith('\n')) {
        error_ = "dbus-daemon did not report its address";
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return;
    }
    address_ = QString::fromUtf8(line.trimmed());
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

}  // namespace quorel::test
