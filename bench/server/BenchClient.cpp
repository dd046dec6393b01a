#include "bench/server/BenchClient.h"

#include <QFile>
#include <QRegularExpression>
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

const char* const WorksSelect =
    "Opere.OperaId, Opere.Titolo, Opere.Edizione, Opere.Pagine, Opere.Sottotitolo, "
    "Opere.Descrizione, Catalogo.nCD, Catalogo.Cassette, Catalogo.Minuti, "
    "Catalogo.DataIncisione, Catalogo.TipoRegistrazione, Catalogo.CodOrigine, "
    "Catalogo.CatalogoId, Autori.AutoreNome, Editori.EditoreNome, Classi.ClasseNome";
const char* const WorksFrom = "Opere, Autori, Editori, Classi, Catalogo";
const char* const WorksJoin = "(Catalogo.OperaId = Opere.OperaId) AND "
                              "(Autori.AutoreId = Opere.AutoreId) AND "
                              "(Opere.EditoreId = Editori.EditoreId) AND "
                              "(Classi.ClasseId = Opere.ClasseId)";

Client::Client(int port, const std::string& source, int timeoutMs) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    if (!source.empty()) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source.c_str(), &from.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
    }
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        fd = -1;
        return;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Client::~Client() {
    if (fd >= 0) {
        ::close(fd);
    }
}

bool Client::Send(const std::vector<std::pair<std::string_view, std::string_view>>& pairs) {
    std::string out;
    for (const auto& [n, v] : pairs) {
        AppendPair(out, n, v);
    }
    out.push_back('\x02');
    for (size_t sent = 0; sent < out.size();) {
        ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string Client::Receive() {
    char buffer[1 << 16];
    while (next >= ready.size()) {
        ready.clear();
        next = 0;
        ssize_t n = fd >= 0 ? ::read(fd, buffer, sizeof buffer) : -1;
        if (n <= 0) {
            return {};
        }
        wireBytes += static_cast<size_t>(n);
        framer.Feed(std::string_view(buffer, static_cast<size_t>(n)), ready);
    }
    return std::move(ready[next++]);
}

std::string Client::Login() {
    if (Operation(Receive()) != "CONNECT") {
        return {};
    }
    Send({{"PROTOCOL", "513"},
          {"DATABASE", "OrvoDBase"},
          {"PASSWORD", ""},
          {"USERID", "Anonymous"}});
    std::string op = Operation(Receive());
    if (op == "ACCEPTED") {
        Send({{"OPERATION", "RECEIVED"}});
    }
    return op;
}

Client::Result Client::Query(std::string_view select, std::string_view from, std::string_view where,
                             std::string_view order) {
    Result result;
    std::vector<std::pair<std::string_view, std::string_view>> pairs = {
        {"OPERATION", "QUERY"}, {"CONTEXT", "1"}, {"SELECT", select}, {"FROM", from}};
    if (!where.empty()) {
        pairs.emplace_back("WHERE", where);
    }
    if (!order.empty()) {
        pairs.emplace_back("ORDERBY", order);
    }
    Send(pairs);
    for (;;) {
        std::string m = Receive();
        if (m.empty()) {
            result.Error = "closed";
            return result;
        }
        Send({{"OPERATION", "RECEIVED"}});
        std::string op = Operation(m);
        if (op == "ERROR") {
            auto at = m.find("MESSAGE=");
            result.Error =
                at == std::string::npos ? "?" : m.substr(at + 8, m.find('\x01', at) - at - 8);
            return result;
        }
        if (m.find("DONE=TRUE\x01") != std::string::npos) {
            return result;
        }
        result.Rows += ItemsSent(m);
    }
}

std::string Operation(const std::string& message) {
    auto at = message.find("OPERATION=");
    if (at == std::string::npos) {
        return {};
    }
    at += 10;
    return message.substr(at, message.find('\x01', at) - at);
}

long ItemsSent(const std::string& message) {
    auto at = message.find("ITEMSSEND=");
    return at == std::string::npos ? 0 : std::strtol(message.c_str() + at + 10, nullptr, 10);
}

bool StartServer(Child& child, const QString& binary, const QStringList& args) {
    child.Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.Process.start(binary, args + QStringList{"--port", "0"});
    if (!child.Process.waitForStarted(5000)) {
        return false;
    }
    while (!child.Process.canReadLine() && child.Process.waitForReadyRead(30000)) {
    }
    auto match =
        QRegularExpression(":(\\d+)$").match(QString::fromUtf8(child.Process.readLine()).trimmed());
    child.Port = match.hasMatch() ? match.captured(1).toInt() : 0;
    return child.Port != 0;
}

long MemoryKiB(qint64 pid, const char* field) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                .trimmed()
                .split(' ')
                .first()
                .toLong();
        }
    }
    return -1;
}

double CpuSeconds(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    QByteArray text = stat.readAll();
    // Fields after the command, which is in parentheses and may hold blanks.
    QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    double ticks =
        static_cast<double>(fields.value(11).toLongLong() + fields.value(12).toLongLong());
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace bench
