// A full QUERYITEM batch as the server sends it: 1024 rows of 16 columns. Two shapes: cell
// values of 5 to 200 bytes of catalogue-like text, and values shaped like a real works result
// (5 to 60 bytes, about 25 on average), where the cost per value rather than per byte decides.
// Measures decoding the wire text, pouring the decoded message into a table, and the same
// pouring with every lookup done by a plain walk from the head; then, side by side in one run,
// the real-shaped batches against the floor: a plain tokeniser that splits on the separators
// and copies each value into one buffer.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
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

// The batch's wire text. orvo-server sends the pairs row by row (1:1, 2:1, ..., 1:2, ...) with
// ITEMSSEND last, as it knows the count only then; column by column, each column's rows in
// order, is the other order a sender might use.
const std::string& BatchText(Order order = Order::Rows) {
    auto build = [](Order o) {
        std::mt19937 rng(2026);
        std::vector<std::string> cells(Rows * Cols);
        for (std::string& c : cells) {
            c = CellText(rng);
        }
        std::string wire = "OPERATION=QUERYITEM\x01";
        auto pair = [&](int j, int r) {
            wire += std::to_string(j) + ":" + std::to_string(r) + "=" +
                    cells[(j - 1) * Rows + (r - 1)] + "\x01";
        };
        for (int a = 1; a <= (o == Order::Columns ? Cols : Rows); ++a) {
            for (int b = 1; b <= (o == Order::Columns ? Rows : Cols); ++b) {
                o == Order::Columns ? pair(a, b) : pair(b, a);
            }
        }
        return wire + "ITEMSSEND=" + std::to_string(Rows) + "\x01\x02";
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
        std::vector<StringArray> cells(Cols, StringArray(CMatrix::CapacityStep + 1));
        for (int j = 1; j <= Cols; ++j) {
            const std::string prefix = std::to_string(j) + ":";
            for (int r = 1; r <= Rows; ++r) {
                const std::string name = prefix + std::to_string(r);
                const RList* node = ByWalk ? message.FindNodeByWalk(name) : message.FindNode(name);
                cells[j - 1][r] = node != nullptr ? std::string(node->Value) : std::string();
            }
        }
        benchmark::DoNotOptimize(cells.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(BatchText().size()));
}

// --- real-shaped batches ---------------------------------------------------------------------

constexpr int RealBatches = 16;

// 5 to 60 bytes, about 25 on average: most values are short (codes, counts, dates, names), a
// third are titles and descriptions.
std::string RealCellText(std::mt19937& rng) {
    static const char letters[] = "abcdefghilmnoprstuvz AEIOU\xE0\xE8\xE9\xEC\xF2\xF9"
                                  "0123456789'";
    const size_t length = rng() % 10 < 7 ? 5 + rng() % 21 : 37 + rng() % 24;
    std::string text(length, ' ');
    for (char& c : text) {
        c = letters[rng() % (sizeof(letters) - 1)];
    }
    return text;
}

// The wire texts of consecutive batches, rows 1 to RealBatches * Rows, as orvo-server sends
// them: row by row, the count last.
const std::vector<std::string>& RealBatchTexts() {
    static const std::vector<std::string> texts = [] {
        std::mt19937 rng(2027);
        std::vector<std::string> out;
        for (int b = 0; b < RealBatches; ++b) {
            std::string wire = "OPERATION=QUERYITEM\x01";
            for (int r = b * Rows + 1; r <= (b + 1) * Rows; ++r) {
                for (int j = 1; j <= Cols; ++j) {
                    wire += std::to_string(j) + ":" + std::to_string(r) + "=" + RealCellText(rng) +
                            "\x01";
                }
            }
            out.push_back(wire + "ITEMSSEND=" + std::to_string(Rows) + "\x01\x02");
        }
        return out;
    }();
    return texts;
}

// The floor: split on the separators, each value copied into one buffer.
size_t PlainTokenise(const std::string& text) {
    std::string values;
    values.reserve(text.size());
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const auto* eq =
            static_cast<const char*>(std::memchr(p, '=', static_cast<size_t>(end - p)));
        if (eq == nullptr) {
            break;
        }
        const auto* stop = static_cast<const char*>(
            std::memchr(eq + 1, '\x01', static_cast<size_t>(end - eq - 1)));
        if (stop == nullptr) {
            break;
        }
        values.append(eq + 1, stop);
        p = stop + 1;
        if (p < end && *p == '\x02') {
            break;
        }
    }
    benchmark::DoNotOptimize(values.data());
    return values.size();
}

void BM_RealDecode(benchmark::State& state) {
    const std::string& text = RealBatchTexts()[0];
    for (auto _ : state) {
        CList message;
        benchmark::DoNotOptimize(message.Decode(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}

void BM_RealPlainTokeniser(benchmark::State& state) {
    const std::string& text = RealBatchTexts()[0];
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlainTokenise(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}

// Seconds per batch of one sample of each kind, the kinds interleaved so that a busy moment
// of the machine falls on all of them alike.
struct Sample {
    double Copy = 0;
    double Floor = 0;
    double Decode = 0;
    double DecodeAndAdd = 0;
};

// Processor time of this thread, page faults included: on a machine shared with other work it
// varies far less than the time on the clock.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F> double PerBatch(F&& work) {
    const double start = ThreadSeconds();
    work();
    return (ThreadSeconds() - start) / RealBatches;
}

Sample MeasureOnce() {
    const std::vector<std::string>& texts = RealBatchTexts();
    const CList header = Header();
    Sample s;
    s.Copy = PerBatch([&] {
        for (const std::string& t : texts) {
            auto copy = std::make_unique_for_overwrite<char[]>(t.size());
            std::memcpy(copy.get(), t.data(), t.size());
            benchmark::DoNotOptimize(copy.get());
        }
    });
    s.Floor = PerBatch([&] {
        for (const std::string& t : texts) {
            benchmark::DoNotOptimize(PlainTokenise(t));
        }
    });
    s.Decode = PerBatch([&] {
        for (const std::string& t : texts) {
            CList message;
            benchmark::DoNotOptimize(message.Decode(t));
        }
    });
    CMatrix table;
    table.AddFromMessage(header);
    s.DecodeAndAdd = PerBatch([&] {
        for (const std::string& t : texts) {
            CList message;
            message.Decode(t);
            benchmark::DoNotOptimize(table.AddFromMessage(message));
        }
    });
    if (table.RowCount() != RealBatches * Rows || table.GetField("Campo16", 16384).empty()) {
        std::fprintf(stderr, "real-shaped batches did not fill the table\n");
        std::exit(1);
    }
    return s;
}

void PrintSideBySide(int runs) {
    const std::vector<std::string>& texts = RealBatchTexts();
    size_t bytes = 0;
    for (const std::string& t : texts) {
        bytes += t.size();
    }
    MeasureOnce(); // warms the allocator and the caches
    std::vector<Sample> samples;
    for (int i = 0; i < runs; ++i) {
        samples.push_back(MeasureOnce());
    }
    auto stats = [&](double Sample::*field) {
        std::vector<double> v;
        for (const Sample& s : samples) {
            v.push_back(s.*field);
        }
        std::sort(v.begin(), v.end());
        return std::pair(v.front(), v[v.size() / 2]);
    };
    const auto [floorMin, floorMedian] = stats(&Sample::Floor);
    std::printf("\nReal-shaped batch: %d rows x %d columns, values 5-60 bytes (about 25), "
                "%zu bytes on the wire; %d runs of %d batches\n",
                Rows, Cols, bytes / texts.size(), runs, RealBatches);
    std::printf("(processor time of this thread per batch)\n");
    std::printf("%-34s %10s %10s %14s %14s\n", "", "min ms", "median ms", "x floor (min)",
                "x floor (med)");
    auto row = [&](const char* name, double Sample::*field) {
        const auto [min, median] = stats(field);
        std::printf("%-34s %10.3f %10.3f %14.2f %14.2f\n", name, min * 1e3, median * 1e3,
                    min / floorMin, median / floorMedian);
    };
    row("memcpy of the text", &Sample::Copy);
    row("floor: plain tokeniser, one buffer", &Sample::Floor);
    row("Decode", &Sample::Decode);
    row("Decode + AddFromMessage", &Sample::DecodeAndAdd);
}

} // namespace

BENCHMARK(BM_RealDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RealPlainTokeniser)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AddFromMessage, server_order_rows, Order::Rows)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AddFromMessage, column_order, Order::Columns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CellLookups<false>)->Name("BM_LookupsByIndex")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CellLookups<true>)->Name("BM_LookupsByWalk")->Unit(benchmark::kMillisecond);

// Google Benchmark's own runs first, then the side-by-side table; "--runs=N" sets its number of
// runs (default 15).
int main(int argc, char** argv) {
    int runs = 15;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--runs=", 7) == 0) {
            runs = std::max(1, std::atoi(argv[i] + 7));
        } else {
            rest.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSideBySide(runs);
    return 0;
}
