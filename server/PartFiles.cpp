#include "server/PartFiles.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// Fixed storage: the handler may only read memory that is never reallocated.
constexpr int Slots = 32;
constexpr size_t LongestPath = 4096;
char paths[Slots][LongestPath];
// Free, claimed and being filled, or holding a path the handler removes.
enum State : int { Free, Filling, Held };
std::atomic<int> states[Slots];
static_assert(std::atomic<int>::is_always_lock_free);

void OnStop(int signal) {
    for (int i = 0; i < Slots; ++i) {
        if (states[i].load(std::memory_order_acquire) == Held) {
            ::unlink(paths[i]);
        }
    }
    // Ended by the signal itself, as the parent expects of a process stopped this way.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void RemovePartFilesOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

PartFile::PartFile(const std::string& path) {
    if (path.size() >= LongestPath) {
        return;
    }
    for (int i = 0; i < Slots; ++i) {
        int expected = Free;
        // Claimed first, filled, then shown to the handler: a slot is never read half written.
        if (states[i].compare_exchange_strong(expected, Filling, std::memory_order_acquire)) {
            std::memcpy(paths[i], path.c_str(), path.size() + 1);
            states[i].store(Held, std::memory_order_release);
            slot = i;
            return;
        }
    }
}

PartFile::~PartFile() {
    if (slot >= 0) {
        states[slot].store(Free, std::memory_order_release);
    }
}
