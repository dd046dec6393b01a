#include "tests/support/ScriptedServer.h"

#include <QHostAddress>

#include "core/CList.h"
#include "tests/support/WaitUntil.h"

ScriptedServer::ScriptedServer() {
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, &ScriptedServer::OnNewConnection);
}

ScriptedServer::~ScriptedServer() {
    if (socket) {
        socket->abort();
    }
}

void ScriptedServer::OnNewConnection() {
    while (QTcpSocket* next = server.nextPendingConnection()) {
        if (socket) {
            socket->disconnect(this);
        }
        socket = next;
        buffer.clear();
        ++connections;
        connect(next, &QTcpSocket::readyRead, this, &ScriptedServer::OnReadyRead);
        if (GreetOnConnect) {
            Send({{"OPERATION", "CONNECT"}, {"IDENTIFY", std::to_string(connections)}});
        }
    }
}

void ScriptedServer::OnReadyRead() {
    if (!socket) {
        return;
    }
    QByteArray bytes = socket->readAll();
    buffer.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    size_t end;
    while ((end = buffer.find('\x02')) != std::string::npos) {
        std::string text = buffer.substr(0, end + 1);
        buffer.erase(0, end + 1);
        CList message;
        Pairs pairs;
        if (message.Decode(text) == 0) {
            for (RList* n = message.Head(); n != nullptr; n = n->Next) {
                pairs.emplace_back(n->Name, n->Value);
            }
        }
        Received.push_back(pairs);
        ReceivedRaw.push_back(text);
        if (OnMessage) {
            OnMessage(pairs);
        }
        bool received = false;
        for (const auto& [name, value] : pairs) {
            received = received || (name == "OPERATION" && value == "RECEIVED");
        }
        if (received && !pendingAcknowledged.empty()) {
            Pairs next = std::move(pendingAcknowledged.front());
            pendingAcknowledged.pop_front();
            Send(next);
        }
    }
}

void ScriptedServer::Send(const Pairs& pairs) {
    std::string text;
    for (const auto& [name, value] : pairs) {
        text += name + "=" + value + "\x01";
    }
    text += "\x02";
    SendRaw(text);
}

void ScriptedServer::SendRaw(const std::string& bytes) {
    if (socket) {
        socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket->flush();
    }
}

void ScriptedServer::SendAcknowledged(std::vector<Pairs> messages) {
    if (messages.empty()) {
        return;
    }
    for (size_t i = 1; i < messages.size(); ++i) {
        pendingAcknowledged.push_back(std::move(messages[i]));
    }
    Send(messages.front());
}

std::vector<Pairs> ScriptedServer::ResultSet(const std::vector<std::string>& columns,
                                             const std::vector<std::vector<std::string>>& rows,
                                             int batch) {
    std::vector<Pairs> out;
    Pairs header{{"OPERATION", "QUERYRESULT"}, {"COLS", std::to_string(columns.size())}};
    for (size_t j = 0; j < columns.size(); ++j) {
        header.emplace_back("NAME" + std::to_string(j + 1), columns[j]);
    }
    out.push_back(header);
    for (size_t first = 0; first < rows.size(); first += static_cast<size_t>(batch)) {
        size_t last = std::min(rows.size(), first + static_cast<size_t>(batch));
        Pairs item{{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", std::to_string(last - first)}};
        for (size_t j = 0; j < columns.size(); ++j) {
            for (size_t r = first; r < last; ++r) {
                item.emplace_back(std::to_string(j + 1) + ":" + std::to_string(r + 1),
                                  j < rows[r].size() ? rows[r][j] : std::string());
            }
        }
        out.push_back(item);
    }
    out.push_back({{"OPERATION", "QUERYITEM"}, {"DONE", "TRUE"}});
    return out;
}

void ScriptedServer::CloseClient() {
    if (socket) {
        socket->disconnectFromHost();
    }
}

Pairs ScriptedServer::Accepted(const std::string& site, const std::string& mail,
                               const std::string& online) {
    return {{"OPERATION", "ACCEPTED"}, {"SERVER", "ZEDUVOZ"}, {"VERSION", "528"},
            {"SITOVEK", site},         {"EMAILORVO", mail},   {"ONLINE", online}};
}

void ScriptedServer::AcceptLogins(const std::string& site, const std::string& mail,
                                  const std::string& online) {
    OnMessage = [this, site, mail, online](const Pairs& pairs) {
        bool login = false;
        for (const auto& [name, value] : pairs) {
            login = login || name == "DATABASE";
        }
        if (login) {
            Send(Accepted(site, mail, online));
        }
    };
}

bool ScriptedServer::WaitForMessages(size_t count, int timeoutMs) {
    return WaitUntil([this, count] { return Received.size() >= count; }, timeoutMs);
}

bool ScriptedServer::WaitForConnection(int timeoutMs) {
    return WaitUntil([this] { return connections > 0; }, timeoutMs);
}

std::string ScriptedServer::Value(size_t i, const std::string& name) const {
    if (i >= Received.size()) {
        return {};
    }
    for (const auto& [n, v] : Received[i]) {
        if (n == name) {
            return v;
        }
    }
    return {};
}

std::vector<std::string> ScriptedServer::Ops() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < Received.size(); ++i) {
        out.push_back(Op(i));
    }
    return out;
}
