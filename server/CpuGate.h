#pragma once
// How many queries run on the processor at once, handed out in arrival order. A running query
// that has had its slice while others wait gives its place to the first of them and queues
// again behind the last, so a long scan delays a short query by a few slices, never by its own
// length.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

class CpuGate {
public:
    explicit CpuGate(int places);
    CpuGate(const CpuGate&) = delete;
    CpuGate& operator=(const CpuGate&) = delete;

    // Blocks until the caller holds a place.
    void Acquire();
    // Gives the place to the longest waiter, or frees it.
    void Release();
    // True while someone waits for a place: only then is a slice worth giving up.
    bool Contended() const { return Waiting() > 0; }
    int Waiting() const { return waiting.load(std::memory_order_relaxed); }

private:
    struct Waiter {
        std::condition_variable Wake;
        bool Granted = false;
    };
    std::mutex mutex;
    int free;
    std::deque<Waiter*> queue;
    std::atomic<int> waiting{0};
};
