#pragma once
// Counts the heap allocations made through operator new in this test program, so a test can
// bound how many one operation makes.

#include <atomic>
#include <cstddef>

extern std::atomic<size_t> AllocationCount;

// The allocations made while the object lives.
class AllocationsDuring {
public:
    AllocationsDuring() : start(AllocationCount.load()) {}
    size_t Count() const { return AllocationCount.load() - start; }

private:
    size_t start;
};
