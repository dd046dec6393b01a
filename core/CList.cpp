#include "core/CList.h"

#include <cstring>

namespace {
const std::string EmptyText;
constexpr char PairEnd = '\x01';
constexpr char MessageEnd = '\x02';
} // namespace

CList::~CList() { Destroy(); }

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

std::string CList::GetValue(std::string_view name) const { return ValueRef(name); }

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
    RList* first = nullptr;
    RList** tail = &first;
    std::unordered_map<std::string_view, RList*> newIndex;
    for (;;) {
        // Name: up to the first '=', which must not be the last byte.
        const void* eq = std::memchr(p, '=', static_cast<size_t>(end - p));
        if (eq == nullptr || static_cast<const char*>(eq) + 1 >= end) {
            FreeNodes(first);
            return 2;
        }
        const char* nameEnd = static_cast<const char*>(eq);
        // Value: up to the first 0x01, which must be followed by at least one more byte.
        const char* valueStart = nameEnd + 1;
        const void* soh = std::memchr(valueStart, PairEnd, static_cast<size_t>(end - valueStart));
        if (soh == nullptr || static_cast<const char*>(soh) + 1 >= end) {
            FreeNodes(first);
            return 2;
        }
        const char* valueEnd = static_cast<const char*>(soh);
        auto* node = new RList{std::string(p, nameEnd), std::string(valueStart, valueEnd), nullptr};
        *tail = node;
        tail = &node->Next;
        newIndex.try_emplace(std::string_view(node->Name), node);
        p = valueEnd + 1;
        if (*p == MessageEnd) {
            break;
        }
    }
    Destroy();
    head = first;
    index = std::move(newIndex);
    return 0;
}
