#include "server/Server.h"

#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "server/Connection.h"
#include "server/QueryRunner.h"
#include "server/Wire.h"

std::string EscapeLogText(const std::string& line) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == '\\') {
            out += "\\x";
            out += Hex[b >> 4];
            out += Hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

void ServerContext::Log(const std::string& line) const {
    if (Options.Verbose) {
        std::fprintf(stderr, "orvo-server: %s\n", EscapeLogText(line).c_str());
        std::fflush(stderr);
    }
}

std::string RefusalBytes() {
    return EncodeMessage({{"OPERATION", "CONNECT"}, {"IDENTIFY", "0"}}) +
           EncodeMessage({{"OPERATION", "BUSY"}});
}

void Listener::TakeDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur > static_cast<rlim_t>(SpareDescriptors) &&
        limit.rlim_cur <= static_cast<rlim_t>(std::numeric_limits<int>::max())) {
        firstSpare = static_cast<qintptr>(limit.rlim_cur) - SpareDescriptors;
    }
}

void Listener::incomingConnection(qintptr descriptor) {
    // The system hands out the lowest free number, so one this high means every number below it
    // is taken: only the spare ones above are left.
    if (descriptor < firstSpare) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    // No object and no waiting: the answer fits the new connection's empty send buffer.
    static const std::string bytes = RefusalBytes();
    const int fd = static_cast<int>(descriptor);
    [[maybe_unused]] ssize_t sent =
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
    if (OnRefused) {
        OnRefused();
    }
}

void ServerContext::Release(size_t bytes) {
    HeldBytes -= std::min(bytes, HeldBytes);
    while (HeldBytes < HeldBudget && !WaitingForMemory.empty()) {
        QPointer<Connection> next = WaitingForMemory.front();
        WaitingForMemory.pop_front();
        if (next) {
            next->ResumeStep();
        }
    }
}

Server::Server(const ServerOptions& options, Catalogue* catalogue, QObject* parent)
    : QObject(parent) {
    context.Options = options;
    context.Db = catalogue;
    context.Limits.Query = std::chrono::milliseconds(options.QueryTimeoutMs);
    context.Limits.Batch = std::chrono::milliseconds(options.BatchTimeoutMs);
    context.Limits.BatchRows = options.Batch;
    context.Limits.BatchBytes = Connection::MaxBatchBytes;
    // Every session has at most one step under way.
    const int workers = options.Workers > 0
                            ? options.Workers
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    runner = std::make_unique<QueryRunner>(workers, options.MaxClients);
    context.Runner = runner.get();
    listener.OnRefused = [this] { context.Log("connection refused: no descriptor to spare"); };
    connect(&listener, &QTcpServer::newConnection, this, &Server::OnNewConnection);
    connect(&listener, &QTcpServer::acceptError, this, &Server::OnAcceptError);
}

Server::~Server() {
    listener.close();
    // Connections refer to the context; closing them cancels their queries, so the runner
    // then waits for steps that stop at their next check.
    qDeleteAll(findChildren<Connection*>(QString(), Qt::FindDirectChildrenOnly));
    runner.reset();
}

bool Server::Listen(std::string& error) {
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(context.Options.Listen))) {
        error = "--listen: not an IP address: " + context.Options.Listen;
        return false;
    }
    listener.TakeDescriptorLimit();
    listener.setListenBacklogSize(
        std::max(MinBacklog, 2 * (context.Options.MaxClients + PendingLoginSlots)));
    if (!listener.listen(address, static_cast<quint16>(context.Options.Port))) {
        error = "cannot listen on " + context.Options.Listen + ":" +
                std::to_string(context.Options.Port) + ": " + listener.errorString().toStdString();
        return false;
    }
    return true;
}

void Server::OnNewConnection() {
    try {
        while (QTcpSocket* socket = listener.nextPendingConnection()) {
            const QHostAddress peer = socket->peerAddress();
            if (connections >= context.Options.MaxClients + PendingLoginSlots) {
                Refuse(socket, "too many open connections");
                continue;
            }
            if (perAddress.value(peer) >= context.Options.PerAddress) {
                Refuse(socket, "too many connections from that address");
                continue;
            }
            int identity = context.NextIdentity++;
            auto* connection = new Connection(socket, identity, context, this);
            ++connections;
            ++perAddress[peer];
            connect(connection, &Connection::Closed, this, [this, connection, peer] {
                --connections;
                if (--perAddress[peer] <= 0) {
                    perAddress.remove(peer);
                }
                connection->deleteLater();
            });
            connection->Start();
        }
    } catch (...) {
        // Out of memory at worst: the connections already open go on.
    }
}

void Server::Refuse(QTcpSocket* socket, const std::string& why) {
    context.Log("connection from " + socket->peerAddress().toString().toStdString() +
                " refused: " + why);
    socket->setParent(this);
    // The client reads the greeting, sends its login and takes BUSY as the answer to it.
    const std::string bytes = RefusalBytes();
    socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket->flush();
    // Half-closed, not closed: a close with the client's login unread would reset the
    // connection and could throw BUSY away before the client read it.
    ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(RefusalLingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void Server::OnAcceptError(QAbstractSocket::SocketError) {
    // QTcpServer pauses itself on such an error and would never accept again.
    context.Log("accept failed: " + listener.errorString().toStdString());
    QTimer::singleShot(AcceptRetryMs, this, [this] {
        if (listener.isListening()) {
            listener.resumeAccepting();
        }
    });
}
