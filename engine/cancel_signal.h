#pragma once

#include <atomic>
#include <mutex>

// A cancel request that any thread may raise and that ends every wait of the engine at once:
// an atomic flag for the loops to test, and an eventfd that each poll() watches beside its
// socket. It stays raised until Reset(), so every wait after it ends at once as well.
class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void Raise();
    void Reset();
    bool IsRaised() const { return raised.load(std::memory_order_acquire); }
    // Readable while raised; -1 when the eventfd could not be made (the flag still works,
    // but a wait then ends only at its limit).
    int Fd() const { return fd; }

private:
    std::atomic<bool> raised{false};
    std::mutex mutex;  // keeps the flag and the eventfd's count in agreement
    int fd = -1;
};
