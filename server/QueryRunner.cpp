#include "server/QueryRunner.h"

#include "server/QueryTask.h"

QueryRunner::QueryRunner(int workers, int maxSteps, QObject* parent)
    : QObject(parent), gate(workers) {
    pool.setMaxThreadCount(maxSteps + workers);
}

QueryRunner::~QueryRunner() {
    pool.waitForDone();
}

void QueryRunner::Submit(std::shared_ptr<QueryTask> task, std::function<void()> done) {
    pool.start([this, task = std::move(task), done = std::move(done)]() mutable {
        task->Run();
        // The task may be the last reference: it then closes its statement here, off the
        // event loop.
        task.reset();
        QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
    });
}
