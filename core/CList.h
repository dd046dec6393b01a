#pragma once
// A protocol message: an ordered chain of name/value pairs, and the only place where the wire
// form is produced and read.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

struct RList {
    std::string Name;
    std::string Value;
    RList* Next = nullptr;
};

class CList {
public:
    CList() = default;
    virtual ~CList();
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;
    // Moving hands the chain over whole; the source is left empty.
    CList(CList&& other) noexcept;
    CList& operator=(CList&& other) noexcept;

    static std::unique_ptr<CList> Create() { return std::make_unique<CList>(); }
    // Releases every node; the list is empty afterwards.
    void Destroy();
    // Releases the chain starting at first. The caller owns that chain (it is not this list's).
    static void FreeNodes(RList* first);

    // The first node from the head whose name equals name byte for byte, or nullptr.
    RList* FindNode(std::string_view name) const;
    // The reference lookup: a plain walk from the head. Kept for benchmarks and tests.
    RList* FindNodeByWalk(std::string_view name) const;
    std::string GetValue(std::string_view name) const;
    const std::string& ValueRef(std::string_view name) const;
    void AddValue(std::string_view name, std::string_view value);
    void SetValue(std::string_view name, std::string_view value);

    std::string Encode() const;
    void EncodeTo(std::string& out) const;
    // 0 = decoded (the previous pairs are replaced), 2 = rejected (the list is unchanged).
    int Decode(std::string_view text);

    RList* Head() const { return head; }
    bool Empty() const { return head == nullptr; }

private:
    RList* head = nullptr;
    // Name -> first node from the head with that name. Keys view the nodes' own names, which
    // never change while the node lives.
    std::unordered_map<std::string_view, RList*> index;
};
