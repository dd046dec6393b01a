#include "tests/server/ServerHarness.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "server/Catalogue.h"
#include "server/Server.h"

namespace {

class ServerThread : public QThread {
public:
    ServerThread(ServerOptions o, TestServer::Source s, std::string f)
        : options(std::move(o)), source(s), file(std::move(f)) {}
    std::promise<quint16> port;

protected:
    void run() override {
        std::string error;
        std::unique_ptr<Catalogue> catalogue;
        if (source == TestServer::Source::Sample) {
            catalogue = Catalogue::OpenSample(error);
        } else if (source == TestServer::Source::File) {
            catalogue = Catalogue::OpenFile(file, error);
        }
        options.Listen = "127.0.0.1";
        options.Port = 0;
        auto server = std::make_unique<Server>(options, catalogue.get());
        if (!server->Listen(error)) {
            port.set_value(0);
            return;
        }
        port.set_value(server->Port());
        exec();
        server.reset();
    }

private:
    ServerOptions options;
    TestServer::Source source;
    std::string file;
};

} // namespace

TestServer::TestServer(ServerOptions options, Source source, std::string file) {
    auto* t = new ServerThread(std::move(options), source, std::move(file));
    auto future = t->port.get_future();
    thread.reset(t);
    thread->start();
    if (future.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
        port = future.get();
    }
    EXPECT_NE(port, 0) << "the in-process server did not start";
}

TestServer::~TestServer() {
    thread->quit();
    thread->wait();
}

std::string Op(const CList& message) {
    return message.GetValue("OPERATION");
}

std::vector<std::string> Exchange::Column(const std::string& name) const {
    std::vector<std::string> out;
    for (int r = 1; r <= Table->RowCount(); ++r) {
        out.emplace_back(Table->GetField(name, r));
    }
    return out;
}

RawClient::RawClient(quint16 port, const QString& source) {
    if (!source.isEmpty()) {
        socket.bind(QHostAddress(source));
    }
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.waitForConnected(5000);
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void RawClient::Send(const Pairs& pairs) {
    std::string bytes;
    for (const auto& [name, value] : pairs) {
        AppendPair(bytes, name, value);
    }
    bytes.push_back('\x02');
    SendRaw(bytes);
}

void RawClient::SendRaw(const std::string& bytes) {
    socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket.waitForBytesWritten(5000);
}

std::unique_ptr<CList> RawClient::Receive(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (nextReady >= ready.size()) {
        ready.clear();
        nextReady = 0;
        QByteArray bytes = socket.readAll();
        if (!bytes.isEmpty()) {
            framer.Feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                        ready);
            continue;
        }
        qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || socket.state() != QAbstractSocket::ConnectedState ||
            !socket.waitForReadyRead(static_cast<int>(left))) {
            if (socket.bytesAvailable() > 0) {
                continue;
            }
            return nullptr;
        }
    }
    auto message = std::make_unique<CList>();
    EXPECT_EQ(message->Decode(ready[nextReady++]), 0);
    return message;
}

bool RawClient::Silent(int ms) {
    if (nextReady < ready.size() || socket.bytesAvailable() > 0) {
        return false;
    }
    return !socket.waitForReadyRead(ms) && socket.bytesAvailable() == 0;
}

bool RawClient::WaitClosed(int timeoutMs) {
    if (socket.state() == QAbstractSocket::UnconnectedState) {
        return true;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (socket.state() == QAbstractSocket::UnconnectedState) {
            return true;
        }
        socket.waitForReadyRead(static_cast<int>(timeoutMs - clock.elapsed()));
        socket.readAll();
    }
    return socket.state() == QAbstractSocket::UnconnectedState;
}

void RawClient::SendLogin(const std::string& database) {
    Send({{"PROTOCOL", "513"}, {"DATABASE", database}, {"PASSWORD", ""}, {"USERID", "Anonymous"}});
}

std::unique_ptr<CList> RawClient::Login() {
    auto greeting = Receive();
    EXPECT_TRUE(greeting && Op(*greeting) == "CONNECT");
    SendLogin();
    auto accepted = Receive();
    EXPECT_TRUE(accepted && Op(*accepted) == "ACCEPTED");
    Ack();
    return accepted;
}

void RawClient::SendQuery(const std::string& select, const std::string& from,
                          const std::string& where, const std::string& order) {
    Pairs pairs = {{"OPERATION", "QUERY"}, {"CONTEXT", "1"}, {"SELECT", select}, {"FROM", from}};
    if (!where.empty()) {
        pairs.emplace_back("WHERE", where);
    }
    if (!order.empty()) {
        pairs.emplace_back("ORDERBY", order);
    }
    Send(pairs);
}

Exchange RawClient::Query(const std::string& select, const std::string& from,
                          const std::string& where, const std::string& order) {
    Exchange result;
    SendQuery(select, from, where, order);
    for (;;) {
        auto message = Receive();
        if (!message) {
            ADD_FAILURE() << "no answer to the query";
            return result;
        }
        Ack();
        std::string op = Op(*message);
        if (op == "ERROR") {
            result.Error = message->GetValue("MESSAGE");
            return result;
        }
        int rc = result.Table->AddFromMessage(*message);
        if (rc == 2) {
            ADD_FAILURE() << "the client's table refused a " << op;
            return result;
        }
        if (rc == 10) {
            result.Complete = true;
            return result;
        }
        if (op == "QUERYITEM") {
            ++result.Batches;
        }
    }
}
