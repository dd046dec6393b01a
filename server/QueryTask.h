#pragma once
// One query as the worker threads run it: its own reader, its statement, and the time it has
// had on the processor. Each Run steps one batch (the first one also compiles the statement);
// between runs the query holds no thread, only its open statement.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "server/Catalogue.h"

class CpuGate;
class QueryCursor;

struct QueryLimits {
    // Time on the processor for the whole query, and for one batch.
    std::chrono::milliseconds Query{30000};
    std::chrono::milliseconds Batch{5000};
    // How long a query runs before it lets a waiting one have its place.
    std::chrono::milliseconds Slice{10};
    int BatchRows = 1024;
    size_t BatchBytes = 4u << 20;
};

class QueryTask : private StepControl {
public:
    using Clock = std::chrono::steady_clock;

    QueryTask(Catalogue& catalogue, CpuGate& gate, std::string sql, const QueryLimits& limits);
    ~QueryTask() override;
    QueryTask(const QueryTask&) = delete;
    QueryTask& operator=(const QueryTask&) = delete;

    // On a worker thread, never two at once for one task: compiles the statement on the first
    // call, then steps the next batch. What it produced is read once it has returned.
    void Run();
    // From any thread: a running step stops at its next check, later ones do nothing.
    void Cancel() { cancelled.store(true, std::memory_order_relaxed); }

    bool Failed() const { return !error.empty(); }
    const std::string& Error() const { return error; }
    // QUERYRESULT, after the first run that did not fail.
    std::string TakeHeader() { return std::move(header); }
    // The batch of the last run; empty once the rows have ended.
    std::string TakeBatch() { return std::move(batch); }
    // No rows left to step (or a failure).
    bool Finished() const;
    long long RowsSent() const;

private:
    int Tick() override;
    bool Start();
    void Step();
    // Time held since the last check, added to both budgets.
    void Account(Clock::time_point now);

    Catalogue& catalogue;
    CpuGate& gate;
    std::string sql;
    QueryLimits limits;
    std::unique_ptr<CatalogueReader> reader;
    std::unique_ptr<QueryCursor> cursor;
    std::atomic<bool> cancelled{false};
    bool started = false;
    std::string header;
    std::string batch;
    std::string error;

    Clock::duration queryUsed{};
    Clock::duration batchUsed{};
    Clock::time_point heldSince{};
    Clock::time_point sliceStart{};
    enum class Stop { None, Cancelled, QueryTime, BatchTime } stop = Stop::None;
};
