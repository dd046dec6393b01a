#pragma once
// A result table: named columns of 8-bit text cells, filled from QUERYRESULT and QUERYITEM
// messages and read by row number (from 1) and column name. Row 0 holds the column names.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/OrvoError.h"

class CList;

using StringArray = std::vector<std::string>;
using Node = std::vector<StringArray>;

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
    int GetCapacity() const { return Capacity; }
    // Throws EOrvoError "Bound error" or "Field not found:" + name.
    const std::string& GetField(const std::string& name, int row) const;
    // 0 accepted, 10 result set complete, 2 rejected.
    int AddFromMessage(const CList& message);
    // For readers that walk many rows: the index of a column as GetField finds it (-1 when there
    // is none), and the cell at that index. Cell checks nothing: col from FindColumn, row from 0
    // to RowCount.
    int FindColumn(const std::string& name) const { return ColumnIndex(name); }
    const std::string& Cell(int col, int row) const { return Cells[col][row]; }

private:
    int ColumnIndex(const std::string& name) const;
    void FillRows(const CList& message, int count);

    // A column grows by whole steps without moving the cells it already holds: re-seating a
    // contiguous column of a hundred thousand rows stalled the event loop mid-transfer.
    using Column = std::deque<std::string>;
    std::vector<Column> Cells;
    // Column names as GetField compares them (trimmed, ASCII upper case), one per column.
    StringArray Keys;
    int Cols = 0;
    int Rows = 0;
    int Capacity = 0;
};
