#include "ReadyChild.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorel::test {

ReadyChild startReadyChild(const std::vector<std::string>& arguments, const QString& notReady)
{
    ReadyChild child;
    int fds[2];
    if (pipe(fds) != 0) {
        child.error = "pipe failed";
        return child;
    }
    // Everything the child needs is prepared before fork: only exec-safe calls after it.
    const std::string fd = std::to_string(fds[1]);
    std::vector<std::string> expanded = arguments;
    for (std::string& argument : expanded)
        if (const std::size_t at = argument.find("{fd}"); at != std::string::npos) argument.replace(at, 4, fd);
    std::vector<char*> argv;
    for (std::string& argument : expanded) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        child.error = "fork failed";
        return child;
    }
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    child.pid = pid;
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
        child.error = notReady;
        stopChild(child.pid);
        return child;
    }
    child.line = line.trimmed();
    return child;
}

void stopChild(pid_t& pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        usleep(50000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    pid = -1;
}

}  // namespace quorel::test
