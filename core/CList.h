#pragma once
// A protocol message: an ordered chain of name/value pairs, and the only place where the wire
// form is produced and read.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One pair. Name and Value view text the list owns; they stay valid while the list lives and
// is not decoded into again or destroyed (SetValue re-points Value).
struct RList {
    std::string_view Name;
    std::string_view Value;
    RList* Next = nullptr;
};

class CList {
public:
    // Every name and value may be read, though not used, this many bytes from its start
    // whatever its length: a reader may copy short values in whole fixed-size moves.
    static constexpr size_t ReadAhead = 64;

    CList() = default;
    virtual ~CList() = default;
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;
    // Moving hands the chain over whole; the source is left empty.
    CList(CList&& other) noexcept;
    CList& operator=(CList&& other) noexcept;

    static std::unique_ptr<CList> Create() { return std::make_unique<CList>(); }
    // Releases every node; the list is empty afterwards.
    void Destroy();

    // The first node from the head whose name equals name byte for byte, or nullptr.
    RList* FindNode(std::string_view name) const;
    // The reference lookup: a plain walk from the head. Kept for benchmarks and tests.
    RList* FindNodeByWalk(std::string_view name) const;
    std::string GetValue(std::string_view name) const;
    // The value of FindNode(name), the empty text when there is none.
    std::string_view ValueRef(std::string_view name) const;
    void AddValue(std::string_view name, std::string_view value);
    void SetValue(std::string_view name, std::string_view value);

    std::string Encode() const;
    void EncodeTo(std::string& out) const;
    // 0 = decoded (the previous pairs are replaced), 2 = rejected (the list is unchanged).
    int Decode(std::string_view text);

    RList* Head() const { return head; }
    // The pair a walk from the head reaches last.
    RList* Last() const { return last; }
    bool Empty() const { return head == nullptr; }
    size_t Size() const { return count; }
    // The bytes of text the list holds: at least the sum of its values' sizes.
    size_t TextBytes() const;

private:
    // Nodes and text live in a few large blocks that never move, so a message costs a handful
    // of allocations whatever its number of pairs.
    struct Block {
        std::unique_ptr<std::byte[]> Memory;
        size_t Used = 0;
        size_t Capacity = 0;
    };
    RList* NewNode();
    // A copy of text in storage the list owns.
    std::string_view Keep(std::string_view text);
    void BuildIndex() const;
    void IndexInsert(RList* node, bool replace) const;

    std::vector<Block> nodeBlocks;
    std::vector<Block> textBlocks;
    RList* head = nullptr;
    RList* last = nullptr;
    size_t count = 0;
    // Name -> first node from the head, open addressing, built only once walks have cost more
    // than building it would: most messages are asked for a few names near the head, and a
    // batch of thousands of cells is read by one walk. Built from const lookups, so a list is
    // read by one thread at a time.
    mutable std::vector<RList*> index;
    mutable size_t walked = 0;
};
