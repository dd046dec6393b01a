#include "server/QueryTask.h"

#include "server/CpuGate.h"
#include "server/QueryCursor.h"

namespace {
std::string TimeoutText(std::chrono::milliseconds bound) {
    return "Richiesta interrotta: superato il tempo massimo di esecuzione (" +
           std::to_string(bound.count()) + " ms).";
}
} // namespace

QueryTask::QueryTask(Catalogue& c, CpuGate& g, std::string text, const QueryLimits& l)
    : catalogue(c), gate(g), sql(std::move(text)), limits(l) {}

QueryTask::~QueryTask() {
    // The statement goes before its reader returns to the pool.
    cursor.reset();
    catalogue.Return(std::move(reader));
}

bool QueryTask::Finished() const {
    return Failed() || (cursor && cursor->Finished());
}

long long QueryTask::RowsSent() const {
    return cursor ? cursor->RowsSent() : 0;
}

void QueryTask::Run() {
    if (Finished() || (started && !cursor)) {
        return;
    }
    gate.Acquire();
    heldSince = sliceStart = Clock::now();
    batchUsed = {};
    try {
        if (!started) {
            started = true;
            if (Start()) {
                Step();
            }
        } else {
            Step();
        }
    } catch (...) {
        batch.clear();
        error = "Richiesta interrotta: memoria insufficiente.";
    }
    if (reader) {
        reader->SetControl(nullptr);
    }
    Account(Clock::now());
    gate.Release();
}

bool QueryTask::Start() {
    if (cancelled.load(std::memory_order_relaxed)) {
        error = "Richiesta interrotta.";
        return false;
    }
    std::string why;
    reader = catalogue.Checkout(why);
    if (!reader) {
        error = "Il catalogo non \xE8 al momento disponibile.";
        return false;
    }
    CatalogueReader::Prepared prepared = reader->Prepare(sql);
    if (prepared.Statement == nullptr) {
        error = prepared.Error;
        return false;
    }
    cursor = std::make_unique<QueryCursor>(prepared.Statement);
    header = cursor->ResultMessage();
    return true;
}

void QueryTask::Step() {
    reader->SetControl(this);
    if (cursor->NextBatch(limits.BatchRows, limits.BatchBytes, batch) !=
        QueryCursor::Outcome::Failed) {
        return;
    }
    batch.clear();
    if (!cursor->Interrupted()) {
        error = cursor->Error();
        return;
    }
    switch (stop) {
    case Stop::QueryTime:
        error = TimeoutText(limits.Query);
        break;
    case Stop::BatchTime:
        error = TimeoutText(limits.Batch);
        break;
    case Stop::Cancelled:
    case Stop::None:
        error = "Richiesta interrotta.";
        break;
    }
}

void QueryTask::Account(Clock::time_point now) {
    Clock::duration held = now - heldSince;
    heldSince = now;
    queryUsed += held;
    batchUsed += held;
}

int QueryTask::Tick() {
    if (cancelled.load(std::memory_order_relaxed)) {
        stop = Stop::Cancelled;
        return 1;
    }
    Clock::time_point now = Clock::now();
    Account(now);
    if (queryUsed > limits.Query) {
        stop = Stop::QueryTime;
        return 1;
    }
    if (batchUsed > limits.Batch) {
        stop = Stop::BatchTime;
        return 1;
    }
    if (now - sliceStart >= limits.Slice && gate.Contended()) {
        // Only the time holding a place counts against the budgets: waiting here costs the
        // query nothing.
        gate.Release();
        gate.Acquire();
        heldSince = sliceStart = Clock::now();
    }
    return 0;
}
