#include "engine/cancel_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

CancelSignal::CancelSignal() : fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CancelSignal::~CancelSignal()
{
    if (fd >= 0)
        ::close(fd);
}

void CancelSignal::Raise()
{
    std::lock_guard lock(mutex);
    if (raised.exchange(true, std::memory_order_acq_rel))
        return;
    const std::uint64_t one = 1;
    // Should the write fail, the flag alone still stops the copy loops between chunks.
    if (fd >= 0 && ::write(fd, &one, sizeof one) != ssize_t(sizeof one))
        return;
}

void CancelSignal::Reset()
{
    std::lock_guard lock(mutex);
    std::uint64_t count;
    while (fd >= 0 && ::read(fd, &count, sizeof count) > 0) {
        // the count is back at zero: the eventfd no longer reads as ready
    }
    raised.store(false, std::memory_order_release);
}
