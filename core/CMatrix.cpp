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

uint32_t Append(char* text, uint32_t at, std::string_view value) {
    if (!value.empty()) {
        std::memcpy(text + at, value.data(), value.size());
    }
    return at + static_cast<uint32_t>(value.size());
}

char* NewText(size_t bytes) {
    auto* text = static_cast<char*>(std::malloc(std::max<size_t>(bytes, 1)));
    if (text == nullptr) {
        throw std::bad_alloc();
    }
    return text;
}

} // namespace

void CMatrix::Batch::FreeText::operator()(char* text) const {
    std::free(text);
}

std::string_view CMatrix::Batch::At(uint32_t place) const {
    size_t i = place;
    if (!Places.empty()) {
        auto it = std::lower_bound(Places.begin(), Places.end(), place);
        if (it == Places.end() || *it != place) {
            return {};
        }
        i = static_cast<size_t>(it - Places.begin());
    }
    const uint32_t start = i == 0 ? 0 : Ends[i - 1];
    return {Text.get() + start, Ends[i] - start};
}

std::unique_ptr<CMatrix> CMatrix::CreateFrom(CMatrix& source) {
    auto table = std::make_unique<CMatrix>();
    table->MoveFrom(source);
    return table;
}

void CMatrix::Clear() {
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
    std::vector<Batch> batches(source.Batches.size());
    for (size_t i = 0; i < batches.size(); ++i) {
        const Batch& from = source.Batches[i];
        Batch& to = batches[i];
        to.First = from.First;
        to.Count = from.Count;
        to.TextSize = from.TextSize;
        to.Text.reset(NewText(from.TextSize));
        if (from.TextSize > 0) {
            std::memcpy(to.Text.get(), from.Text.get(), from.TextSize);
        }
        to.Places = from.Places;
        to.Ends = from.Ends;
    }
    Batches = std::move(batches);
    Names = source.Names;
    Keys = source.Keys;
    Cols = source.Cols;
    Rows = source.Rows;
    Capacity = source.Capacity;
}

size_t CMatrix::StoredBytes() const {
    size_t bytes = Batches.capacity() * sizeof(Batch) + Arrivals.capacity() * sizeof(Arrival);
    for (const Batch& b : Batches) {
        bytes += b.TextSize + (b.Places.capacity() + b.Ends.capacity()) * sizeof(uint32_t);
    }
    return bytes;
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
    return b.At(static_cast<uint32_t>(col) * static_cast<uint32_t>(b.Count) +
                static_cast<uint32_t>(row - b.First));
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
// lookup by that name finds. The server sends the cells column by column, already in the
// batch's order; any other order is sorted, the first arrival of a place kept.
bool CMatrix::StoreInOrder(const CList& message, int count) {
    const int first = Rows + 1;
    const size_t places = static_cast<size_t>(Cols) * static_cast<size_t>(count);
    const size_t room = message.TextBytes();
    if (room > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    Batch b;
    b.First = first;
    b.Count = count;
    b.Text.reset(NewText(room));
    // A dense batch has at most two places for every pair that arrived.
    b.Ends.reserve(std::min(places, 2 * message.Size() + 64));
    char* const text = b.Text.get();
    uint32_t end = 0;
    size_t arrived = 0;
    for (const RList* node = message.Head(); node != nullptr; node = node->Next) {
        int j = 0;
        int r = 0;
        if (!ParseCellName(node->Name, j, r) || j > Cols || r < first || r - first >= count) {
            continue;
        }
        const auto place = static_cast<size_t>((j - 1) * count + (r - first));
        // Out of order, twice, or far ahead of what arrived so far: the general way sorts, and
        // keeps a sparse batch small.
        if (place < b.Ends.size() || place > 2 * arrived + 64) {
            return false;
        }
        b.Ends.resize(place, end);
        end = Append(text, end, node->Value);
        b.Ends.push_back(end);
        ++arrived;
    }
    if (arrived == 0 || places > 2 * arrived) {
        return false;
    }
    b.Ends.resize(places, end);
    // Names and separators took room the values do not need.
    if (auto* fitted = static_cast<char*>(std::realloc(b.Text.get(), std::max<uint32_t>(end, 1)))) {
        b.Text.release();
        b.Text.reset(fitted);
    }
    b.TextSize = end;
    Batches.push_back(std::move(b));
    return true;
}

int CMatrix::StoreBatch(const CList& message, int count) {
    if (StoreInOrder(message, count)) {
        return 0;
    }
    const int first = Rows + 1;
    Arrivals.clear();
    bool ordered = true;
    size_t textSize = 0;
    for (const RList* node = message.Head(); node != nullptr; node = node->Next) {
        int j = 0;
        int r = 0;
        if (!ParseCellName(node->Name, j, r) || j > Cols || r < first || r - first >= count) {
            continue;
        }
        const auto place = static_cast<uint32_t>((j - 1) * count + (r - first));
        if (!Arrivals.empty() && place <= Arrivals.back().Place) {
            ordered = false;
        }
        Arrivals.push_back({place, node->Value});
        textSize += node->Value.size();
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
    Batch b;
    b.First = first;
    b.Count = count;
    b.TextSize = textSize;
    b.Text.reset(NewText(textSize));
    char* const text = b.Text.get();
    uint32_t end = 0;
    const size_t places = static_cast<size_t>(Cols) * static_cast<size_t>(count);
    if (places <= 2 * Arrivals.size()) {
        // Most places arrived: an end for every place, a missing one as long as nothing.
        b.Ends.resize(places);
        size_t a = 0;
        for (size_t place = 0; place < places; ++place) {
            if (a < Arrivals.size() && Arrivals[a].Place == place) {
                end = Append(text, end, Arrivals[a++].Value);
            }
            b.Ends[place] = end;
        }
    } else {
        b.Places.resize(Arrivals.size());
        b.Ends.resize(Arrivals.size());
        for (size_t a = 0; a < Arrivals.size(); ++a) {
            end = Append(text, end, Arrivals[a].Value);
            b.Places[a] = Arrivals[a].Place;
            b.Ends[a] = end;
        }
    }
    Batches.push_back(std::move(b));
    return 0;
}

int CMatrix::AddFromMessage(const CList& message) {
    const std::string_view operation = message.ValueRef("OPERATION");
    if (operation == "QUERYITEM") {
        if (TrimControl(message.ValueRef("DONE")) == "TRUE") {
            return 10;
        }
        const std::optional<long long> k = StrToIntOpt(message.ValueRef("ITEMSSEND"));
        if (!k || *k < 0 || *k > MaxRowsPerMessage) {
            return 2;
        }
        const int count = static_cast<int>(*k);
        // Batches without cells cost no memory, so only the count itself stops a server that
        // never ends a set; past this the row and slot counts would overflow.
        if (Rows > std::numeric_limits<int>::max() - CapacityStep - count) {
            return 2;
        }
        while (Rows + count + 1 > Capacity) {
            Capacity += CapacityStep;
        }
        if (Cols > 0 && count > 0) {
            if (int r = StoreBatch(message, count); r != 0) {
                return r;
            }
        }
        Rows += count;
        return 0;
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
