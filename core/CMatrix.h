#pragma once
// A result table: named columns of 8-bit text cells, filled from QUERYRESULT and QUERYITEM
// messages and read by row number (from 1) and column name. Row 0 holds the column names.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/CellArena.h"
#include "core/OrvoError.h"

class CList;
struct RList;

using StringArray = std::vector<std::string>;

class CMatrix {
public:
    static constexpr int MaxCols = 256;
    static constexpr int MaxRowsPerMessage = 1024;
    static constexpr int CapacityStep = 2048;

    CMatrix() = default;
    virtual ~CMatrix() = default;
    CMatrix(const CMatrix&) = delete;
    CMatrix& operator=(const CMatrix&) = delete;

    // A new table that takes over source's storage; source is left empty.
    static std::unique_ptr<CMatrix> CreateFrom(CMatrix& source);
    void Clear();
    void MoveFrom(CMatrix& source);
    void CopyFrom(const CMatrix& source);
    int RowCount() const { return Rows; }
    int ColCount() const { return Cols; }
    // The rows the table answers for, in whole steps; an announced row costs no memory.
    int GetCapacity() const { return Capacity; }
    // Throws EOrvoError "Bound error" or "Field not found:" + name. The text stays valid until
    // the table is cleared, moved from or filled from a new header.
    std::string_view GetField(std::string_view name, int row) const;
    // 0 accepted, 10 result set complete, 2 rejected.
    int AddFromMessage(const CList& message);
    // For readers that walk many rows: the index of a column as GetField finds it (-1 when there
    // is none), and the cell at that index. Cell checks nothing: col from FindColumn, row from 0
    // to RowCount.
    int FindColumn(std::string_view name) const { return ColumnIndex(name); }
    std::string_view Cell(int col, int row) const;
    // Bytes held for cells and their places, for the memory bounds.
    size_t StoredBytes() const;

private:
    // The cells of one QUERYITEM message: rows First to First + Count - 1, the values that
    // arrived one after another in one run of text, in the order of their places: row by row
    // (as orvo-server sends them) or column by column. A batch that brought no cells is not
    // kept at all, so growth follows what arrived, not what was announced.
    struct Batch {
        int First = 0;
        int Count = 0;
        bool ByRows = false;
        const char* Text = nullptr;
        // Dense (Places null): Ends[place] is where the value of place ends, and the previous
        // end where it starts. Sparse, when few of the places arrived: the Stored places that
        // did, in order, and Ends alongside.
        const uint32_t* Places = nullptr;
        const uint32_t* Ends = nullptr;
        uint32_t Stored = 0;
        std::string_view At(uint32_t place) const;
        size_t TextSize() const { return Stored == 0 ? 0 : Ends[Stored - 1]; }
    };
    struct Arrival {
        uint32_t Place;
        std::string_view Value;
    };

    int ColumnIndex(std::string_view name) const;
    // A QUERYITEM batch whose count is the value of counted (nullptr: none), or Recount, with
    // nothing changed, when a pair before counted has its name.
    static constexpr int Recount = -2;
    int AddBatch(const CList& message, const RList* counted);
    // The rows' cells from the message into a new batch (none when nothing arrived); 2 when
    // the batch's text cannot be placed, 10 with nothing stored when the message says the set
    // is done: the walk over the cells finds DONE, which is seldom there, without a walk of
    // its own.
    int StoreBatch(const CList& message, const RList* counted, int count);
    // The same in one walk, for cells sent row by row (byRows) or column by column; NotInOrder,
    // with nothing stored, when the message holds its cells in any other order, or few of them.
    static constexpr int NotInOrder = -1;
    int StoreInOrder(const CList& message, const RList* counted, int count, bool byRows);

    // Every batch's text, and its ends and places, live in these; Batches point into them.
    CellArena Text;
    CellArena Offsets;
    std::vector<Batch> Batches;
    std::vector<Arrival> Arrivals; // kept between messages to spare its allocation
    bool SentByRows = true;        // the order of the last batch, tried first for the next
    // Column names as received (row 0) and as GetField compares them (trimmed, ASCII upper).
    StringArray Names;
    StringArray Keys;
    int Cols = 0;
    int Rows = 0;
    int Capacity = 0;
};

// The index of a column the caller cannot do without; throws EOrvoError "Field not found:" + name,
// as GetField does.
inline int RequiredColumn(const CMatrix& table, const char* name) {
    const int j = table.FindColumn(name);
    if (j < 0) {
        throw EOrvoError(std::string("Field not found:") + name);
    }
    return j;
}
