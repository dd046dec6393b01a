#pragma once
// The listening side: accepts connections and gives each its own state machine; queries run on
// the worker threads of the runner.

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "server/Options.h"
#include "server/QueryTask.h"

class Catalogue;
class Connection;
class QueryRunner;

// The greeting and BUSY a refused client reads as the answer to its login.
std::string RefusalBytes();

// Accepts as QTcpServer does, but never lets the process run out of descriptors: a connection
// that arrives on one of the last few is answered BUSY and closed at once. The few kept free are
// what the process needs to go on serving (a catalogue file to open, a pipe for a run-time's
// check); with none left, every later accept fails and the clients beyond wait unanswered.
class Listener : public QTcpServer {
public:
    static constexpr int SpareDescriptors = 8;
    using QTcpServer::QTcpServer;
    // Takes the process's descriptor limit as it is now; before listening.
    void TakeDescriptorLimit();
    // Called at each connection answered BUSY for want of descriptors.
    std::function<void()> OnRefused;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    qintptr firstSpare = std::numeric_limits<qintptr>::max();
};

// What every connection shares. Used on the event-loop thread only.
struct ServerContext {
    ServerOptions Options;
    Catalogue* Db = nullptr; // null: the catalogue is not open
    QueryRunner* Runner = nullptr;
    QueryLimits Limits;
    int ActiveSessions = 0; // connections whose login was accepted
    int NextIdentity = 1;
    // Bytes of batches stepped and not yet acknowledged, over all connections. Past half the
    // budget no batch is stepped ahead of its turn; past the whole, a session waits in line
    // for its next batch until others' receipts free memory, so hundreds of streaming
    // sessions do not each hold a batch.
    size_t HeldBytes = 0;
    static constexpr size_t HeldBudget = 32u << 20;
    std::deque<QPointer<Connection>> WaitingForMemory;
    void Hold(size_t bytes) { HeldBytes += bytes; }
    // Frees bytes and lets the sessions waiting in line step, while the budget lasts.
    void Release(size_t bytes);
    // Control characters become \xNN, so nothing a client sends can start a line of its own.
    void Log(const std::string& line) const;
};

// line with every byte below 0x20, 0x7F and the backslash written as \xNN.
std::string EscapeLogText(const std::string& line);

class Server : public QObject {
    Q_OBJECT

public:
    Server(const ServerOptions& options, Catalogue* catalogue, QObject* parent = nullptr);
    ~Server() override;

    // On failure returns false and sets error.
    bool Listen(std::string& error);
    QHostAddress Address() const { return listener.serverAddress(); }
    quint16 Port() const { return listener.serverPort(); }
    int OpenConnections() const { return connections; }

    // Connections still before their login, beyond the --max-clients sessions, that are kept
    // open; past that a new connection is refused at once, so a flood of idle connections
    // cannot take every descriptor from the clients already served.
    static constexpr int PendingLoginSlots = 64;
    // After the system refused an accept (out of descriptors, most often), the listener tries
    // again this much later instead of staying paused for good.
    static constexpr int AcceptRetryMs = 250;
    // A refused connection gets BUSY, then this long to read it before it is cut.
    static constexpr int RefusalLingerMs = 2000;
    // The system's queue of connections not yet accepted. A queue that overflows drops the
    // client's handshake and leaves it waiting for retries that back off for many seconds, so
    // it holds a burst well past --max-clients: those beyond get BUSY, which costs little.
    static constexpr int MinBacklog = 1024;

private slots:
    void OnNewConnection();
    void OnAcceptError(QAbstractSocket::SocketError error);

private:
    // Greeting and BUSY, then a close that lets the client read them.
    void Refuse(QTcpSocket* socket, const std::string& why);

    ServerContext context;
    std::unique_ptr<QueryRunner> runner;
    Listener listener;
    int connections = 0;
    QHash<QHostAddress, int> perAddress;
};
