// Streams the works search over a --create-large catalogue to a client that acknowledges every
// message at once, over loopback, and reports throughput and the server's peak memory.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/server/BenchClient.h"

namespace {

bool Has(const std::string& message, const char* pair) {
    return message.find(pair) != std::string::npos;
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

    bench::Child child;
    if (!bench::StartServer(child, binary, {"--db", file})) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    QProcess& server = child.Process;
    long idleKiB = bench::MemoryKiB(server.processId());

    bench::Client client(child.Port);
    if (client.Login() != "ACCEPTED") {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }

    size_t before = client.WireBytes();
    auto start = std::chrono::steady_clock::now();
    client.Send({{"OPERATION", "QUERY"},
                 {"CONTEXT", "1"},
                 {"SELECT", bench::WorksSelect},
                 {"FROM", bench::WorksFrom},
                 {"WHERE", bench::WorksJoin},
                 {"ORDERBY", "Opere.Titolo"}});
    long rows = 0;
    int messages = 0;
    for (;;) {
        std::string m = client.Receive();
        if (m.empty()) {
            std::fprintf(stderr, "connection closed\n");
            return 1;
        }
        client.Send({{"OPERATION", "RECEIVED"}});
        ++messages;
        if (Has(m, "OPERATION=ERROR\x01")) {
            std::fprintf(stderr, "ERROR from the server: %s\n", m.c_str());
            return 1;
        }
        if (Has(m, "DONE=TRUE\x01")) {
            break;
        }
        rows += bench::ItemsSent(m);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double megabytes = static_cast<double>(client.WireBytes() - before) / 1e6;
    long peakKiB = bench::MemoryKiB(server.processId());

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
