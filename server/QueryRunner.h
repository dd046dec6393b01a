#pragma once
// The worker threads. A query step runs on a thread of its own from the pool, so a long one
// never keeps a thread from a short one; how many steps run on the processor at once is the
// gate's business.

#include <QObject>
#include <QThreadPool>
#include <functional>
#include <memory>

#include "server/CpuGate.h"

class QueryTask;

class QueryRunner : public QObject {
    Q_OBJECT

public:
    // workers: steps on the processor at once; maxSteps: steps under way at once (one per
    // session at most).
    QueryRunner(int workers, int maxSteps, QObject* parent = nullptr);
    // Waits for the steps under way; cancel their tasks first to make that quick.
    ~QueryRunner() override;

    CpuGate& Gate() { return gate; }
    // Runs task->Run() on a worker, then done() on this object's thread.
    void Submit(std::shared_ptr<QueryTask> task, std::function<void()> done);

private:
    CpuGate gate;
    QThreadPool pool;
};
