#include "StopSignals.h"

#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace quorel::tool {

namespace {

int stopPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: one write to the pipe.
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

}  // namespace

StopSignals::StopSignals()
{
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    char byte = 0;
    while (::read(stopPipe[0], &byte, 1) == 1) {}  // what an earlier run left
    notifier_ = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char byte = 0;
        while (::read(stopPipe[0], &byte, 1) == 1) {}
        if (requested_) return;
        requested_ = true;
        if (onStop_) onStop_();
    });
    std::signal(SIGINT, &onSignal);
    std::signal(SIGTERM, &onSignal);
}

StopSignals::~StopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

}  // namespace quorel::tool
