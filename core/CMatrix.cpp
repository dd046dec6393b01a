#include "core/CMatrix.h"

#include <charconv>

#include "core/CList.h"
#include "core/UOrvoCCommon.h"

namespace {

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

CMatrix* CMatrix::CreateFrom(CMatrix& source) {
    auto* table = new CMatrix;
    table->MoveFrom(source);
    return table;
}

void CMatrix::Clear() {
    Node().swap(Cells);
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
    Node cells(static_cast<size_t>(source.Cols));
    for (int j = 0; j < source.Cols; ++j) {
        cells[j].resize(static_cast<size_t>(source.Capacity));
        const StringArray& from = source.Cells[j];
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
        if (Rows + count + 1 > Capacity) {
            while (Rows + count + 1 > Capacity) {
                Capacity += CapacityStep;
            }
            for (StringArray& column : Cells) {
                column.resize(static_cast<size_t>(Capacity));
            }
        }
        // Pair names are "j:r"; build them in one buffer to keep the fill linear and cheap.
        char key[32];
        for (int j = 1; j <= Cols; ++j) {
            StringArray& column = Cells[j - 1];
            char* afterColon = std::to_chars(key, key + sizeof key, j).ptr;
            *afterColon++ = ':';
            for (int r = Rows + 1; r <= Rows + count; ++r) {
                char* end = std::to_chars(afterColon, key + sizeof key, r).ptr;
                if (const RList* node = message.FindNode(std::string_view(key, end - key))) {
                    column[r] = node->Value;
                } else {
                    column[r].clear();
                }
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
        Cells.assign(static_cast<size_t>(Cols), StringArray(1));
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
