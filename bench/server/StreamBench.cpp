// Streams the works search over a --create-large catalogue to a client that acknowledges every
// message at once, over loopback, and reports throughput and the server's peak memory.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "server/Wire.h"

namespace {

const char* const Select =
    "Opere.OperaId, Opere.Titolo, Opere.Edizione, Opere.Pagine, Opere.Sottotitolo, "
    "Opere.Descrizione, Catalogo.nCD, Catalogo.Cassette, Catalogo.Minuti, "
    "Catalogo.DataIncisione, Catalogo.TipoRegistrazione, Catalogo.CodOrigine, "
    "Catalogo.CatalogoId, Autori.AutoreNome, Editori.EditoreNome, Classi.ClasseNome";
const char* const From = "Opere, Autori, Editori, Classi, Catalogo";
// The client's join clauses, without the availability filter, so every work is one row.
const char* const Where = "(Catalogo.OperaId = Opere.OperaId) AND "
                          "(Autori.AutoreId = Opere.AutoreId) AND "
                          "(Opere.EditoreId = Editori.EditoreId) AND "
                          "(Classi.ClasseId = Opere.ClasseId)";

class Client {
public:
    explicit Client(int port) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            std::perror("connect");
            std::exit(1);
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~Client() { ::close(fd); }

    void Send(std::initializer_list<std::pair<std::string_view, std::string_view>> pairs) {
        std::string out;
        for (const auto& [n, v] : pairs) {
            AppendPair(out, n, v);
        }
        out.push_back('\x02');
        for (size_t sent = 0; sent < out.size();) {
            ssize_t n = ::write(fd, out.data() + sent, out.size() - sent);
            if (n <= 0) {
                std::perror("write");
                std::exit(1);
            }
            sent += static_cast<size_t>(n);
        }
    }
    // The next whole message.
    std::string Receive() {
        while (next >= ready.size()) {
            ready.clear();
            next = 0;
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                std::fprintf(stderr, "connection closed\n");
                std::exit(1);
            }
            wireBytes += static_cast<size_t>(n);
            framer.Feed(std::string_view(buffer, static_cast<size_t>(n)), ready);
        }
        return std::move(ready[next++]);
    }
    size_t wireBytes = 0;

private:
    int fd;
    char buffer[1 << 16];
    MessageFramer framer;
    std::vector<std::string> ready;
    size_t next = 0;
};

bool Has(const std::string& message, const char* pair) {
    return message.find(pair) != std::string::npos;
}

long ItemsSent(const std::string& message) {
    auto at = message.find("ITEMSSEND=");
    return at == std::string::npos ? 0 : std::strtol(message.c_str() + at + 10, nullptr, 10);
}

long PeakKiB(qint64 pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long long works = 100000;
    QString keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--works") == 0) {
            works = std::atoll(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = argv[i + 1];
        }
    }
    QTemporaryDir temp;
    QString dir = keep.isEmpty() ? temp.path() : keep;
    QDir().mkpath(dir);
    QString file = QDir(dir).filePath(QString("large-%1.db").arg(works));

    const QString binary = QStringLiteral(ORVO_SERVER_BINARY);
    if (!QFile::exists(file)) {
        QElapsedTimer build;
        build.start();
        int rc = QProcess::execute(
            binary, {"--create-large", file, "--works", QString::number(works), "--seed", "1"});
        if (rc != 0) {
            std::fprintf(stderr, "--create-large failed\n");
            return 1;
        }
        std::printf("create-large: %lld works in %.2f s\n", works, build.elapsed() / 1000.0);
    }

    QProcess server;
    server.start(binary, {"--db", file, "--port", "0"});
    server.waitForStarted(5000);
    while (!server.canReadLine() && server.waitForReadyRead(10000)) {
    }
    auto match =
        QRegularExpression(":(\\d+)$").match(QString::fromUtf8(server.readLine()).trimmed());
    if (!match.hasMatch()) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    long idleKiB = PeakKiB(server.processId());

    Client client(match.captured(1).toInt());
    client.Receive(); // CONNECT
    client.Send({{"PROTOCOL", "513"},
                 {"DATABASE", "OrvoDBase"},
                 {"PASSWORD", ""},
                 {"USERID", "Anonymous"}});
    client.Receive(); // ACCEPTED
    client.Send({{"OPERATION", "RECEIVED"}});

    size_t before = client.wireBytes;
    auto start = std::chrono::steady_clock::now();
    client.Send({{"OPERATION", "QUERY"},
                 {"CONTEXT", "1"},
                 {"SELECT", Select},
                 {"FROM", From},
                 {"WHERE", Where},
                 {"ORDERBY", "Opere.Titolo"}});
    long rows = 0;
    int messages = 0;
    for (;;) {
        std::string m = client.Receive();
        client.Send({{"OPERATION", "RECEIVED"}});
        ++messages;
        if (Has(m, "OPERATION=ERROR\x01")) {
            std::fprintf(stderr, "ERROR from the server: %s\n", m.c_str());
            return 1;
        }
        if (Has(m, "DONE=TRUE\x01")) {
            break;
        }
        rows += ItemsSent(m);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double megabytes = static_cast<double>(client.wireBytes - before) / 1e6;
    long peakKiB = PeakKiB(server.processId());

    server.terminate();
    server.waitForFinished(5000);

    std::printf("rows: %ld in %d messages, 16 columns\n", rows, messages);
    std::printf("time: %.3f s\n", seconds);
    std::printf("rows/s: %.0f\n", rows / seconds);
    std::printf("wire: %.1f MB, %.1f MB/s\n", megabytes, megabytes / seconds);
    std::printf("server peak memory (VmHWM): %.1f MB (%.1f MB before the query)\n",
                peakKiB / 1024.0, idleKiB / 1024.0);
    if (rows != works) {
        std::fprintf(stderr, "expected %lld rows\n", works);
        return 1;
    }
    if (peakKiB < 0 || peakKiB >= 100 * 1024) {
        std::fprintf(stderr, "peak memory not under 100 MB\n");
        return 1;
    }
    return 0;
}
