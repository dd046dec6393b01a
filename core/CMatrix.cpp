#include "core/CMatrix.h"

#include <limits>
#include <string_view>

#include "core/CList.h"
#include "core/UOrvoCCommon.h"

namespace {

// A positive decimal number written as the server writes it: no sign, no leading zero. Only
// such a spelling names a cell, since "01:1" is not the pair "1:1".
bool ReadCellNumber(std::string_view text, size_t& i, int& out) {
    if (i >= text.size() || text[i] < '1' || text[i] > '9') {
        return false;
    }
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i++] - '0');
        if (value > std::numeric_limits<int>::max()) {
            return false;
        }
    }
    out = static_cast<int>(value);
    return true;
}

// "j:r" -> column j, row r.
bool ParseCellName(std::string_view name, int& j, int& r) {
    size_t i = 0;
    if (!ReadCellNumber(name, i, j) || i >= name.size() || name[i] != ':') {
        return false;
    }
    ++i;
    return ReadCellNumber(name, i, r) && i == name.size();
}

std::string Key(const std::string& name) {
    std::string key = TrimControl(name);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

} // namespace

std::unique_ptr<CMatrix> CMatrix::CreateFrom(CMatrix& source) {
    auto table = std::make_unique<CMatrix>();
    table->MoveFrom(source);
    return table;
}

void CMatrix::Clear() {
    std::vector<Column>().swap(Cells);
    StringArray().swap(Keys);
    Cols = 0;
    Rows = 0;
    Capacity = 0;
}

void CMatrix::MoveFrom(CMatrix& source) {
    if (&source == this) {
        return;
    }
    Cells = std::move(source.Cells);
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
    std::vector<Column> cells(static_cast<size_t>(source.Cols));
    for (int j = 0; j < source.Cols; ++j) {
        cells[j].resize(static_cast<size_t>(source.Capacity));
        const Column& from = source.Cells[j];
        for (int r = 0; r <= source.Rows && r < static_cast<int>(from.size()); ++r) {
            cells[j][r] = from[r];
        }
    }
    Cells = std::move(cells);
    Keys = source.Keys;
    Cols = source.Cols;
    Rows = source.Rows;
    Capacity = source.Capacity;
}

int CMatrix::ColumnIndex(const std::string& name) const {
    const std::string key = Key(name);
    for (int j = 0; j < static_cast<int>(Keys.size()); ++j) {
        if (Keys[j] == key) {
            return j;
        }
    }
    return -1;
}

const std::string& CMatrix::GetField(const std::string& name, int row) const {
    if (row < 0 || row > Rows) {
        throw EOrvoError("Bound error");
    }
    int j = ColumnIndex(name);
    if (j < 0) {
        throw EOrvoError("Field not found:" + name);
    }
    return Cells[j][row];
}

// Stores the value of the pair named j:r in every cell of the k new rows, the empty text where
// the message has no such pair. Rather than looking every name up, one walk from the head takes
// each pair that names a new cell, the first one of a name only: that is the pair a lookup by
// that name finds. So the fill costs one pass over the message whatever order the server sends
// the pairs in, and touches the message's memory in order.
void CMatrix::FillRows(const CList& message, int count) {
    if (Cols == 0 || count == 0) {
        return;
    }
    const int first = Rows + 1;
    std::vector<unsigned char> filled(static_cast<size_t>(Cols) * static_cast<size_t>(count), 0);
    for (const RList* node = message.Head(); node != nullptr; node = node->Next) {
        int j = 0;
        int r = 0;
        if (!ParseCellName(node->Name, j, r) || j > Cols || r < first || r - first >= count) {
            continue;
        }
        unsigned char& done = filled[static_cast<size_t>(j - 1) * static_cast<size_t>(count) +
                                     static_cast<size_t>(r - first)];
        if (done == 0) {
            done = 1;
            Cells[j - 1][r] = node->Value;
        }
    }
    for (int j = 0; j < Cols; ++j) {
        const unsigned char* done = &filled[static_cast<size_t>(j) * static_cast<size_t>(count)];
        for (int i = 0; i < count; ++i) {
            if (done[i] == 0) {
                Cells[j][first + i].clear();
            }
        }
    }
}

int CMatrix::AddFromMessage(const CList& message) {
    const std::string& operation = message.ValueRef("OPERATION");
    if (operation == "QUERYITEM") {
        if (TrimControl(message.ValueRef("DONE")) == "TRUE") {
            return 10;
        }
        const std::optional<long long> k = StrToIntOpt(message.ValueRef("ITEMSSEND"));
        if (!k || *k < 0 || *k > MaxRowsPerMessage) {
            return 2;
        }
        const int count = static_cast<int>(*k);
        // Batches without columns cost no memory, so only the count itself stops a server
        // that never ends a set; past this the row and slot counts would overflow.
        if (Rows > std::numeric_limits<int>::max() - CapacityStep - count) {
            return 2;
        }
        if (Rows + count + 1 > Capacity) {
            while (Rows + count + 1 > Capacity) {
                Capacity += CapacityStep;
            }
            for (Column& column : Cells) {
                column.resize(static_cast<size_t>(Capacity));
            }
        }
        FillRows(message, count);
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
        Cells.assign(static_cast<size_t>(Cols), Column(1));
        // An unnamed column keeps the empty name, and GetField compares it like any other.
        Keys.assign(static_cast<size_t>(Cols), std::string());
        for (int j = 1; j <= Cols; ++j) {
            std::string name = TrimControl(message.ValueRef("NAME" + std::to_string(j)));
            if (name.empty()) {
                return 2;
            }
            Keys[j - 1] = Key(name);
            Cells[j - 1][0] = std::move(name);
        }
        return 0;
    }
    return 2;
}
