#include "server/Server.h"

#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

#include "server/Connection.h"

void ServerContext::Log(const std::string& line) const {
    if (Options.Verbose) {
        std::fprintf(stderr, "orvo-server: %s\n", line.c_str());
        std::fflush(stderr);
    }
}

Server::Server(const ServerOptions& options, Catalogue* catalogue, QObject* parent)
    : QObject(parent) {
    context.Options = options;
    context.Db = catalogue;
    connect(&listener, &QTcpServer::newConnection, this, &Server::OnNewConnection);
    connect(&listener, &QTcpServer::acceptError, this, &Server::OnAcceptError);
}

Server::~Server() {
    listener.close();
    // Connections refer to the context, which goes before QObject deletes the children.
    qDeleteAll(findChildren<Connection*>(QString(), Qt::FindDirectChildrenOnly));
}

bool Server::Listen(std::string& error) {
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(context.Options.Listen))) {
        error = "--listen: not an IP address: " + context.Options.Listen;
        return false;
    }
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
            if (connections >= context.Options.MaxClients + PendingLoginSlots) {
                context.Log("connection from " + socket->peerAddress().toString().toStdString() +
                            " refused: too many open connections");
                socket->abort();
                socket->deleteLater();
                continue;
            }
            int identity = context.NextIdentity++;
            auto* connection = new Connection(socket, identity, context, this);
            ++connections;
            connect(connection, &Connection::Closed, this, [this, connection] {
                --connections;
                connection->deleteLater();
            });
            connection->Start();
        }
    } catch (...) {
        // Out of memory at worst: the connections already open go on.
    }
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
