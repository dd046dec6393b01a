#include "core/CellArena.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace {

constexpr size_t FirstChunk = 64 * 1024;
constexpr size_t HugePage = 2 * 1024 * 1024;
// From this size on a chunk is a run of huge pages: a table that asks for this much at once
// is receiving a large result, and the last huge page's unused part is a small share of it.
constexpr size_t HugeFrom = 512 * 1024;
constexpr size_t LargestStep = 64 * 1024 * 1024;

size_t RoundUp(size_t bytes, size_t step) {
    return (bytes + step - 1) / step * step;
}

} // namespace

void CellArena::Release::operator()(char* memory) const {
    if (Mapped != 0) {
        munmap(memory, Mapped);
    } else {
        std::free(memory);
    }
}

CellArena::Chunk CellArena::NewChunk(size_t bytes) {
    if (bytes < HugeFrom) {
        auto* memory = static_cast<char*>(std::malloc(bytes));
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        return {std::unique_ptr<char, Release>(memory, Release{}), bytes, 0};
    }
    // Mapped with a huge page's worth to spare, then trimmed to an aligned run: only whole
    // aligned 2 MiB runs can be backed by huge pages.
    const size_t size = RoundUp(bytes, HugePage);
    void* mapped =
        mmap(nullptr, size + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    auto* start = static_cast<char*>(mapped);
    auto* aligned = reinterpret_cast<char*>(RoundUp(reinterpret_cast<uintptr_t>(start), HugePage));
    if (aligned != start) {
        munmap(start, static_cast<size_t>(aligned - start));
    }
    const size_t tail = HugePage - static_cast<size_t>(aligned - start);
    if (tail != 0) {
        munmap(aligned + size, tail);
    }
#ifdef MADV_HUGEPAGE
    // Advice only: where huge pages are off, the chunk is filled page by page as before.
    madvise(aligned, size, MADV_HUGEPAGE);
#endif
    return {std::unique_ptr<char, Release>(aligned, Release{size}), size, 0};
}

char* CellArena::Room(size_t bytes, size_t carry) {
    if (!chunks.empty() && Left() >= bytes) {
        return chunks.back().Memory.get() + chunks.back().Used;
    }
    // Each chunk at least doubles what the table holds, up to a step: a table of a few rows
    // costs a few pages, one of a million rows a few hundred chunks.
    const size_t step = std::clamp(Kept(), FirstChunk, LargestStep);
    Chunk chunk = NewChunk(std::max(bytes, step));
    if (carry != 0 && !chunks.empty()) {
        std::memcpy(chunk.Memory.get(), chunks.back().Memory.get() + chunks.back().Used, carry);
    }
    kept = Kept();
    chunks.push_back(std::move(chunk));
    return chunks.back().Memory.get();
}

void CellArena::Clear() {
    std::vector<Chunk>().swap(chunks);
    kept = 0;
}
