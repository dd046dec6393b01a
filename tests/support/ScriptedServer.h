#pragma once
// A scriptable catalogue server for client tests: listens on 127.0.0.1 (ephemeral port), sends
// exact messages and records every message the client sends.

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using Pairs = std::vector<std::pair<std::string, std::string>>;

class ScriptedServer : public QObject {
    Q_OBJECT

public:
    ScriptedServer();
    ~ScriptedServer() override;

    quint16 Port() const { return server.serverPort(); }
    int Connections() const { return connections; }
    QTcpSocket* Socket() const { return socket; }

    // Sends one message; pairs are written in the order given.
    void Send(const Pairs& pairs);
    void SendRaw(const std::string& bytes);
    // Sends the first message now and each next one when the client's RECEIVED arrives.
    void SendAcknowledged(std::vector<Pairs> messages);
    // A result set: QUERYRESULT, batches of QUERYITEM with absolute row numbers, DONE, each
    // sent after the acknowledgement of the one before.
    static std::vector<Pairs> ResultSet(const std::vector<std::string>& columns,
                                        const std::vector<std::vector<std::string>>& rows,
                                        int batch = 1024);
    void CloseClient();

    // The usual acceptance of a login, with these links.
    static Pairs Accepted(const std::string& site = "https://www.example.org/",
                          const std::string& mail = "info@example.org",
                          const std::string& online = "");
    // The usual handshake: greet on connect, accept the login with these links.
    void AcceptLogins(const std::string& site = "https://www.example.org/",
                      const std::string& mail = "info@example.org", const std::string& online = "");

    // Waits (processing events) until count messages have been received; false on timeout.
    bool WaitForMessages(size_t count, int timeoutMs = 5000);
    bool WaitForConnection(int timeoutMs = 5000);
    // The value of a pair in received message i ("" when absent).
    std::string Value(size_t i, const std::string& name) const;
    std::string Op(size_t i) const { return Value(i, "OPERATION"); }
    // OPERATION values of all messages received so far ("" for the login reply).
    std::vector<std::string> Ops() const;

    std::vector<Pairs> Received;
    std::vector<std::string> ReceivedRaw;
    // Reacts to each received message (after it is recorded).
    std::function<void(const Pairs&)> OnMessage;
    // Greets each new connection with CONNECT when set.
    bool GreetOnConnect = true;

private:
    void OnNewConnection();
    void OnReadyRead();

    QTcpServer server;
    QPointer<QTcpSocket> socket;
    std::string buffer;
    int connections = 0;
    std::deque<Pairs> pendingAcknowledged;
};
