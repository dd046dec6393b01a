#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/CellArena.h"

// Kept bytes never move however the arena grows; a run written before its length was known
// moves to a new chunk whole when it outgrows the current one.
TEST(CellArena, KeptBytesStayPutAndARunCarriesAcrossChunks) {
    CellArena arena;
    EXPECT_EQ(arena.Kept(), 0u);
    std::vector<std::pair<const char*, std::string>> kept;
    size_t total = 0;
    for (int i = 0; i < 300; ++i) {
        const std::string text(static_cast<size_t>(1 + i * 97 % 5000),
                               static_cast<char>('a' + i % 26));
        // Half the runs ask for a little room, write part, then ask for the whole with the part
        // carried along.
        char* at = arena.Room(i % 2 == 0 ? text.size() : 16);
        size_t written = 0;
        if (i % 2 != 0) {
            written = std::min<size_t>(16, text.size());
            std::memcpy(at, text.data(), written);
            at = arena.Room(text.size(), written);
        }
        std::memcpy(at + written, text.data() + written, text.size() - written);
        arena.Commit(text.size());
        total += text.size();
        kept.emplace_back(at, text);
    }
    EXPECT_EQ(arena.Kept(), total);
    for (const auto& [at, text] : kept) {
        ASSERT_EQ(std::string(at, text.size()), text);
    }
    CellArena moved(std::move(arena));
    EXPECT_EQ(std::string(kept.front().first, kept.front().second.size()), kept.front().second);
    EXPECT_EQ(moved.Kept(), total);
    moved.Clear();
    EXPECT_EQ(moved.Kept(), 0u);
    EXPECT_EQ(moved.Left(), 0u);
}

// Large chunks start on a huge page boundary, so that the kernel can back them with huge pages.
TEST(CellArena, LargeChunksAreAlignedForHugePages) {
    CellArena arena;
    char* small = arena.Room(100);
    arena.Commit(100);
    char* large = arena.Room(3 * 1024 * 1024);
    EXPECT_NE(small, large);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(large) % (2 * 1024 * 1024), 0u);
    EXPECT_GE(arena.Left(), 3u * 1024 * 1024);
    std::memset(large, 'x', 3 * 1024 * 1024);
    arena.Commit(3 * 1024 * 1024);
    EXPECT_EQ(arena.Kept(), 100u + 3 * 1024 * 1024);
}
