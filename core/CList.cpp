#include "core/CList.h"

#include <cstring>
#include <utility>

namespace {
const std::string EmptyText;
constexpr char PairEnd = '\x01';
constexpr char MessageEnd = '\x02';
} // namespace

CList::~CList() {
    Destroy();
}

CList::CList(CList&& other) noexcept
    : head(std::exchange(other.head, nullptr)), index(std::move(other.index)) {
    other.index.clear();
}

CList& CList::operator=(CList&& other) noexcept {
    if (this != &other) {
        Destroy();
        head = std::exchange(other.head, nullptr);
        index = std::move(other.index);
        other.index.clear();
    }
    return *this;
}

void CList::Destroy() {
    index.clear();
    FreeNodes(head);
    head = nullptr;
}

void CList::FreeNodes(RList* first) {
    while (first != nullptr) {
        RList* next = first->Next;
        delete first;
        first = next;
    }
}

RList* CList::FindNode(std::string_view name) const {
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

RList* CList::FindNodeByWalk(std::string_view name) const {
    for (RList* node = head; node != nullptr; node = node->Next) {
        if (node->Name == name) {
            return node;
        }
    }
    return nullptr;
}

std::string CList::GetValue(std::string_view name) const {
    return ValueRef(name);
}

const std::string& CList::ValueRef(std::string_view name) const {
    RList* node = FindNode(name);
    return node == nullptr ? EmptyText : node->Value;
}

void CList::AddValue(std::string_view name, std::string_view value) {
    auto* node = new RList{std::string(name), std::string(value), head};
    head = node;
    // The new head is now the first node of that name, whatever came before.
    index.insert_or_assign(std::string_view(node->Name), node);
}

void CList::SetValue(std::string_view name, std::string_view value) {
    if (RList* node = FindNode(name)) {
        node->Value.assign(value);
    } else {
        AddValue(name, value);
    }
}

void CList::EncodeTo(std::string& out) const {
    for (RList* node = head; node != nullptr; node = node->Next) {
        out.append(node->Name);
        out.push_back('=');
        out.append(node->Value);
        out.push_back(PairEnd);
    }
    out.push_back(MessageEnd);
}

std::string CList::Encode() const {
    std::string out;
    size_t size = 1;
    for (RList* node = head; node != nullptr; node = node->Next) {
        size += node->Name.size() + node->Value.size() + 2;
    }
    out.reserve(size);
    EncodeTo(out);
    return out;
}

int CList::Decode(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    if (p == end) {
        return 2;
    }
    // The new chain is built apart and only replaces the list's own once the whole text has
    // been accepted; until then the guard releases it on every way out, exceptions included.
    struct Chain {
        RList* first = nullptr;
        ~Chain() { FreeNodes(first); }
    } chain;
    RList** tail = &chain.first;
    std::unordered_map<std::string_view, RList*> newIndex;
    // One pair ends at every 0x01: sizing the index once spares the rehashes of a big batch.
    size_t pairs = 0;
    for (const char* q = p;
         (q = static_cast<const char*>(std::memchr(q, PairEnd, static_cast<size_t>(end - q)))) !=
         nullptr;
         ++q) {
        ++pairs;
    }
    newIndex.reserve(pairs);
    for (;;) {
        // Name: up to the first '=', which must not be the last byte.
        const char* nameEnd =
            static_cast<const char*>(std::memchr(p, '=', static_cast<size_t>(end - p)));
        if (nameEnd == nullptr || nameEnd + 1 >= end) {
            return 2;
        }
        // Value: up to the first 0x01, which must be followed by at least one more byte.
        const char* valueStart = nameEnd + 1;
        const char* valueEnd = static_cast<const char*>(
            std::memchr(valueStart, PairEnd, static_cast<size_t>(end - valueStart)));
        if (valueEnd == nullptr || valueEnd + 1 >= end) {
            return 2;
        }
        auto* node = new RList{std::string(p, nameEnd), std::string(valueStart, valueEnd), nullptr};
        *tail = node;
        tail = &node->Next;
        // The first occurrence on the wire is the one a walk from the head finds.
        newIndex.try_emplace(std::string_view(node->Name), node);
        p = valueEnd + 1;
        if (*p == MessageEnd) {
            break;
        }
    }
    Destroy();
    head = std::exchange(chain.first, nullptr);
    index = std::move(newIndex);
    return 0;
}
