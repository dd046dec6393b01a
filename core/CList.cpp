#include "core/CList.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char PairEnd = '\x01';
constexpr char MessageEnd = '\x02';
constexpr size_t FirstNodes = 8;
constexpr size_t FirstText = 256;
constexpr size_t LargestTextStep = 64 * 1024;

std::unique_ptr<std::byte[]> Raw(size_t bytes) {
    return std::make_unique_for_overwrite<std::byte[]>(bytes);
}

// Text blocks end with room to read ahead into; the empty text views a run as long.
std::unique_ptr<std::byte[]> RawText(size_t bytes) {
    return Raw(bytes + CList::ReadAhead);
}
constexpr char NoText[CList::ReadAhead] = {};

// The first c in [p, end), or end. Reads up to 31 bytes past end, which a decoded copy has
// room for: most values are shorter than a library search takes to start.
inline const char* Find(const char* p, const char* end, char c) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (; p < end; p += 32) {
        const auto* at = reinterpret_cast<const __m128i*>(p);
        const auto low =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(at), wanted)));
        const auto high = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(at + 1), wanted)));
        if (const uint32_t mask = low | (high << 16); mask != 0) {
            const char* found = p + __builtin_ctz(mask);
            return found < end ? found : end;
        }
    }
    return end;
#else
    const void* at = std::memchr(p, c, static_cast<size_t>(end - p));
    return at != nullptr ? static_cast<const char*>(at) : end;
#endif
}

size_t Hash(std::string_view text) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h = (h ^ c) * 1099511628211ull;
    }
    return static_cast<size_t>(h ^ (h >> 29));
}

} // namespace

CList::CList(CList&& other) noexcept
    : nodeBlocks(std::move(other.nodeBlocks)), textBlocks(std::move(other.textBlocks)),
      head(std::exchange(other.head, nullptr)), last(std::exchange(other.last, nullptr)),
      count(std::exchange(other.count, 0)), index(std::move(other.index)),
      walked(std::exchange(other.walked, 0)) {
    other.Destroy();
}

CList& CList::operator=(CList&& other) noexcept {
    if (this != &other) {
        nodeBlocks = std::move(other.nodeBlocks);
        textBlocks = std::move(other.textBlocks);
        head = std::exchange(other.head, nullptr);
        last = std::exchange(other.last, nullptr);
        count = std::exchange(other.count, 0);
        index = std::move(other.index);
        walked = std::exchange(other.walked, 0);
        other.Destroy();
    }
    return *this;
}

void CList::Destroy() {
    nodeBlocks.clear();
    textBlocks.clear();
    index.clear();
    head = nullptr;
    last = nullptr;
    count = 0;
    walked = 0;
}

size_t CList::TextBytes() const {
    size_t bytes = 0;
    for (const Block& block : textBlocks) {
        bytes += block.Used;
    }
    return bytes;
}

RList* CList::NewNode() {
    if (nodeBlocks.empty() || nodeBlocks.back().Used == nodeBlocks.back().Capacity) {
        // Doubling the whole: a list built pair by pair makes a logarithmic number of blocks.
        const size_t nodes = std::max(FirstNodes, count);
        nodeBlocks.push_back({Raw(nodes * sizeof(RList)), 0, nodes});
    }
    Block& block = nodeBlocks.back();
    return new (block.Memory.get() + block.Used++ * sizeof(RList)) RList{};
}

std::string_view CList::Keep(std::string_view text) {
    if (text.empty()) {
        return std::string_view(NoText, 0);
    }
    if (textBlocks.empty() || textBlocks.back().Capacity - textBlocks.back().Used < text.size()) {
        const size_t step = textBlocks.empty()
                                ? FirstText
                                : std::min(LargestTextStep, textBlocks.back().Capacity * 2);
        const size_t bytes = std::max(step, text.size());
        textBlocks.push_back({RawText(bytes), 0, bytes});
    }
    Block& block = textBlocks.back();
    char* at = reinterpret_cast<char*>(block.Memory.get()) + block.Used;
    std::memcpy(at, text.data(), text.size());
    block.Used += text.size();
    return {at, text.size()};
}

void CList::IndexInsert(RList* node, bool replace) const {
    const size_t mask = index.size() - 1;
    for (size_t i = Hash(node->Name) & mask;; i = (i + 1) & mask) {
        RList*& slot = index[i];
        if (slot == nullptr) {
            slot = node;
            return;
        }
        if (slot->Name == node->Name) {
            if (replace) {
                slot = node;
            }
            return;
        }
    }
}

void CList::BuildIndex() const {
    size_t slots = 16;
    while (slots < count * 2) {
        slots *= 2;
    }
    index.assign(slots, nullptr);
    // From the head, keeping the first of a name: the node a walk would find.
    for (RList* node = head; node != nullptr; node = node->Next) {
        IndexInsert(node, false);
    }
}

RList* CList::FindNode(std::string_view name) const {
    if (!index.empty()) {
        const size_t mask = index.size() - 1;
        for (size_t i = Hash(name) & mask;; i = (i + 1) & mask) {
            RList* node = index[i];
            if (node == nullptr || node->Name == name) {
                return node;
            }
        }
    }
    size_t steps = 0;
    RList* found = nullptr;
    for (RList* node = head; node != nullptr; node = node->Next) {
        ++steps;
        if (node->Name == name) {
            found = node;
            break;
        }
    }
    // Walks cost at most a few times what building the index would, then it is built: many
    // lookups into one large message stay linear.
    walked += steps;
    if (walked > 4 * count + 64) {
        BuildIndex();
    }
    return found;
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
    return std::string(ValueRef(name));
}

std::string_view CList::ValueRef(std::string_view name) const {
    RList* node = FindNode(name);
    return node == nullptr ? std::string_view() : node->Value;
}

void CList::AddValue(std::string_view name, std::string_view value) {
    // Copied before the node is taken: either may view this list's own text.
    const std::string_view keptName = Keep(name);
    const std::string_view keptValue = Keep(value);
    RList* node = NewNode();
    node->Name = keptName;
    node->Value = keptValue;
    node->Next = head;
    head = node;
    if (last == nullptr) {
        last = node;
    }
    ++count;
    if (!index.empty()) {
        if (count * 2 > index.size()) {
            BuildIndex();
        } else {
            // The new head is now the first node of that name, whatever came before.
            IndexInsert(node, true);
        }
    }
}

void CList::SetValue(std::string_view name, std::string_view value) {
    if (RList* node = FindNode(name)) {
        // A fresh copy rather than an overwrite: a view of the old value handed out earlier
        // keeps showing whole text.
        node->Value = Keep(value);
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
    if (text.empty()) {
        return 2;
    }
    // The new chain is built apart and only replaces the list's own once the whole text has
    // been accepted. One copy of the text holds every name and value.
    CList fresh;
    fresh.textBlocks.push_back({RawText(text.size()), text.size(), text.size()});
    char* copy = reinterpret_cast<char*>(fresh.textBlocks.back().Memory.get());
    std::memcpy(copy, text.data(), text.size());
    std::memset(copy + text.size(), 0, ReadAhead);
    const char* p = copy;
    const char* const end = copy + text.size();

    // A guess at the pair count from the size of a typical cell; more blocks follow if short.
    size_t capacity = text.size() / 24 + FirstNodes;
    fresh.nodeBlocks.push_back({Raw(capacity * sizeof(RList)), 0, capacity});
    auto* slot = reinterpret_cast<RList*>(fresh.nodeBlocks.back().Memory.get());
    RList* limit = slot + capacity;
    RList** tail = &fresh.head;
    size_t pairs = 0;
    for (;;) {
        // Name: up to the first '=', which must not be the last byte. Names are a few bytes
        // long: a byte loop finds their end soonest.
        const char* nameEnd = p;
        while (nameEnd != end && *nameEnd != '=') {
            ++nameEnd;
        }
        if (nameEnd == end || nameEnd + 1 >= end) {
            return 2;
        }
        // Value: up to the first 0x01, which must be followed by at least one more byte.
        const char* valueStart = nameEnd + 1;
        const char* valueEnd = Find(valueStart, end, PairEnd);
        if (valueEnd == end || valueEnd + 1 >= end) {
            return 2;
        }
        if (slot == limit) {
            fresh.nodeBlocks.back().Used = capacity;
            capacity = pairs;
            fresh.nodeBlocks.push_back({Raw(capacity * sizeof(RList)), 0, capacity});
            slot = reinterpret_cast<RList*>(fresh.nodeBlocks.back().Memory.get());
            limit = slot + capacity;
        }
        RList* node = new (slot++) RList{
            std::string_view(p, static_cast<size_t>(nameEnd - p)),
            std::string_view(valueStart, static_cast<size_t>(valueEnd - valueStart)), nullptr};
        *tail = node;
        tail = &node->Next;
        fresh.last = node;
        ++pairs;
        p = valueEnd + 1;
        if (*p == MessageEnd) {
            break;
        }
    }
    fresh.nodeBlocks.back().Used = capacity - static_cast<size_t>(limit - slot);
    fresh.count = pairs;
    *this = std::move(fresh);
    return 0;
}
