// A full QUERYITEM batch as the server sends it: 1024 rows of 16 columns, cell values of 5 to
// 200 bytes of catalogue-like text. Measures decoding the wire text, pouring the decoded message
// into a table, and the same pouring with every lookup done by a plain walk from the head.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "core/CList.h"
#include "core/CMatrix.h"

namespace {

constexpr int Rows = 1024;
constexpr int Cols = 16;

std::string CellText(std::mt19937& rng) {
    static const std::string words[] = {"Il",        "nome",   "della",   "rosa",   "citt\xE0",
                                        "perch\xE9", "Milano", "1987",    "CD",     "libro",
                                        "Einaudi",   "storia", "l'isola", "pi\xF9", "romanzo"};
    const size_t length = 5 + rng() % 196;
    std::string text;
    while (text.size() < length) {
        text += words[rng() % std::size(words)];
        text.push_back(' ');
    }
    text.resize(length);
    return text;
}

enum class Order { Columns, Rows };

// The batch's wire text. The server sends the pairs column by column, each column's rows in
// order (1:1, 1:2, ..., 2:1, ...); row by row is the other order a sender might use.
const std::string& BatchText(Order order = Order::Columns) {
    auto build = [](Order o) {
        std::mt19937 rng(2026);
        std::vector<std::string> cells(Rows * Cols);
        for (std::string& c : cells) {
            c = CellText(rng);
        }
        std::string wire = "OPERATION=QUERYITEM\x01"
                           "CONTEXT=7\x01ITEMSSEND=" +
                           std::to_string(Rows) + "\x01";
        auto pair = [&](int j, int r) {
            wire += std::to_string(j) + ":" + std::to_string(r) + "=" +
                    cells[(j - 1) * Rows + (r - 1)] + "\x01";
        };
        for (int a = 1; a <= (o == Order::Columns ? Cols : Rows); ++a) {
            for (int b = 1; b <= (o == Order::Columns ? Rows : Cols); ++b) {
                o == Order::Columns ? pair(a, b) : pair(b, a);
            }
        }
        return wire + "\x02";
    };
    static const std::string columns = build(Order::Columns);
    static const std::string rows = build(Order::Rows);
    return order == Order::Columns ? columns : rows;
}

CList Header() {
    CList header;
    header.AddValue("OPERATION", "QUERYRESULT");
    header.AddValue("COLS", std::to_string(Cols));
    for (int j = 1; j <= Cols; ++j) {
        header.AddValue("NAME" + std::to_string(j), "Campo" + std::to_string(j));
    }
    return header;
}

void BM_Decode(benchmark::State& state) {
    const std::string& text = BatchText();
    for (auto _ : state) {
        CList message;
        benchmark::DoNotOptimize(message.Decode(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}

// A fresh table each time: header, then the whole batch (the first batch also allocates the
// table's 2049 row slots per column).
void BM_AddFromMessage(benchmark::State& state, Order order) {
    CList message;
    if (message.Decode(BatchText(order)) != 0) {
        state.SkipWithError("batch does not decode");
        return;
    }
    const CList header = Header();
    for (auto _ : state) {
        CMatrix table;
        table.AddFromMessage(header);
        benchmark::DoNotOptimize(table.AddFromMessage(message));
        if (table.RowCount() != Rows) {
            state.SkipWithError("rows missing");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(BatchText().size()));
}

// The same cells stored in the same column arrays, every j:r looked up by name: through the
// list's index, and, as the reference, by a walk from the head as a list without index would do.
template <bool ByWalk> void BM_CellLookups(benchmark::State& state) {
    CList message;
    if (message.Decode(BatchText()) != 0) {
        state.SkipWithError("batch does not decode");
        return;
    }
    for (auto _ : state) {
        Node cells(Cols, StringArray(CMatrix::CapacityStep + 1));
        for (int j = 1; j <= Cols; ++j) {
            const std::string prefix = std::to_string(j) + ":";
            for (int r = 1; r <= Rows; ++r) {
                const std::string name = prefix + std::to_string(r);
                const RList* node = ByWalk ? message.FindNodeByWalk(name) : message.FindNode(name);
                cells[j - 1][r] = node != nullptr ? node->Value : std::string();
            }
        }
        benchmark::DoNotOptimize(cells.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(BatchText().size()));
}

} // namespace

BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AddFromMessage, server_order, Order::Columns)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AddFromMessage, row_order, Order::Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CellLookups<false>)->Name("BM_LookupsByIndex")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CellLookups<true>)->Name("BM_LookupsByWalk")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
