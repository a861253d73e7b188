#include "PrivateSessionBus.h"

#include "ReadyChild.h"

namespace quorel::test {

PrivateSessionBus::PrivateSessionBus()
{
    const ReadyChild child = startReadyChild(
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address={fd}", "--address=unix:tmpdir=/tmp"},
        "dbus-daemon did not report its address");
    pid_ = child.pid;
    error_ = child.error;
    if (pid_ > 0) address_ = QString::fromUtf8(child.line);
}

PrivateSessionBus::~PrivateSessionBus() { stopChild(pid_); }

}  // namespace quorel::test
