#include "XvfbServer.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quorel::test {

XvfbServer::XvfbServer()
{
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    // Everything the child needs is prepared before fork: only exec-safe calls after it.
    const std::string fd = std::to_string(fds[1]);
    const char* arguments[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
                               "-noreset", nullptr};
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
        execvp("Xvfb", const_cast<char* const*>(arguments));
        _exit(127);
    }
    close(fds[1]);
    pid_ = pid;
    QByteArray number;
    // Generous: a loaded machine takes a while to compile the keymap.
    for (int waited = 0; waited < 30000 && !number.endsWith('\n');) {
        pollfd entry{fds[0], POLLIN, 0};
        const int ready = poll(&entry, 1, 100);
        if (ready < 0 && errno != EINTR) break;
        waited += 100;
        if (ready <= 0) continue;
        char buffer[32];
        const ssize_t count = read(fds[0], buffer, sizeof buffer);
        if (count <= 0) break;
        number.append(buffer, int(count));
    }
    close(fds[0]);
    if (!number.endsWith('\n')) {
        error_ = "Xvfb did not report its display";
        stop();
        return;
    }
    display_ = ":" + QString::fromLatin1(number.trimmed());
}

XvfbServer::~XvfbServer() { stop(); }

void XvfbServer::stop()
{
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        usleep(50000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

}  // namespace quorel::test
