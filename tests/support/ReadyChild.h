#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

#include <sys/types.h>

namespace quorel::test {

// A helper program started for a test that writes one line to a pipe once it is ready (its bus
// address, its display number): dbus-daemon, Xvfb.
struct ReadyChild {
    pid_t pid = -1;   // -1 when it could not be started or never got ready
    QByteArray line;  // the line it wrote, trimmed
    QString error;    // why not, when pid is -1
};

// Starts `arguments` (the program first, found on PATH) with standard input, output and error on
// /dev/null; "{fd}" within an argument stands for the number of the pipe's write end. Waits up
// to 30 s (generous: a loaded machine is slow) for a whole line; otherwise stops the child and
// gives `notReady` as the error.
ReadyChild startReadyChild(const std::vector<std::string>& arguments, const QString& notReady);

// Stops the child: SIGTERM, up to 5 s to exit, then SIGKILL. Sets `pid` to -1.
void stopChild(pid_t& pid);

}  // namespace quorel::test
