#include "server/Connection.h"

#include <exception>
#include <limits>
#include <utility>

#include "core/CList.h"
#include "core/Cp1252.h"
#include "core/UOrvoCCommon.h"
#include "server/Catalogue.h"
#include "server/QueryRunner.h"
#include "server/QueryTask.h"
#include "server/Request.h"
#include "server/Server.h"

namespace {
constexpr const char* OwnName = "ZEDUVOZ";
constexpr const char* OwnVersion = "528"; // 2.1.0
constexpr const char* DatabaseName = "OrvoDBase";
} // namespace

Connection::Connection(QTcpSocket* s, int id, ServerContext& ctx, QObject* parent)
    : QObject(parent), socket(s), identity(id), context(ctx) {
    socket->setParent(this);
    // Every message is one write and the next waits for the client's answer: Nagle's delay
    // would only add a round of delayed acknowledgements to each.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // What the client sends faster than it is handled waits in the system's buffers, where
    // TCP slows the sender down, rather than in this process.
    socket->setReadBufferSize(ReadBufferBytes);
    knockTimer.setSingleShot(true);
    silenceTimer.setSingleShot(true);
    connect(socket, &QTcpSocket::readyRead, this, &Connection::OnReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &Connection::OnDisconnected);
    connect(&knockTimer, &QTimer::timeout, this, &Connection::OnKnock);
    connect(&silenceTimer, &QTimer::timeout, this, &Connection::OnSilence);
    connect(socket, &QTcpSocket::bytesWritten, this, &Connection::OnBytesWritten);
}

Connection::~Connection() {
    socket->disconnect(this);
    DropQuery();
    if (counted) {
        --context.ActiveSessions;
    }
}

std::string Connection::Who() const {
    return "connection " + std::to_string(identity);
}

void Connection::Start() {
    context.Log(Who() + " from " + socket->peerAddress().toString().toStdString());
    // The greeting is answered by the login reply, not by RECEIVED.
    Send(EncodeMessage({{"OPERATION", "CONNECT"}, {"IDENTIFY", std::to_string(identity)}}),
         Awaiting::Nothing);
    // The client answers the greeting at once; a connection that never does only holds a
    // socket.
    QTimer::singleShot(LoginTimeoutMs, this, [this] {
        if (phase == Phase::AwaitingLogin) {
            try {
                Close("no login");
            } catch (...) {
                Abandon();
            }
        }
    });
}

void Connection::OnReadyRead() {
    try {
        if (phase == Phase::Closed) {
            socket->readAll();
            return;
        }
        TouchKnockTimer();
        WatchSilence();
        // A slice at a time: a flood of small messages read whole would cost many times its
        // own size in decoded messages.
        for (QByteArray bytes = socket->read(ReadSlice); !bytes.isEmpty();
             bytes = socket->read(ReadSlice)) {
            std::vector<std::string> texts;
            MessageFramer::Status status = framer.Feed(
                std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), texts);
            for (const std::string& text : texts) {
                auto message = std::make_unique<CList>();
                if (message->Decode(text) != 0) {
                    Close("a message that does not decode");
                    return;
                }
                HandleMessage(std::move(message));
                if (phase == Phase::Closed) {
                    return;
                }
            }
            if (status == MessageFramer::Status::TooLong) {
                Close("a message longer than 1 MiB");
                return;
            }
            if (status == MessageFramer::Status::Undecodable) {
                Close("a message that does not decode");
                return;
            }
        }
    } catch (...) {
        Abandon();
    }
}

void Connection::OnDisconnected() {
    try {
        if (phase != Phase::Closed) {
            EndSession();
            context.Log(Who() + " closed by the client");
        }
        Finish();
    } catch (...) {
        // The peer is gone and Finish has already released what it could: nothing is left to
        // tell anyone, and the slot must not throw into the event loop.
    }
}

void Connection::EndSession() {
    phase = Phase::Closed;
    DropQuery();
    queued.clear();
    draining = false;
    abortsToAnswer = 0;
    knockTimer.stop();
    silenceTimer.stop();
    if (counted) {
        counted = false;
        --context.ActiveSessions;
    }
}

void Connection::Abandon() noexcept {
    try {
        Close("internal error");
    } catch (...) {
        socket->abort();
    }
}

void Connection::Finish() {
    if (!finished) {
        finished = true;
        emit Closed();
    }
}

bool Connection::Writable() const {
    return socket->bytesToWrite() <= MaxUnsent;
}

void Connection::OnBytesWritten() {
    try {
        if (phase != Phase::Session) {
            return;
        }
        // Bytes leaving show the client reads.
        WatchSilence();
        if (!Writable()) {
            return;
        }
        if (abortsToAnswer > 0) {
            AnswerAborts();
        } else if (draining && awaiting == Awaiting::Nothing) {
            Continue();
        }
    } catch (...) {
        Abandon();
    }
}

void Connection::AnswerAborts() {
    while (abortsToAnswer > 0 && phase == Phase::Session && Writable()) {
        --abortsToAnswer;
        Send(EncodeMessage({{"OPERATION", "ABORTOK"}}), Awaiting::Receipt);
    }
}

void Connection::OnKnock() {
    try {
        if (phase == Phase::Session && awaiting == Awaiting::Nothing && !draining &&
            abortsToAnswer == 0 && !task && queued.empty() && Writable()) {
            Send(EncodeMessage({{"OPERATION", "KNOCK"}}), Awaiting::KnockReceipt);
        }
    } catch (...) {
        Abandon();
    }
}

void Connection::WatchSilence() {
    const int seconds = context.Options.KnockTimeoutSeconds;
    if (seconds <= 0 || phase != Phase::Session) {
        return;
    }
    if (awaiting != Awaiting::Nothing || socket->bytesToWrite() > 0) {
        silenceTimer.start(seconds * 1000);
    } else {
        silenceTimer.stop();
    }
}

void Connection::OnSilence() {
    try {
        if (phase == Phase::Session &&
            (awaiting != Awaiting::Nothing || socket->bytesToWrite() > 0)) {
            Close(awaiting == Awaiting::KnockReceipt ? "no answer to KNOCK"
                                                     : "the client stopped answering");
        }
    } catch (...) {
        Abandon();
    }
}

void Connection::TouchKnockTimer() {
    if (context.Options.KnockSeconds > 0 && phase == Phase::Session) {
        knockTimer.start(context.Options.KnockSeconds * 1000);
    }
}

void Connection::HandleMessage(std::unique_ptr<CList> message) {
    std::string op = TrimControl(message->GetValue("OPERATION"));
    if (op == "DISCONNECT") {
        Close("DISCONNECT");
        return;
    }
    if (phase == Phase::AwaitingLogin) {
        HandleLogin(*message);
        return;
    }
    if (op == "RECEIVED") {
        // A stray one (for a message already answered by an ABORTOK) is dropped.
        if (awaiting != Awaiting::Nothing) {
            awaiting = Awaiting::Nothing;
            ReleaseSentBatch();
            Continue();
        }
        return;
    }
    if (op == "ABORT") {
        // The client stops acknowledging rows once it has sent ABORT, so the answer cannot wait
        // for the receipt of the message still in flight.
        if (task) {
            context.Log(Who() + " aborted");
        }
        DropQuery();
        // Counted rather than written at once: a client that sends ABORT after ABORT and reads
        // nothing only raises the count.
        if (abortsToAnswer < std::numeric_limits<long long>::max()) {
            ++abortsToAnswer;
        }
        AnswerAborts();
        return;
    }
    if (awaiting == Awaiting::KnockReceipt && !task) {
        // The client does not answer a KNOCK once it has a request pending: the request itself
        // shows it is alive.
        awaiting = Awaiting::Nothing;
    }
    if (awaiting != Awaiting::Nothing || abortsToAnswer > 0 || draining || task ||
        !queued.empty() || !Writable()) {
        if (queued.size() >= MaxQueuedRequests) {
            Close("too many requests ahead of their answers");
            return;
        }
        queued.push_back(std::move(message));
        if (awaiting == Awaiting::Nothing) {
            // Held only by the bytes still waiting to leave.
            draining = true;
        }
        return;
    }
    HandleRequest(*message);
}

void Connection::HandleLogin(const CList& message) {
    const ServerOptions& o = context.Options;
    if (context.ActiveSessions >= o.MaxClients) {
        SendAndClose(EncodeMessage({{"OPERATION", "BUSY"}}));
        return;
    }
    if (TrimControl(message.GetValue("DATABASE")) != DatabaseName) {
        SendAndClose(EncodeMessage({{"OPERATION", "DBNOTFOUND"}}));
        return;
    }
    if (context.Db == nullptr) {
        SendAndClose(EncodeMessage({{"OPERATION", "DBNOTREADY"}}));
        return;
    }
    if (o.Redirect) {
        SendAndClose(EncodeMessage({{"OPERATION", "REDIRECT"},
                                    {"ADDRESS", Utf8ToCp1252(o.Redirect->Address)},
                                    {"PORT", std::to_string(o.Redirect->Port)},
                                    {"SERVICE", ""},
                                    {"ALWAYS", o.Redirect->Always ? "TRUE" : "FALSE"}}));
        return;
    }
    phase = Phase::Session;
    counted = true;
    ++context.ActiveSessions;
    context.Log(Who() + " accepted user " + Cp1252ToUtf8(message.GetValue("USERID")));
    Send(EncodeMessage({{"OPERATION", "ACCEPTED"},
                        {"SERVER", OwnName},
                        {"VERSION", OwnVersion},
                        {"SITOVEK", Utf8ToCp1252(o.Site)},
                        {"EMAILORVO", Utf8ToCp1252(o.Mail)},
                        {"ONLINE", Utf8ToCp1252(o.Online)}}),
         Awaiting::Receipt);
}

void Connection::HandleRequest(const CList& message) {
    RequestPlan plan = PlanRequest(message);
    if (!plan.Error.empty()) {
        SendError(plan.Error);
        return;
    }
    context.Log(Who() + " query: " + plan.Sql);
    task = std::make_shared<QueryTask>(*context.Db, context.Runner->Gate(), std::move(plan.Sql),
                                       context.Limits);
    headerSent = false;
    // The first rows are stepped before QUERYRESULT: a sorted or slow query does its work
    // there, so a timeout is a plain ERROR rather than a result that breaks off.
    StepWhenMemoryAllows();
}

void Connection::StepWhenMemoryAllows() {
    if (context.HeldBytes < ServerContext::HeldBudget) {
        Step();
    } else if (!waitingForMemory) {
        waitingForMemory = true;
        context.WaitingForMemory.emplace_back(this);
    }
}

void Connection::ResumeStep() {
    waitingForMemory = false;
    try {
        if (phase == Phase::Session && task && !stepping && nextBatch.empty() && failure.empty() &&
            !task->Finished()) {
            Step();
        }
    } catch (...) {
        Abandon();
    }
}

void Connection::ReleaseSentBatch() {
    context.Release(std::exchange(sentBytes, 0));
}

void Connection::Step() {
    stepping = true;
    // Counted from the start, at the size of the batch before it: steps admitted together
    // must not all find the budget untouched.
    reserved = lastBatchBytes;
    context.Hold(reserved);
    const unsigned serial = ++stepSerial;
    QPointer<Connection> self(this);
    context.Runner->Submit(task, [self, serial] {
        if (self) {
            self->OnStepDone(serial);
        }
    });
}

void Connection::OnStepDone(unsigned serial) {
    try {
        if (serial != stepSerial || !task || phase != Phase::Session) {
            return; // the query was dropped meanwhile
        }
        stepping = false;
        context.Release(std::exchange(reserved, 0));
        if (task->Failed()) {
            failure = task->Error();
            context.Log(Who() + " failed: " + Cp1252ToUtf8(failure));
        } else {
            SetNextBatch(task->TakeBatch());
        }
        if (!headerSent) {
            headerSent = true;
            if (!failure.empty()) {
                std::string text = std::move(failure);
                DropQuery();
                SendError(text);
            } else {
                Send(task->TakeHeader(), Awaiting::Receipt);
            }
            return;
        }
        if (awaiting == Awaiting::Nothing && !draining && abortsToAnswer == 0) {
            Continue();
        }
    } catch (...) {
        Abandon();
    }
}

void Connection::Prefetch() {
    if (task && !stepping && nextBatch.empty() && failure.empty() && !task->Finished() &&
        context.HeldBytes < ServerContext::HeldBudget / 2) {
        Step();
    }
}

void Connection::SetNextBatch(std::string batch) {
    context.Release(nextBatch.size());
    nextBatch = std::move(batch);
    context.Hold(nextBatch.size());
    if (!nextBatch.empty()) {
        lastBatchBytes = nextBatch.size();
    }
}

std::string Connection::TakeNextBatch() {
    // Still held once sent, until its receipt.
    sentBytes += nextBatch.size();
    std::string batch = std::move(nextBatch);
    nextBatch.clear();
    return batch;
}

void Connection::DropQuery() {
    if (task) {
        task->Cancel();
        task.reset();
    }
    ++stepSerial;
    stepping = false;
    context.Release(std::exchange(reserved, 0));
    headerSent = false;
    TakeNextBatch();
    ReleaseSentBatch();
    failure.clear();
}

void Connection::Continue() {
    draining = !Writable();
    if (draining || abortsToAnswer > 0) {
        // Goes on from OnBytesWritten.
        return;
    }
    if (task) {
        if (!failure.empty()) {
            std::string text = std::move(failure);
            DropQuery();
            SendError(text);
            return;
        }
        if (!nextBatch.empty()) {
            Send(TakeNextBatch(), Awaiting::Receipt);
            // Steps the next batch while the client stores this one.
            Prefetch();
            return;
        }
        if (task->Finished()) {
            context.Log(Who() + " sent " + std::to_string(task->RowsSent()) + " rows");
            DropQuery();
            Send(EncodeMessage({{"OPERATION", "QUERYITEM"}, {"DONE", "TRUE"}}), Awaiting::Receipt);
            return;
        }
        if (!stepping) {
            StepWhenMemoryAllows();
        }
        // Goes on from OnStepDone (or ResumeStep).
        return;
    }
    if (!queued.empty()) {
        std::unique_ptr<CList> next = std::move(queued.front());
        queued.pop_front();
        HandleRequest(*next);
    }
}

void Connection::Send(const std::string& wire, Awaiting next) {
    awaiting = next;
    socket->write(wire.data(), static_cast<qint64>(wire.size()));
    // Out now rather than at the next turn of the event loop: the next batch is stepped next.
    socket->flush();
    TouchKnockTimer();
    WatchSilence();
}

void Connection::SendError(const std::string& text) {
    Send(EncodeMessage({{"OPERATION", "ERROR"}, {"MESSAGE", text}}), Awaiting::Receipt);
}

void Connection::SendAndClose(const std::string& wire) {
    socket->write(wire.data(), static_cast<qint64>(wire.size()));
    Close("login refused");
}

void Connection::Close(const std::string& why) {
    if (phase == Phase::Closed) {
        return;
    }
    context.Log(Who() + " closed: " + why);
    EndSession();
    // What was written goes out first; disconnected() follows. A peer that never reads does not
    // keep the connection forever.
    QTimer::singleShot(5000, this, [this] {
        socket->abort();
        Finish();
    });
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        Finish();
    }
}
