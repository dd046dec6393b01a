#include "core/CMatrix.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "core/CList.h"
#include "core/UOrvoCCommon.h"

namespace {

// A positive decimal number written as the server writes it: no sign, no leading zero. Only
// such a spelling names a cell, since "01:1" is not the pair "1:1".
inline bool ReadCellNumber(const char*& p, const char* end, int& out) {
    if (p == end || *p < '1' || *p > '9') {
        return false;
    }
    long long value = *p++ - '0';
    while (p != end && *p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > std::numeric_limits<int>::max()) {
            return false;
        }
    }
    out = static_cast<int>(value);
    return true;
}

// "j:r" -> column j, row r.
inline bool ParseCellName(std::string_view name, int& j, int& r) {
    const char* p = name.data();
    const char* const end = p + name.size();
    if (!ReadCellNumber(p, end, j) || p == end || *p != ':') {
        return false;
    }
    ++p;
    return ReadCellNumber(p, end, r) && p == end;
}

std::string Key(std::string_view name) {
    std::string key = TrimControl(name);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

// Short values, most of a works result, are moved in one or two fixed-size steps: the list
// lets its values be read ahead, and the table's room always has that much to spare.
inline void CopyValue(char* to, std::string_view value) {
    static_assert(CList::ReadAhead == 64);
    if (value.size() <= 32) {
        std::memcpy(to, value.data(), 32);
    } else if (value.size() <= 64) {
        std::memcpy(to, value.data(), 64);
    } else {
        std::memcpy(to, value.data(), value.size());
    }
}

// The first pair of a name met by a walk from the head: the one a lookup finds. The walks over a
// batch's cells watch for DONE and ITEMSSEND on the way, so neither costs a walk of its own.
struct FirstNamed {
    std::string_view Name;
    const RList* Node = nullptr;
    void See(const RList* node) {
        if (Node == nullptr && node->Name == Name) {
            Node = node;
        }
    }
};

bool SaysDone(const FirstNamed& done) {
    return done.Node != nullptr && TrimControl(done.Node->Value) == "TRUE";
}

// A walk from the head over a batch of Count rows from First.
struct BatchWalk {
    int Cols = 0;
    int First = 0;
    int Count = 0;
    FirstNamed Done{"DONE"};
    FirstNamed Items{"ITEMSSEND"};
    // Whether node names a cell of the batch, column j and row r from 1; other names are
    // watched for DONE and ITEMSSEND.
    bool Cell(const RList* node, int& j, int& r) {
        if (!ParseCellName(node->Name, j, r)) {
            Done.See(node);
            Items.See(node);
            return false;
        }
        return j <= Cols && r >= First && r - First < Count;
    }
};

uint32_t* Words(char* room) {
    return reinterpret_cast<uint32_t*>(room);
}

} // namespace

std::string_view CMatrix::Batch::At(uint32_t place) const {
    size_t i = place;
    if (Places != nullptr) {
        const uint32_t* it = std::lower_bound(Places, Places + Stored, place);
        if (it == Places + Stored || *it != place) {
            return {};
        }
        i = static_cast<size_t>(it - Places);
    }
    const uint32_t start = i == 0 ? 0 : Ends[i - 1];
    return {Text + start, Ends[i] - start};
}

std::unique_ptr<CMatrix> CMatrix::CreateFrom(CMatrix& source) {
    auto table = std::make_unique<CMatrix>();
    table->MoveFrom(source);
    return table;
}

void CMatrix::Clear() {
    Text.Clear();
    Offsets.Clear();
    std::vector<Batch>().swap(Batches);
    std::vector<Arrival>().swap(Arrivals);
    StringArray().swap(Names);
    StringArray().swap(Keys);
    Cols = 0;
    Rows = 0;
    Capacity = 0;
}

void CMatrix::MoveFrom(CMatrix& source) {
    if (&source == this) {
        return;
    }
    Text = std::move(source.Text);
    Offsets = std::move(source.Offsets);
    Batches = std::move(source.Batches);
    Names = std::move(source.Names);
    Keys = std::move(source.Keys);
    Cols = source.Cols;
    Rows = source.Rows;
    Capacity = source.Capacity;
    source.Clear();
}

void CMatrix::CopyFrom(const CMatrix& source) {
    if (&source == this) {
        return;
    }
    CellArena text;
    CellArena offsets;
    std::vector<Batch> batches;
    batches.reserve(source.Batches.size());
    for (const Batch& from : source.Batches) {
        Batch to = from;
        const size_t textSize = from.TextSize();
        char* t = text.Room(textSize);
        std::memcpy(t, from.Text, textSize);
        text.Commit(textSize);
        to.Text = t;
        const size_t words = from.Places != nullptr ? 2 * size_t{from.Stored} : from.Stored;
        uint32_t* w = Words(offsets.Room(words * sizeof(uint32_t)));
        std::memcpy(w, from.Ends, from.Stored * sizeof(uint32_t));
        to.Ends = w;
        if (from.Places != nullptr) {
            std::memcpy(w + from.Stored, from.Places, from.Stored * sizeof(uint32_t));
            to.Places = w + from.Stored;
        }
        offsets.Commit(words * sizeof(uint32_t));
        batches.push_back(to);
    }
    Text = std::move(text);
    Offsets = std::move(offsets);
    Batches = std::move(batches);
    Names = source.Names;
    Keys = source.Keys;
    Cols = source.Cols;
    Rows = source.Rows;
    Capacity = source.Capacity;
}

size_t CMatrix::StoredBytes() const {
    return Batches.capacity() * sizeof(Batch) + Arrivals.capacity() * sizeof(Arrival) +
           Text.Kept() + Offsets.Kept();
}

int CMatrix::ColumnIndex(std::string_view name) const {
    const std::string key = Key(name);
    for (int j = 0; j < static_cast<int>(Keys.size()); ++j) {
        if (Keys[j] == key) {
            return j;
        }
    }
    return -1;
}

std::string_view CMatrix::Cell(int col, int row) const {
    if (row == 0) {
        return Names[col];
    }
    // The last batch starting at or before row.
    auto after = std::upper_bound(Batches.begin(), Batches.end(), row,
                                  [](int r, const Batch& b) { return r < b.First; });
    if (after == Batches.begin()) {
        return {};
    }
    const Batch& b = *(after - 1);
    if (row >= b.First + b.Count) {
        return {};
    }
    const auto r = static_cast<uint32_t>(row - b.First);
    const auto j = static_cast<uint32_t>(col);
    return b.At(b.ByRows ? r * static_cast<uint32_t>(Cols) + j
                         : j * static_cast<uint32_t>(b.Count) + r);
}

std::string_view CMatrix::GetField(std::string_view name, int row) const {
    if (row < 0 || row > Rows) {
        throw EOrvoError("Bound error");
    }
    int j = ColumnIndex(name);
    if (j < 0) {
        throw EOrvoError("Field not found:" + std::string(name));
    }
    return Cell(j, row);
}

// Takes the value of the pair named j:r for every cell of the count new rows, the empty text
// where the message has no such pair. Rather than looking every name up, one walk from the head
// takes each pair that names a new cell, the first one of a name only: that is the pair a
// lookup by that name finds. orvo-server sends the cells row by row, other senders may send
// them column by column: either is stored as it arrives. Any other order is sorted, the first
// arrival of a place kept.
int CMatrix::StoreInOrder(const CList& message, const RList* counted, int count, bool byRows) {
    const int first = Rows + 1;
    const size_t places = static_cast<size_t>(Cols) * static_cast<size_t>(count);
    // Every value of the message together is no longer than the text the message holds.
    const size_t bound = message.TextBytes();
    if (bound > std::numeric_limits<uint32_t>::max()) {
        return NotInOrder;
    }
    BatchWalk walk{Cols, first, count};
    constexpr size_t Ahead = CList::ReadAhead;
    char* text = nullptr;
    size_t room = 0;
    uint32_t* ends = nullptr;
    size_t filled = 0;
    uint32_t end = 0;
    size_t arrived = 0;
    for (const RList* node = message.Head(); node != nullptr; node = node->Next) {
        int j = 0;
        int r = 0;
        if (!walk.Cell(node, j, r)) {
            continue;
        }
        const auto place = static_cast<size_t>(byRows ? (r - first) * Cols + (j - 1)
                                                      : (j - 1) * count + (r - first));
        // Out of order, twice, or far ahead of what arrived so far: the general way sorts, and
        // keeps a sparse batch small.
        if (place < filled || place > 2 * arrived + 64) {
            return NotInOrder;
        }
        if (ends == nullptr) {
            ends = Words(Offsets.Room(places * sizeof(uint32_t)));
            text = Text.Room(Ahead);
            room = Text.Left();
        }
        const std::string_view value = node->Value;
        if (end + std::max(value.size(), Ahead) > room) {
            // Once per chunk of the arena: what this batch wrote so far moves along.
            text = Text.Room(bound + Ahead, end);
            room = Text.Left();
        }
        while (filled < place) {
            ends[filled++] = end;
        }
        CopyValue(text + end, value);
        end += static_cast<uint32_t>(value.size());
        ends[filled++] = end;
        ++arrived;
    }
    if (walk.Items.Node != counted) {
        return Recount;
    }
    if (arrived == 0 || places > 2 * arrived) {
        return NotInOrder;
    }
    if (SaysDone(walk.Done)) {
        return 10;
    }
    while (filled < places) {
        ends[filled++] = end;
    }
    Text.Commit(end);
    Offsets.Commit(places * sizeof(uint32_t));
    Batches.push_back({first, count, byRows, text, nullptr, ends, static_cast<uint32_t>(places)});
    return 0;
}

int CMatrix::StoreBatch(const CList& message, const RList* counted, int count) {
    // A message in the other order fails within its first few cells.
    for (const bool byRows : {SentByRows, !SentByRows}) {
        if (const int r = StoreInOrder(message, counted, count, byRows); r != NotInOrder) {
            SentByRows = byRows;
            return r;
        }
    }
    const int first = Rows + 1;
    BatchWalk walk{Cols, first, count};
    Arrivals.clear();
    bool ordered = true;
    size_t textSize = 0;
    for (const RList* node = message.Head(); node != nullptr; node = node->Next) {
        int j = 0;
        int r = 0;
        if (!walk.Cell(node, j, r)) {
            continue;
        }
        const auto place = static_cast<uint32_t>((j - 1) * count + (r - first));
        if (!Arrivals.empty() && place <= Arrivals.back().Place) {
            ordered = false;
        }
        Arrivals.push_back({place, node->Value});
        textSize += node->Value.size();
    }
    if (walk.Items.Node != counted) {
        return Recount;
    }
    if (SaysDone(walk.Done)) {
        return 10;
    }
    if (Arrivals.empty()) {
        return 0;
    }
    if (!ordered) {
        std::stable_sort(Arrivals.begin(), Arrivals.end(),
                         [](const Arrival& a, const Arrival& b) { return a.Place < b.Place; });
        Arrivals.erase(
            std::unique(Arrivals.begin(), Arrivals.end(),
                        [](const Arrival& a, const Arrival& b) { return a.Place == b.Place; }),
            Arrivals.end());
        textSize = 0;
        for (const Arrival& a : Arrivals) {
            textSize += a.Value.size();
        }
    }
    if (textSize > std::numeric_limits<uint32_t>::max()) {
        return 2;
    }
    const size_t places = static_cast<size_t>(Cols) * static_cast<size_t>(count);
    const bool dense = places <= 2 * Arrivals.size();
    // Most places arrived: an end for every place, a missing one as long as nothing. Few did:
    // the places that arrived, and their ends.
    const size_t stored = dense ? places : Arrivals.size();
    const size_t words = dense ? places : 2 * stored;
    char* const text = Text.Room(textSize);
    uint32_t* const ends = Words(Offsets.Room(words * sizeof(uint32_t)));
    uint32_t* const placesOut = dense ? nullptr : ends + stored;
    uint32_t end = 0;
    size_t a = 0;
    for (size_t i = 0; i < stored; ++i) {
        if (!dense || (a < Arrivals.size() && Arrivals[a].Place == i)) {
            const std::string_view value = Arrivals[a].Value;
            if (!value.empty()) {
                std::memcpy(text + end, value.data(), value.size());
            }
            end += static_cast<uint32_t>(value.size());
            if (!dense) {
                placesOut[i] = Arrivals[a].Place;
            }
            ++a;
        }
        ends[i] = end;
    }
    Text.Commit(textSize);
    Offsets.Commit(words * sizeof(uint32_t));
    Batches.push_back({first, count, false, text, placesOut, ends, static_cast<uint32_t>(stored)});
    return 0;
}

int CMatrix::AddBatch(const CList& message, const RList* counted) {
    const std::optional<long long> k =
        StrToIntOpt(counted != nullptr ? counted->Value : std::string_view());
    // Batches without cells cost no memory, so only the count itself stops a server that
    // never ends a set; past this the row and slot counts would overflow.
    const bool countable = k && *k >= 0 && *k <= MaxRowsPerMessage &&
                           Rows <= std::numeric_limits<int>::max() - CapacityStep - *k;
    if (!countable || Cols == 0 || *k == 0) {
        // No walk over cells to confirm the count or find DONE on the way.
        if (message.FindNode("ITEMSSEND") != counted) {
            return Recount;
        }
        if (TrimControl(message.ValueRef("DONE")) == "TRUE") {
            return 10;
        }
        if (!countable) {
            return 2;
        }
    } else if (int r = StoreBatch(message, counted, static_cast<int>(*k)); r != 0) {
        return r;
    }
    const int count = static_cast<int>(*k);
    while (Rows + count + 1 > Capacity) {
        Capacity += CapacityStep;
    }
    Rows += count;
    return 0;
}

int CMatrix::AddFromMessage(const CList& message) {
    const std::string_view operation = message.ValueRef("OPERATION");
    if (operation == "QUERYITEM") {
        // orvo-server writes the count last, once it knows it: the last pair is taken for the
        // count, and the walk over the cells confirms that no pair before it has that name.
        const RList* last = message.Last();
        if (last->Name == "ITEMSSEND") {
            if (const int r = AddBatch(message, last); r != Recount) {
                return r;
            }
        }
        return AddBatch(message, message.FindNode("ITEMSSEND"));
    }
    if (operation == "QUERYRESULT") {
        const std::optional<long long> n = StrToIntOpt(message.ValueRef("COLS"));
        if (!n || *n < 0 || *n > MaxCols) {
            return 2;
        }
        Clear();
        Capacity = 1;
        Cols = static_cast<int>(*n);
        // An unnamed column keeps the empty name, and GetField compares it like any other.
        Names.assign(static_cast<size_t>(Cols), std::string());
        Keys.assign(static_cast<size_t>(Cols), std::string());
        for (int j = 1; j <= Cols; ++j) {
            std::string name = TrimControl(message.ValueRef("NAME" + std::to_string(j)));
            if (name.empty()) {
                return 2;
            }
            Keys[j - 1] = Key(name);
            Names[j - 1] = std::move(name);
        }
        return 0;
    }
    return 2;
}
