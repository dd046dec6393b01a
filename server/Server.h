#pragma once
// The listening side: accepts connections and gives each its own state machine.

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <string>

#include "server/Options.h"

class Catalogue;
class Connection;

// What every connection shares.
struct ServerContext {
    ServerOptions Options;
    Catalogue* Db = nullptr; // null: the catalogue is not open
    int ActiveSessions = 0;  // connections whose login was accepted
    int NextIdentity = 1;
    void Log(const std::string& line) const;
};

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
    // open; past that a new connection is closed at once, so a flood of idle connections
    // cannot take every descriptor from the clients already served.
    static constexpr int PendingLoginSlots = 64;
    // After the system refused an accept (out of descriptors, most often), the listener tries
    // again this much later instead of staying paused for good.
    static constexpr int AcceptRetryMs = 250;

private slots:
    void OnNewConnection();
    void OnAcceptError(QAbstractSocket::SocketError error);

private:
    ServerContext context;
    QTcpServer listener;
    int connections = 0;
};
