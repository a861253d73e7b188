#include "CycleSignal.h"

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace quorel {

CycleSignal::CycleSignal() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CycleSignal::~CycleSignal()
{
    if (fd_ >= 0) close(fd_);
}

void CycleSignal::arm()
{
    take();
    armed_.store(true, std::memory_order_release);
}

bool CycleSignal::take()
{
    if (fd_ < 0) return false;
    uint64_t count = 0;
    return read(fd_, &count, sizeof count) == ssize_t(sizeof count) && count > 0;
}

void CycleSignal::tell()
{
    if (fd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

}  // namespace quorel
