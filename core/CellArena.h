#pragma once
// Storage that only grows, for a result table's text and offsets: a few large chunks instead
// of one allocation per batch. A large table's chunks are 2 MiB-aligned and offered to the
// kernel for huge pages, so filling it costs one page fault per 2 MiB rather than per 4 KiB:
// on a virtual machine a fresh small page can cost as much as tokenising the bytes stored in it.

#include <cstddef>
#include <memory>
#include <vector>

class CellArena {
public:
    CellArena() = default;
    CellArena(const CellArena&) = delete;
    CellArena& operator=(const CellArena&) = delete;
    CellArena(CellArena&&) noexcept = default;
    CellArena& operator=(CellArena&&) noexcept = default;

    // At least bytes of writable room at the free end; nothing is kept until Commit. When the
    // current chunk is short, a new one is started and the first carry bytes already written
    // at the free end are copied across, so a caller may write on before knowing the total.
    char* Room(size_t bytes, size_t carry = 0);
    // Bytes left at the free end of the current chunk.
    size_t Left() const { return chunks.empty() ? 0 : chunks.back().Size - chunks.back().Used; }
    // The first bytes of the room are kept; they never move while the arena lives.
    void Commit(size_t bytes) { chunks.back().Used += bytes; }
    // Bytes kept.
    size_t Kept() const { return kept + (chunks.empty() ? 0 : chunks.back().Used); }
    void Clear();

private:
    struct Release {
        size_t Mapped = 0; // 0: from malloc
        void operator()(char* memory) const;
    };
    struct Chunk {
        std::unique_ptr<char, Release> Memory;
        size_t Size = 0;
        size_t Used = 0;
    };
    static Chunk NewChunk(size_t bytes);

    std::vector<Chunk> chunks;
    size_t kept = 0; // in the chunks before the current one
};
