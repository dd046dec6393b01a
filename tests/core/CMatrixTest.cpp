#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "AllocationCounter.h"
#include "core/CList.h"
#include "core/CMatrix.h"
#include "core/UOrvoCCommon.h"

namespace {

CList Message(std::initializer_list<std::pair<std::string, std::string>> pairs) {
    CList m;
    for (const auto& [name, value] : pairs) {
        m.AddValue(name, value);
    }
    return m;
}

int Header(CMatrix& t, std::initializer_list<std::string> names) {
    CList m;
    m.AddValue("OPERATION", "QUERYRESULT");
    m.AddValue("COLS", std::to_string(names.size()));
    int j = 1;
    for (const std::string& n : names) {
        m.AddValue("NAME" + std::to_string(j++), n);
    }
    return t.AddFromMessage(m);
}

// A batch of k rows after the table's current rows, cell j:r holding "rj:c".
int Batch(CMatrix& t, int k, int cols) {
    CList m;
    m.AddValue("OPERATION", "QUERYITEM");
    m.AddValue("ITEMSSEND", std::to_string(k));
    for (int j = 1; j <= cols; ++j) {
        for (int r = t.RowCount() + 1; r <= t.RowCount() + k; ++r) {
            m.AddValue(std::to_string(j) + ":" + std::to_string(r),
                       "r" + std::to_string(r) + "c" + std::to_string(j));
        }
    }
    return t.AddFromMessage(m);
}

std::string ErrorOf(const CMatrix& t, const std::string& name, int row) {
    try {
        t.GetField(name, row);
    } catch (const EOrvoError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(CMatrix, HeaderThenBatchesFillInArrivalOrder) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"Titolo", "Autore"}), 0);
    EXPECT_EQ(t.ColCount(), 2);
    EXPECT_EQ(t.RowCount(), 0);
    EXPECT_EQ(t.GetCapacity(), 1);
    EXPECT_EQ(t.GetField("titolo", 0), "Titolo");

    ASSERT_EQ(Batch(t, 3, 2), 0);
    EXPECT_EQ(t.RowCount(), 3);
    EXPECT_EQ(t.GetCapacity(), 2049);
    ASSERT_EQ(Batch(t, 2, 2), 0);
    EXPECT_EQ(t.RowCount(), 5);
    EXPECT_EQ(t.GetField("Autore", 4), "r4c2");
    EXPECT_EQ(t.GetField("Titolo", 5), "r5c1");
    EXPECT_EQ(t.GetField("Titolo", 1), "r1c1");
}

TEST(CMatrix, CapacityGrowsInStepsOf2048) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"A"}), 0);
    ASSERT_EQ(Batch(t, 1024, 1), 0);
    ASSERT_EQ(Batch(t, 1024, 1), 0);
    EXPECT_EQ(t.GetCapacity(), 2049); // 2048 rows plus the name row still fit
    ASSERT_EQ(Batch(t, 1, 1), 0);
    EXPECT_EQ(t.GetCapacity(), 4097);
    EXPECT_EQ(t.GetField("A", 2049), "r2049c1");
    EXPECT_EQ(t.GetField("A", 2048), "r2048c1");
}

TEST(CMatrix, DoneEndsTheSetWithoutChangingTheTable) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"A"}), 0);
    CList done = Message(
        {{"OPERATION", "QUERYITEM"}, {"DONE", " TRUE\r\n"}, {"ITEMSSEND", "1"}, {"1:1", "x"}});
    EXPECT_EQ(t.AddFromMessage(done), 10);
    EXPECT_EQ(t.RowCount(), 0);
    // Lower case is no end: the message counts as a batch.
    CList lower =
        Message({{"OPERATION", "QUERYITEM"}, {"DONE", "true"}, {"ITEMSSEND", "1"}, {"1:1", "x"}});
    EXPECT_EQ(t.AddFromMessage(lower), 0);
    EXPECT_EQ(t.GetField("A", 1), "x");
}

// DONE is found wherever the message holds it, before or after the cells, in the server's
// order or any other; only the first DONE counts, and a set that is done keeps nothing of the
// message.
TEST(CMatrix, DoneAnywhereInABatchEndsTheSetAndStoresNothing) {
    for (bool inOrder : {true, false}) {
        CMatrix t;
        ASSERT_EQ(Header(t, {"A", "B"}), 0);
        ASSERT_EQ(Batch(t, 2, 2), 0);
        auto batch = [&](std::vector<std::pair<std::string, std::string>> tail) {
            std::string wire = "OPERATION=QUERYITEM\x01ITEMSSEND=3\x01";
            for (int j = 1; j <= 2; ++j) {
                for (int r = 3; r <= 5; ++r) {
                    const int row = inOrder ? r : 8 - r;
                    wire += std::to_string(j) + ":" + std::to_string(row) + "=v" +
                            std::to_string(j) + std::to_string(row) + "\x01";
                }
            }
            for (const auto& [name, value] : tail) {
                wire += name + "=" + value + "\x01";
            }
            CList m;
            EXPECT_EQ(m.Decode(wire + "\x02"), 0);
            return t.AddFromMessage(m);
        };
        EXPECT_EQ(batch({{"DONE", "TRUE"}}), 10) << inOrder;
        // After one such message the room for sorting a batch is as large as it gets.
        const size_t stored = t.StoredBytes();
        EXPECT_EQ(batch({{"DONE", " TRUE\r"}, {"DONE", "FALSE"}}), 10) << inOrder;
        EXPECT_EQ(t.RowCount(), 2);
        EXPECT_EQ(t.StoredBytes(), stored);
        EXPECT_EQ(batch({{"DONE", "FALSE"}, {"DONE", "TRUE"}}), 0) << inOrder;
        EXPECT_EQ(t.RowCount(), 5);
        EXPECT_EQ(t.GetField("B", 5), "v25");
        EXPECT_EQ(t.GetField("A", 2), "r2c1");
    }
    // Without cells to walk, or with a count the table refuses, DONE still decides first.
    CMatrix t;
    ASSERT_EQ(Header(t, {"A"}), 0);
    EXPECT_EQ(t.AddFromMessage(
                  Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "0"}, {"DONE", "TRUE"}})),
              10);
    EXPECT_EQ(t.AddFromMessage(
                  Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "1025"}, {"DONE", "TRUE"}})),
              10);
    EXPECT_EQ(t.AddFromMessage(Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "1025"}})), 2);
    EXPECT_EQ(t.RowCount(), 0);
}

TEST(CMatrix, RowCountLimitsAndBadCountsLeaveTheTableAlone) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"A"}), 0);
    for (const char* bad : {"1025", "-1", "", "abc", "3x"}) {
        CList m = Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", bad}, {"1:1", "x"}});
        EXPECT_EQ(t.AddFromMessage(m), 2) << bad;
        EXPECT_EQ(t.RowCount(), 0);
        EXPECT_EQ(t.GetCapacity(), 1);
    }
    EXPECT_EQ(t.AddFromMessage(Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "0"}})), 0);
    EXPECT_EQ(t.RowCount(), 0);
    EXPECT_EQ(Batch(t, 1024, 1), 0);
    EXPECT_EQ(t.RowCount(), 1024);
}

TEST(CMatrix, CellsAreStoredAsReceived) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"  Nome\t", "Altro"}), 0);
    CList m = Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "2"}, {"1:1", "  lead\xE8 "}});
    ASSERT_EQ(t.AddFromMessage(m), 0);
    EXPECT_EQ(t.GetField("NOME", 0), "Nome");
    EXPECT_EQ(t.GetField("nome", 1), "  lead\xE8 ");
    EXPECT_EQ(t.GetField("Altro", 1), "");
    EXPECT_EQ(t.GetField("Nome", 2), "");
}

TEST(CMatrix, ColumnCountLimitsAndNames) {
    CMatrix t;
    CList wide = Message({{"OPERATION", "QUERYRESULT"}, {"COLS", "256"}});
    for (int j = 1; j <= 256; ++j) {
        wide.AddValue("NAME" + std::to_string(j), "C" + std::to_string(j));
    }
    EXPECT_EQ(t.AddFromMessage(wide), 0);
    EXPECT_EQ(t.ColCount(), 256);
    EXPECT_EQ(t.GetField("c256", 0), "C256");

    wide.SetValue("COLS", "257");
    EXPECT_EQ(t.AddFromMessage(wide), 2);
    EXPECT_EQ(t.ColCount(), 256); // unchanged

    EXPECT_EQ(t.AddFromMessage(Message({{"OPERATION", "QUERYRESULT"}, {"COLS", "0"}})), 0);
    EXPECT_EQ(t.ColCount(), 0);
    EXPECT_EQ(t.AddFromMessage(Message({{"OPERATION", "QUERYRESULT"}, {"COLS", "x"}})), 2);
}

TEST(CMatrix, EmptyNameRejectsTheHeaderButKeepsWhatCameBefore) {
    CMatrix t;
    CList m =
        Message({{"OPERATION", "QUERYRESULT"}, {"COLS", "3"}, {"NAME1", "Uno"}, {"NAME2", " \t "}});
    EXPECT_EQ(t.AddFromMessage(m), 2);
    EXPECT_EQ(t.ColCount(), 3);
    EXPECT_EQ(t.RowCount(), 0);
    EXPECT_EQ(t.GetField("uno", 0), "Uno");
    // The unnamed columns compare as empty names, the first of them wins.
    EXPECT_EQ(t.GetField("  ", 0), "");
    EXPECT_EQ(ErrorOf(t, "Tre", 0), "Field not found:Tre");
}

TEST(CMatrix, OnlyTheTwoResultOperationsAreAccepted) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"A"}), 0);
    for (const char* op : {"QUERYITEMS", "queryitem", "", " QUERYITEM"}) {
        CList m = Message({{"OPERATION", op}, {"ITEMSSEND", "1"}, {"COLS", "1"}});
        EXPECT_EQ(t.AddFromMessage(m), 2) << op;
    }
    EXPECT_EQ(t.AddFromMessage(Message({{"ITEMSSEND", "1"}})), 2);
    EXPECT_EQ(t.RowCount(), 0);
    EXPECT_EQ(t.GetField("A", 0), "A");
}

TEST(CMatrix, GetFieldErrors) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"Nome", "nome"}), 0);
    ASSERT_EQ(Batch(t, 2, 2), 0);
    EXPECT_EQ(t.GetField(" NOME ", 2), "r2c1"); // the first of two equal names
    EXPECT_EQ(ErrorOf(t, "Nome", 3), "Bound error");
    EXPECT_EQ(ErrorOf(t, "Nome", -1), "Bound error");
    EXPECT_EQ(ErrorOf(t, " Titolo", 1), "Field not found: Titolo");
    // The row is checked first.
    EXPECT_EQ(ErrorOf(t, "Titolo", 9), "Bound error");
}

TEST(CMatrix, RowsBeforeAnyHeaderAreCountedButHoldNoCells) {
    CMatrix t;
    EXPECT_EQ(Batch(t, 3, 1), 0);
    EXPECT_EQ(t.RowCount(), 3);
    EXPECT_EQ(ErrorOf(t, "1", 1), "Field not found:1");

    // A set that never ends is refused before its counts overflow.
    CList batch = Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "1024"}});
    int result = 0;
    for (int i = 0; i < 2200000 && result == 0; ++i) {
        result = t.AddFromMessage(batch);
    }
    EXPECT_EQ(result, 2);
    EXPECT_GT(t.RowCount(), 2000000000);
    EXPECT_GE(t.GetCapacity(), t.RowCount() + 1);
}

TEST(CMatrix, HeaderResetsAFilledTable) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"A"}), 0);
    ASSERT_EQ(Batch(t, 5, 1), 0);
    ASSERT_EQ(Header(t, {"B"}), 0);
    EXPECT_EQ(t.RowCount(), 0);
    EXPECT_EQ(t.GetCapacity(), 1);
    EXPECT_EQ(ErrorOf(t, "A", 0), "Field not found:A");
}

TEST(CMatrix, MoveCopyAndClear) {
    CMatrix source;
    ASSERT_EQ(Header(source, {"A", "B"}), 0);
    ASSERT_EQ(Batch(source, 3, 2), 0);

    CMatrix copy;
    ASSERT_EQ(Header(copy, {"Z"}), 0);
    copy.CopyFrom(source);
    EXPECT_EQ(copy.RowCount(), 3);
    EXPECT_EQ(copy.GetCapacity(), source.GetCapacity());
    EXPECT_EQ(copy.GetField("b", 3), "r3c2");
    ASSERT_EQ(Batch(copy, 1, 2), 0);
    EXPECT_EQ(source.RowCount(), 3); // the copy is independent

    CMatrix moved;
    moved.MoveFrom(source);
    EXPECT_EQ(moved.GetField("A", 2), "r2c1");
    EXPECT_EQ(source.RowCount(), 0);
    EXPECT_EQ(source.ColCount(), 0);
    EXPECT_EQ(source.GetCapacity(), 0);
    EXPECT_EQ(ErrorOf(source, "A", 0), "Field not found:A");

    moved.MoveFrom(moved); // a table handed to itself keeps its rows
    EXPECT_EQ(moved.RowCount(), 3);

    std::unique_ptr<CMatrix> taken(CMatrix::CreateFrom(moved));
    EXPECT_EQ(taken->GetField("B", 1), "r1c2");
    EXPECT_EQ(moved.RowCount(), 0);

    taken->Clear();
    EXPECT_EQ(taken->RowCount(), 0);
    EXPECT_EQ(taken->ColCount(), 0);
    EXPECT_EQ(taken->GetCapacity(), 0);
}

// Every stored cell must be what a lookup of its name from the head gives, whatever the order,
// duplicates and look-alike names of the message: "01:1", "1:1 " and "+1:1" name no cell, the
// first of two equal names wins, pairs for earlier rows or unknown columns change nothing.
TEST(CMatrix, CellsMatchALookupByNameInAnyMessage) {
    std::mt19937 rng(7);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 200; ++round) {
        CMatrix t;
        ASSERT_EQ(Header(t, {"A", "B", "C"}), 0);
        ASSERT_EQ(Batch(t, pick(4), 3), 0);
        const int before = t.RowCount();
        const int k = pick(6);
        CList m = Message({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", std::to_string(k)}});
        for (int n = pick(40); n > 0; --n) {
            const std::string j = std::to_string(pick(5));
            const std::string r = std::to_string(pick(before + k + 2));
            const std::string names[] = {j + ":" + r,       "0" + j + ":" + r, j + ":" + r + " ",
                                         "+" + j + ":" + r, j + "::" + r,      j + ":0" + r};
            m.AddValue(pick(3) == 0 ? names[pick(6)] : names[0], "v" + std::to_string(n));
        }
        std::vector<std::string> earlier;
        for (int r = 1; r <= before; ++r) {
            earlier.emplace_back(t.GetField("A", r));
        }
        ASSERT_EQ(t.AddFromMessage(m), 0);
        ASSERT_EQ(t.RowCount(), before + k);
        for (int r = 1; r <= before; ++r) {
            EXPECT_EQ(t.GetField("A", r), earlier[r - 1]);
        }
        const char* cols[] = {"A", "B", "C"};
        for (int j = 1; j <= 3; ++j) {
            for (int r = before + 1; r <= before + k; ++r) {
                const RList* node = m.FindNodeByWalk(std::to_string(j) + ":" + std::to_string(r));
                EXPECT_EQ(t.GetField(cols[j - 1], r), node ? node->Value : "")
                    << "round " << round << " cell " << j << ":" << r;
            }
        }
    }
}

namespace {

CList Announced(int rows, const std::vector<std::pair<std::string, std::string>>& cells = {}) {
    CList m;
    m.AddValue("OPERATION", "QUERYITEM");
    m.AddValue("ITEMSSEND", std::to_string(rows));
    for (const auto& [name, value] : cells) {
        m.AddValue(name, value);
    }
    return m;
}

void WideHeader(CMatrix& t) {
    CList m;
    m.AddValue("OPERATION", "QUERYRESULT");
    m.AddValue("COLS", std::to_string(CMatrix::MaxCols));
    for (int j = 1; j <= CMatrix::MaxCols; ++j) {
        m.AddValue("NAME" + std::to_string(j), "C" + std::to_string(j));
    }
    ASSERT_EQ(t.AddFromMessage(m), 0);
}

} // namespace

// The table grows with the cells that arrived: rows announced without cells, or with one cell
// in a quarter of a million places, cost next to nothing, and still read as empty.
TEST(CMatrix, AnnouncedRowsCostNoMemory) {
    CMatrix t;
    WideHeader(t);
    const CList empty = Announced(CMatrix::MaxRowsPerMessage);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(t.AddFromMessage(empty), 0);
    }
    EXPECT_EQ(t.RowCount(), 100 * CMatrix::MaxRowsPerMessage);
    EXPECT_EQ(t.StoredBytes(), 0u);
    EXPECT_EQ(t.GetField("C256", 102400), "");

    for (int i = 0; i < 100; ++i) {
        const int row = t.RowCount() + 1 + i;
        ASSERT_EQ(t.AddFromMessage(
                      Announced(CMatrix::MaxRowsPerMessage, {{"256:" + std::to_string(row), "x"}})),
                  0);
    }
    // One cell each: its text and place, and the batch's bookkeeping.
    EXPECT_LT(t.StoredBytes(), 100u * 256u);
    const int first = 100 * CMatrix::MaxRowsPerMessage + 1;
    EXPECT_EQ(t.GetField("C256", first), "x");
    EXPECT_EQ(t.GetField("C256", first + 1), "");
    EXPECT_EQ(t.GetField("C1", first), "");
    EXPECT_EQ(t.GetField("C256", first + CMatrix::MaxRowsPerMessage + 1), "x");
}

// Full batches keep their text compactly: the cells' bytes and four bytes of place each, beside
// the reusable room for sorting one batch's cells.
TEST(CMatrix, FullBatchesStoreTheirTextCompactly) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"A", "B"}), 0);
    size_t text = 0;
    for (int b = 0; b < 3; ++b) {
        ASSERT_EQ(Batch(t, CMatrix::MaxRowsPerMessage, 2), 0);
    }
    for (int r = 1; r <= t.RowCount(); ++r) {
        text += t.GetField("A", r).size() + t.GetField("B", r).size();
    }
    EXPECT_EQ(t.GetField("B", 3072), "r3072c2");
    EXPECT_LE(t.StoredBytes(), text + 3 * 2 * 1024 * 4 + 2 * 1024 * 24 + 4096);
}

// A batch's cells arrive in the server's order, in any other order, or twice: each reads back
// as the first pair of its name, and the export reads the same through Cell.
TEST(CMatrix, CellOrderOfTheMessageDoesNotMatter) {
    for (bool rowOrder : {false, true}) {
        CMatrix t;
        ASSERT_EQ(Header(t, {"A", "B", "C"}), 0);
        std::vector<std::pair<std::string, std::string>> cells;
        for (int a = 1; a <= (rowOrder ? 5 : 3); ++a) {
            for (int b = 1; b <= (rowOrder ? 3 : 5); ++b) {
                const int j = rowOrder ? b : a;
                const int r = rowOrder ? a : b;
                cells.emplace_back(std::to_string(j) + ":" + std::to_string(r),
                                   std::to_string(j) + "/" + std::to_string(r));
            }
        }
        cells.emplace_back("2:2", "late duplicate");
        // Announced adds last-first: reverse so the wire holds the pairs in the order above.
        std::reverse(cells.begin(), cells.end());
        ASSERT_EQ(t.AddFromMessage(Announced(5, cells)), 0);
        for (int j = 1; j <= 3; ++j) {
            for (int r = 1; r <= 5; ++r) {
                const std::string expected = std::to_string(j) + "/" + std::to_string(r);
                EXPECT_EQ(t.Cell(j - 1, r), expected) << rowOrder << " " << j << ":" << r;
            }
        }
    }
}

// Handing a filled table over moves its cells, never copies them: views taken before the move
// still read the same bytes afterwards.
TEST(CMatrix, HandingOverKeepsTheCellsInPlace) {
    CMatrix source;
    ASSERT_EQ(Header(source, {"A"}), 0);
    ASSERT_EQ(Batch(source, 10, 1), 0);
    const std::string_view before = source.GetField("A", 7);
    std::unique_ptr<CMatrix> taken = CMatrix::CreateFrom(source);
    EXPECT_EQ(taken->GetField("A", 7).data(), before.data());
    CMatrix again;
    again.MoveFrom(*taken);
    EXPECT_EQ(again.GetField("A", 7).data(), before.data());
    EXPECT_EQ(again.GetField("A", 7), "r7c1");
}

// Messages as a server might send them: the cells row by row, column by column, shuffled, with
// gaps and stray names, the count first, last or twice, DONE here and there. Each is decoded
// from its wire text and must do what the plain lookups by name say: DONE first, then the
// first count, then each cell the first pair of its name.
TEST(CMatrix, AnyMessageDoesWhatItsFirstPairsOfEachNameSay) {
    std::mt19937 rng(23);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* counts[] = {"3", "0", "2", " 4", "x", "-1", "1025", ""};
    for (int round = 0; round < 3000; ++round) {
        const int cols = 1 + pick(4);
        CMatrix t;
        CList header;
        header.AddValue("OPERATION", "QUERYRESULT");
        header.AddValue("COLS", std::to_string(cols));
        for (int j = 1; j <= cols; ++j) {
            header.AddValue("NAME" + std::to_string(j), "C" + std::to_string(j));
        }
        ASSERT_EQ(t.AddFromMessage(header), 0);
        ASSERT_EQ(Batch(t, pick(3), cols), 0);
        const int before = t.RowCount();
        const int rows = 1 + pick(4);
        std::vector<std::pair<std::string, std::string>> cells;
        const int order = pick(3);
        for (int a = 1; a <= (order == 0 ? rows : cols); ++a) {
            for (int b = 1; b <= (order == 0 ? cols : rows); ++b) {
                const int j = order == 0 ? b : a;
                const int r = before + (order == 0 ? a : b);
                if (pick(8) != 0) {
                    cells.emplace_back(std::to_string(j) + ":" + std::to_string(r),
                                       std::string(static_cast<size_t>(pick(70)), 'a' + pick(26)));
                }
            }
        }
        for (int n = pick(3); n > 0; --n) {
            cells.emplace_back(std::to_string(1 + pick(cols + 1)) + ":" +
                                   std::to_string(before + pick(rows + 2)),
                               "dup" + std::to_string(n));
        }
        if (order == 2) {
            std::shuffle(cells.begin(), cells.end(), rng);
        }
        auto insert = [&](const std::string& name, const std::string& value) {
            const auto at = static_cast<size_t>(pick(static_cast<int>(cells.size()) + 1));
            cells.insert(cells.begin() + static_cast<std::ptrdiff_t>(at), {name, value});
        };
        if (pick(4) != 0) {
            cells.emplace_back("ITEMSSEND", std::to_string(rows)); // where orvo-server puts it
        }
        for (int n = pick(3); n > 0; --n) {
            insert("ITEMSSEND", counts[pick(std::size(counts))]);
        }
        if (pick(5) == 0) {
            insert("DONE", pick(2) == 0 ? "TRUE" : "FALSE");
        }
        std::string wire = "OPERATION=QUERYITEM\x01";
        for (const auto& [name, value] : cells) {
            wire += name + "=" + value + "\x01";
        }
        CList m;
        ASSERT_EQ(m.Decode(wire + "\x02"), 0);

        const RList* done = m.FindNodeByWalk("DONE");
        const RList* count = m.FindNodeByWalk("ITEMSSEND");
        const std::optional<long long> k = StrToIntOpt(count ? count->Value : "");
        const int expected = done != nullptr && done->Value == "TRUE"          ? 10
                             : !k || *k < 0 || *k > CMatrix::MaxRowsPerMessage ? 2
                                                                               : 0;
        ASSERT_EQ(t.AddFromMessage(m), expected) << "round " << round;
        ASSERT_EQ(t.RowCount(), before + (expected == 0 ? static_cast<int>(*k) : 0));
        for (int r = 1; r <= t.RowCount(); ++r) {
            for (int j = 1; j <= cols; ++j) {
                const std::string name = std::to_string(j) + ":" + std::to_string(r);
                const RList* node = m.FindNodeByWalk(name);
                const std::string want = r <= before
                                             ? "r" + std::to_string(r) + "c" + std::to_string(j)
                                         : node != nullptr ? std::string(node->Value)
                                                           : std::string();
                ASSERT_EQ(t.Cell(j - 1, r), want) << "round " << round << " cell " << name;
            }
        }
    }
}

// A large result fills many chunks of storage: every cell reads back whole whatever its length
// (around the sizes copied in fixed steps, and empty), after the move and in a copy too.
TEST(CMatrix, ManyBatchesOfEveryValueLengthReadBackWhole) {
    std::mt19937 rng(11);
    const size_t lengths[] = {0, 1, 31, 32, 33, 63, 64, 65, 200, 1000};
    auto value = [&](int j, int r) {
        std::string v = std::to_string(j) + "/" + std::to_string(r) + ":";
        v.resize(std::max(v.size(), lengths[rng() % std::size(lengths)]),
                 static_cast<char>('a' + r % 26));
        return rng() % 50 == 0 ? std::string() : v;
    };
    CMatrix t;
    ASSERT_EQ(Header(t, {"A", "B", "C"}), 0);
    std::vector<std::string> expected(1, std::string());
    for (int b = 0; b < 40; ++b) {
        std::string wire = "OPERATION=QUERYITEM\x01ITEMSSEND=1024\x01";
        const int first = t.RowCount() + 1;
        expected.resize(static_cast<size_t>(first + 1024) * 3);
        for (int j = 1; j <= 3; ++j) {
            for (int r = first; r < first + 1024; ++r) {
                std::string v = value(j, r);
                wire += std::to_string(j) + ":" + std::to_string(r) + "=" + v + "\x01";
                expected[static_cast<size_t>(r) * 3 + static_cast<size_t>(j - 1)] = std::move(v);
            }
        }
        CList m;
        ASSERT_EQ(m.Decode(wire + "\x02"), 0);
        ASSERT_EQ(t.AddFromMessage(m), 0);
    }
    CMatrix moved;
    moved.MoveFrom(t);
    CMatrix copy;
    copy.CopyFrom(moved);
    size_t text = 0;
    for (const CMatrix* table : {&moved, &copy}) {
        ASSERT_EQ(table->RowCount(), 40 * 1024);
        for (int r = 1; r <= table->RowCount(); ++r) {
            for (int j = 0; j < 3; ++j) {
                ASSERT_EQ(table->Cell(j, r),
                          expected[static_cast<size_t>(r) * 3 + static_cast<size_t>(j)])
                    << j << ":" << r;
                text += table == &moved ? table->Cell(j, r).size() : 0;
            }
        }
    }
    // The cells' bytes, four bytes of place each, and the unused end of the last chunks.
    EXPECT_LE(moved.StoredBytes(), text + 40u * 3 * 1024 * 4 + 64 * 1024);
    EXPECT_LE(copy.StoredBytes(), moved.StoredBytes());
}

// A table fed batch after batch makes a few allocations per batch, not one per cell.
TEST(CMatrix, BatchesAllocatePerBatchNotPerCell) {
    CMatrix t;
    ASSERT_EQ(Header(t, {"A", "B", "C", "D"}), 0);
    CList m;
    m.AddValue("OPERATION", "QUERYITEM");
    m.AddValue("ITEMSSEND", "1024");
    for (int j = 4; j >= 1; --j) {
        for (int r = 1024; r >= 1; --r) {
            m.AddValue(std::to_string(j) + ":" + std::to_string(r), "value of some length");
        }
    }
    ASSERT_EQ(t.AddFromMessage(m), 0); // warms the table's reusable parts
    CList next;
    std::string wire = "OPERATION=QUERYITEM\x01ITEMSSEND=1024\x01";
    for (int j = 1; j <= 4; ++j) {
        for (int r = 1025; r <= 2048; ++r) {
            wire += std::to_string(j) + ":" + std::to_string(r) + "=value of some length\x01";
        }
    }
    ASSERT_EQ(next.Decode(wire + "\x02"), 0);
    AllocationsDuring during;
    ASSERT_EQ(t.AddFromMessage(next), 0);
    EXPECT_LE(during.Count(), 4u);
    EXPECT_EQ(t.GetField("D", 2048), "value of some length");
}
