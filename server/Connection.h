#pragma once
// One client connection: greeting, login verdict, then requests answered one message at a time,
// each waiting for the client's RECEIVED before the next.

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <memory>
#include <string>

#include "server/Wire.h"

class CList;
class QueryTask;
struct ServerContext;

class Connection : public QObject {
    Q_OBJECT

public:
    // Takes the socket.
    Connection(QTcpSocket* socket, int identity, ServerContext& context, QObject* parent);
    ~Connection() override;
    void Start();
    // Steps the next batch if the session waits for one: memory was freed.
    void ResumeStep();

    // Batches stop growing at this many bytes even below --batch rows, so a batch of wide
    // rows cannot make one message (and the send buffer) arbitrarily large.
    static constexpr size_t MaxBatchBytes = 4u << 20;
    // Requests a client may send ahead while an answer is still going out.
    static constexpr size_t MaxQueuedRequests = 8;
    static constexpr int LoginTimeoutMs = 30000;
    // A client reads a message whole before it acknowledges it, so at its receipt nothing of
    // that message is left unsent. While more than this waits to be sent (a client that
    // acknowledges what it has not read, or sends ABORT after ABORT), nothing more is written
    // until the bytes leave: whatever the client does, the server holds one message at most.
    static constexpr qint64 MaxUnsent = 64 * 1024;
    static constexpr qint64 ReadBufferBytes = 256 * 1024;
    static constexpr qint64 ReadSlice = 64 * 1024;

signals:
    void Closed();

private slots:
    void OnReadyRead();
    void OnDisconnected();
    void OnKnock();
    void OnBytesWritten();
    void OnSilence();

private:
    enum class Phase { AwaitingLogin, Session, Closed };
    enum class Awaiting { Nothing, Receipt, KnockReceipt };

    void HandleMessage(std::unique_ptr<CList> message);
    void HandleLogin(const CList& message);
    void HandleRequest(const CList& message);
    // Sends the next message of the running answer, or starts the next queued request, once
    // what was sent before has left.
    void Continue();
    bool Writable() const;
    // Sends the ABORTOKs owed, as far as the client reads them.
    void AnswerAborts();
    // Has a worker step the next batch (the first one also compiles the query).
    void Step();
    void OnStepDone(unsigned serial);
    // Steps the next batch ahead of its turn, while the server's budget for such batches lasts.
    void Prefetch();
    void SetNextBatch(std::string batch);
    std::string TakeNextBatch();
    // Steps now if the memory budget allows, or waits in line for it.
    void StepWhenMemoryAllows();
    void ReleaseSentBatch();
    // Forgets the running query: its step, if one is under way, stops at its next check.
    void DropQuery();
    // While the server waits for the client, or for its bytes to leave, the client must show
    // signs of life within --knock-timeout.
    void WatchSilence();
    void Send(const std::string& wire, Awaiting awaiting);
    void SendError(const std::string& text);
    void SendAndClose(const std::string& wire);
    void Close(const std::string& why);
    // Whatever went wrong inside a slot ends this connection only, and never leaves the slot.
    void Abandon() noexcept;
    // Tells the server, once, that this connection is over.
    void Finish();
    void EndSession();
    void TouchKnockTimer();
    std::string Who() const;

    QTcpSocket* socket;
    int identity;
    ServerContext& context;
    Phase phase = Phase::AwaitingLogin;
    Awaiting awaiting = Awaiting::Nothing;
    bool counted = false; // counted among the active sessions
    bool finished = false;
    bool draining = false;        // acknowledged, but the bytes sent before are still waiting
    long long abortsToAnswer = 0; // ABORTs whose ABORTOK waits for the bytes before it to leave
    MessageFramer framer;
    std::shared_ptr<QueryTask> task;
    bool stepping = false;   // a worker has the task
    bool headerSent = false; // QUERYRESULT went out
    unsigned stepSerial = 0; // tells a step's completion from that of an abandoned one
    // The batch stepped ahead of its turn, or why stepping failed; sent after the next receipt.
    std::string nextBatch;
    size_t sentBytes = 0; // the batch sent and not yet acknowledged
    size_t reserved = 0;  // held for the step under way
    size_t lastBatchBytes = 256 * 1024;
    bool waitingForMemory = false;
    std::string failure;
    std::deque<std::unique_ptr<CList>> queued;
    QTimer knockTimer;
    QTimer silenceTimer;
};
