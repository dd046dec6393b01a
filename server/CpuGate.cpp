#include "server/CpuGate.h"

CpuGate::CpuGate(int places) : free(places > 0 ? places : 1) {}

void CpuGate::Acquire() {
    std::unique_lock lock(mutex);
    // A free place goes to a newcomer only when nobody queues for it, so no one is overtaken.
    if (free > 0 && queue.empty()) {
        --free;
        return;
    }
    Waiter self;
    queue.push_back(&self);
    waiting.store(static_cast<int>(queue.size()), std::memory_order_relaxed);
    self.Wake.wait(lock, [&] { return self.Granted; });
}

void CpuGate::Release() {
    std::lock_guard lock(mutex);
    if (queue.empty()) {
        ++free;
        return;
    }
    // Handed over directly: the place never becomes free for a newcomer to snatch.
    Waiter* next = queue.front();
    queue.pop_front();
    waiting.store(static_cast<int>(queue.size()), std::memory_order_relaxed);
    next->Granted = true;
    next->Wake.notify_one();
}
