// The client's result table over any sequence of messages a server may send: every reply is
// either refused or stored so that each cell reads back as the message's own pair of that name,
// and the table stays readable whatever came before.

#include <memory>
#include <string>
#include <string_view>

#include "core/CList.h"
#include "core/CMatrix.h"
#include "fuzz/FuzzCheck.h"

namespace {

// Cells the harness lets a table hold: beyond this an input only measures the machine's memory,
// which is the table's own bound to keep, not this target's.
constexpr long long MaxCells = 1 << 21;
// Cells compared one by one per message; past it only the table's shape is checked.
constexpr long long MaxCompared = 1 << 14;

void CheckNewRows(const CMatrix& table, const CList& message, int firstRow) {
    const long long cells = static_cast<long long>(table.ColCount()) *
                            static_cast<long long>(table.RowCount() - firstRow + 1);
    if (cells > MaxCompared) {
        return;
    }
    for (int row = firstRow; row <= table.RowCount(); ++row) {
        for (int col = 0; col < table.ColCount(); ++col) {
            const std::string name = std::to_string(col + 1) + ":" + std::to_string(row);
            FuzzCheck(table.Cell(col, row) == message.GetValue(name),
                      "a new cell holds the value its name finds in the message");
        }
    }
}

void CheckNames(const CMatrix& table) {
    for (int col = 0; col < table.ColCount(); ++col) {
        const std::string name(table.Cell(col, 0));
        FuzzCheck(!name.empty(), "a column keeps a name");
        const int found = table.FindColumn(name);
        FuzzCheck(found >= 0 && found <= col, "a column is found by its own name");
        FuzzCheck(table.GetField(name, table.RowCount()) == table.Cell(found, table.RowCount()),
                  "the field read by name is the cell at the column found");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view stream = FuzzText(data, size);
    auto table = std::make_unique<CMatrix>();
    // Messages as the client cuts them from its stream: each ends at 0x01 followed by 0x02.
    while (!stream.empty()) {
        size_t end = stream.find("\x01\x02");
        std::string_view text = stream.substr(0, end == std::string_view::npos ? end : end + 2);
        stream.remove_prefix(text.size());
        CList message;
        if (message.Decode(text) != 0) {
            continue;
        }
        const int rowsBefore = table->RowCount();
        const int rc = table->AddFromMessage(message);
        FuzzCheck(rc == 0 || rc == 2 || rc == 10, "a message is stored, refused or ends the set");
        if (rc == 2) {
            // The client ends the exchange at a refusal; the next one starts a table afresh.
            table = std::make_unique<CMatrix>();
            continue;
        }
        FuzzCheck(table->ColCount() >= 0 && table->ColCount() <= CMatrix::MaxCols,
                  "the columns stay within the table's bound");
        if (message.GetValue("OPERATION") == "QUERYRESULT") {
            FuzzCheck(table->RowCount() == 0, "a new result starts without rows");
        } else if (rc == 0) {
            FuzzCheck(table->RowCount() >= rowsBefore &&
                          table->RowCount() - rowsBefore <= CMatrix::MaxRowsPerMessage,
                      "one message adds at most a batch of rows");
            CheckNewRows(*table, message, rowsBefore + 1);
        } else {
            FuzzCheck(table->RowCount() == rowsBefore, "the end of the set adds no row");
        }
        CheckNames(*table);
        if (static_cast<long long>(table->RowCount() + 1) * table->ColCount() > MaxCells) {
            break;
        }
    }
    return 0;
}
