// The real binary: command line, exit codes, catalogue files and signals.

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "server/Server.h"
#include "tests/server/ServerHarness.h"

namespace {

const QString Binary = QStringLiteral(ORVO_SERVER_BINARY);

struct Finished {
    int Code = -1;
    std::string Stdout, Stderr;
};

Finished RunToEnd(const QStringList& args) {
    QProcess p;
    p.start(Binary, args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

// Starts the server and reads the port from its first line. With a descriptor limit, through
// the shell's ulimit.
quint16 StartServing(QProcess& p, const QStringList& extra, int maxFiles = 0) {
    if (maxFiles > 0) {
        p.start("/bin/sh",
                QStringList{"-c", QString("ulimit -n %1 && exec \"$0\" \"$@\"").arg(maxFiles),
                            Binary, "--port", "0"} +
                    extra);
    } else {
        p.start(Binary, QStringList{"--port", "0"} + extra);
    }
    if (!p.waitForStarted(5000)) {
        return 0;
    }
    while (!p.canReadLine() && p.waitForReadyRead(5000)) {
    }
    QString line = QString::fromUtf8(p.readLine()).trimmed();
    auto match = QRegularExpression("^listening on 127\\.0\\.0\\.1:(\\d+)$").match(line);
    EXPECT_TRUE(match.hasMatch()) << line.toStdString();
    return match.hasMatch() ? static_cast<quint16>(match.captured(1).toUInt()) : 0;
}

// A plain socket: unlike QTcpSocket it never reads behind the test's back.
int Connect(quint16 port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    // A server that stopped reading fails the test instead of hanging it.
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return fd;
}

// What the server sends first: the greeting of an accepted client, or all that a refused one
// gets before the server closes.
std::string ReadAnswer(int fd) {
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string got;
    char buffer[256];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return got;
        }
        got.append(buffer, static_cast<size_t>(n));
        // An accepted client's greeting is not followed by anything until it logs in.
        if (got.ends_with("\x01\x02") && got.find("IDENTIFY=0\x01") == std::string::npos) {
            return got;
        }
    }
}

void WriteAll(int fd, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        ASSERT_GT(n, 0);
        sent += static_cast<size_t>(n);
    }
}

long PeakKiB(qint64 pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

QByteArray Digest(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

TEST(Process, ServesTheSampleByDefaultAndStopsCleanlyOnSignals) {
    for (int signal : {SIGTERM, SIGINT}) {
        QProcess p;
        quint16 port = StartServing(p, {});
        ASSERT_NE(port, 0);
        {
            RawClient client(port);
            client.Login();
            EXPECT_EQ(client.Query("ClasseNome", "Classi").Table->RowCount(), 6);
        }
        ::kill(static_cast<pid_t>(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
    }
}

TEST(Process, BadArgumentsNameTheArgumentAndExitWithTwo) {
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"--port", "abc"}, "--port"},
        {{"--port", "70000"}, "--port"},
        {{"--batch", "2000"}, "--batch"},
        {{"--frobnicate"}, "--frobnicate"},
        {{"--works", "5"}, "--works"},
        {{"--create-large", "x.db"}, "--works"},
        {{"--redirect", "host"}, "--redirect"},
        {{"--listen", "not-an-address", "--port", "0"}, "--listen"},
        {{"--port=70000"}, "--port"},
        {{"--knock-timeout", "soon"}, "--knock-timeout"},
        {{"--workers=0"}, "--workers"},
        {{"--per-address", "0"}, "--per-address"},
        {{"--port", "0", "--cache-size"}, "--cache-size"},
        {{"--mmap-size=-1"}, "--mmap-size"},
        {{"catalogue.db"}, "catalogue.db"},
        {{"--create-sample", "x.db", "--workers", "2"}, "--create-sample"},
    };
    for (const auto& [args, named] : cases) {
        Finished f = RunToEnd(args);
        EXPECT_EQ(f.Code, 2) << args.join(' ').toStdString();
        EXPECT_EQ(f.Stderr.find('\n'), f.Stderr.size() - 1) << "not one line: " << f.Stderr;
        EXPECT_NE(f.Stderr.find(named), std::string::npos) << f.Stderr;
    }
}

TEST(Process, VersionHelpAndValuesAfterAnEqualsSign) {
    Finished version = RunToEnd({"--version"});
    EXPECT_EQ(version.Code, 0);
    EXPECT_EQ(version.Stdout, "orvo-server " ORVO_SERVER_VERSION "\n");
    Finished help = RunToEnd({"--help"});
    EXPECT_EQ(help.Code, 0);
    for (const char* option : {"--per-address", "--workers", "--batch-timeout", "--knock-timeout",
                               "--cache-size", "--mmap-size", "--version"}) {
        EXPECT_NE(help.Stdout.find(option), std::string::npos) << option;
    }

    QProcess p;
    quint16 port = StartServing(p, {"--workers=1", "--max-clients=1", "--knock=30"});
    ASSERT_NE(port, 0);
    RawClient first(port);
    first.Login();
    RawClient second(port);
    second.Receive();
    second.SendLogin();
    auto reply = second.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(Op(*reply), "BUSY") << "--max-clients=1 not taken";
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
}

TEST(Process, VerboseLogLinesCannotBeForgedByAClient) {
    QProcess p;
    quint16 port = StartServing(p, {"--verbose"});
    ASSERT_NE(port, 0);
    {
        RawClient client(port);
        client.Receive();
        client.Send({{"PROTOCOL", "513"},
                     {"DATABASE", "OrvoDBase"},
                     {"USERID", "Anonymous\norvo-server: forged user"}});
        ASSERT_TRUE(client.Receive());
        client.Ack();
        client.Query("ClasseNome", "Classi", "1\r\norvo-server: forged query");
    }
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(5000));
    const QStringList lines = QString::fromUtf8(p.readAllStandardError()).split('\n');
    bool sawUser = false;
    for (const QString& line : lines) {
        EXPECT_FALSE(line.startsWith("orvo-server: forged")) << line.toStdString();
        sawUser = sawUser || line.contains("Anonymous\\x0Aorvo-server: forged user");
    }
    EXPECT_TRUE(sawUser) << "the user's name is not in the log, escaped";
}

TEST(Process, CatalogueFilesAreCreatedOnceAndCheckedWhenOpened) {
    QTemporaryDir dir;
    QString sample = dir.filePath("sample.db");
    // What a killed build leaves behind: replaced, not built upon, and gone afterwards.
    QFile stale(sample + ".part");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray(1 << 20, 'x'));
    stale.close();
    ASSERT_EQ(RunToEnd({"--create-sample", sample}).Code, 0);
    EXPECT_FALSE(QFile::exists(sample + ".part"));
    EXPECT_EQ(RunToEnd({"--create-sample", sample}).Code, 1) << "replaced an existing file";

    QProcess p;
    quint16 port = StartServing(p, {"--db", sample});
    ASSERT_NE(port, 0);
    {
        RawClient client(port);
        client.Login();
        EXPECT_EQ(client.Query("*", "Opere").Table->RowCount(), 52);
    }
    p.terminate();
    p.waitForFinished(5000);

    Finished missing = RunToEnd({"--db", dir.filePath("none.db"), "--port", "0"});
    EXPECT_EQ(missing.Code, 1);
    EXPECT_NE(missing.Stderr.find("none.db"), std::string::npos);

    QString partial = dir.filePath("partial.db");
    sqlite3* db = nullptr;
    sqlite3_open(partial.toStdString().c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE Classi(ClasseId INTEGER PRIMARY KEY, ClasseNome TEXT)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    Finished lacking = RunToEnd({"--db", partial, "--port", "0"});
    EXPECT_EQ(lacking.Code, 1);
    EXPECT_NE(lacking.Stderr.find("Opere"), std::string::npos) << lacking.Stderr;

    QFile junk(dir.filePath("junk.db"));
    junk.open(QIODevice::WriteOnly);
    junk.write(QByteArray(4096, 'j'));
    junk.close();
    EXPECT_EQ(RunToEnd({"--db", junk.fileName(), "--port", "0"}).Code, 1);
}

// A create stopped while it writes leaves nothing behind, and ends as stopped by the signal.
TEST(Process, ACreateStoppedBySignalRemovesItsUnfinishedFile) {
    QTemporaryDir dir;
    const QString large = dir.filePath("large.db");
    for (const int stop : {SIGTERM, SIGINT}) {
        QProcess p;
        p.start(Binary, {"--create-large", large, "--works", "5000000"});
        ASSERT_TRUE(p.waitForStarted(5000));
        for (int waited = 0; QFile(large + ".part").size() <= (1 << 20); waited += 10) {
            ASSERT_LT(waited, 30000) << "no unfinished file grew";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(static_cast<pid_t>(p.processId()), stop);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << stop;
        EXPECT_FALSE(QFile::exists(large + ".part")) << stop;
        EXPECT_FALSE(QFile::exists(large)) << stop;
    }
}

TEST(Process, LargeCataloguesAreDeterministic) {
    QTemporaryDir dir;
    QString a = dir.filePath("a.db"), b = dir.filePath("b.db"), c = dir.filePath("c.db");
    ASSERT_EQ(RunToEnd({"--create-large", a, "--works", "500", "--seed", "7"}).Code, 0);
    ASSERT_EQ(RunToEnd({"--create-large", b, "--works", "500", "--seed", "7"}).Code, 0);
    ASSERT_EQ(RunToEnd({"--create-large", c, "--works", "500", "--seed", "8"}).Code, 0);
    EXPECT_EQ(Digest(a), Digest(b));
    EXPECT_NE(Digest(a), Digest(c));

    TestServer server({}, TestServer::Source::File, a.toStdString());
    RawClient client(server.Port());
    client.Login();
    Exchange works = client.Query(WorksSelect, WorksFrom, WorksCondition, "Opere.Titolo");
    ASSERT_TRUE(works.Complete) << works.Error;
    EXPECT_GT(works.Table->RowCount(), 450);
    EXPECT_LT(works.Table->RowCount(), 500);
    Exchange centres = client.Query(
        "*", "Provenienza", "(CentroOrvo <> false) AND (ProvenienzaId<>1)", "RagioneSociale");
    EXPECT_GT(centres.Table->RowCount(), 0);
}

TEST(Process, ClientsThatReadNothingOrFloodNeitherGrowTheServerNorStopIt) {
    QProcess p;
    // Measured for its growth: under AddressSanitizer freed memory would otherwise be held back
    // (up to 256 MiB) to catch late uses, and count as growth.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":quarantine_size_mb=0");
    p.setProcessEnvironment(environment);
    quint16 port = StartServing(p, {}, 40);
    ASSERT_NE(port, 0);

    // Descriptors the server inherited (a harness's log file, say) take numbers too, so count
    // numbers, not entries.
    auto used = [pid = p.processId()] {
        int n = 0;
        for (int fd = 0; fd < 40; ++fd) {
            std::error_code ignored;
            n += std::filesystem::is_symlink(std::filesystem::path("/proc") / std::to_string(pid) /
                                                 "fd" / std::to_string(fd),
                                             ignored);
        }
        return n;
    };
    const int usedAtStart = used();

    // A flood past the descriptor limit: every client is answered, those beyond the limit with
    // BUSY, and the server keeps a few descriptors free rather than running out (with none left,
    // later clients would wait unanswered, and nothing in the process could open a file); once
    // the flood is gone it accepts again.
    std::vector<int> idle;
    for (int i = 0; i < 60; ++i) {
        idle.push_back(Connect(port));
    }
    int busy = 0;
    for (int fd : idle) {
        const std::string answer = ReadAnswer(fd);
        CList greeting;
        ASSERT_EQ(greeting.Decode(answer), 0) << "a client left without an answer";
        EXPECT_EQ(greeting.GetValue("OPERATION"), "CONNECT");
        if (greeting.GetValue("IDENTIFY") == "0") {
            ++busy;
            EXPECT_NE(answer.find("OPERATION=BUSY\x01\x02"), std::string::npos) << answer;
        }
    }
    EXPECT_GT(busy, 0) << "the flood never reached the limit";
    // The last refused client reads its end of file just before the server closes its side.
    for (int wait = 0; wait < 250 && used() > 40 - Listener::SpareDescriptors; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_LE(used(), 40 - Listener::SpareDescriptors);
    for (int fd : idle) {
        ::close(fd);
    }
    // Until the server has seen them go, a newcomer would rightly get BUSY.
    for (int wait = 0; wait < 250 && used() > usedAtStart; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    RawClient late(port);
    late.Login();
    EXPECT_TRUE(late.Query("ClasseNome", "Classi").Complete);

    // Logs in, then acknowledges a 30 MB result without reading it, and sends ABORT a million
    // times: the server must hold back rather than buffer it all.
    int reader = Connect(port);
    std::string login;
    AppendPair(login, "PROTOCOL", "513");
    AppendPair(login, "DATABASE", "OrvoDBase");
    AppendPair(login, "USERID", "Anonymous");
    login += '\x02';
    std::string received;
    AppendPair(received, "OPERATION", "RECEIVED");
    received += '\x02';
    WriteAll(reader, login + received);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long before = PeakKiB(p.processId());
    std::string flood;
    AppendPair(flood, "OPERATION", "QUERY");
    AppendPair(flood, "SELECT", "a.Descrizione, b.Descrizione, c.Descrizione");
    AppendPair(flood, "FROM", "Opere a, Opere b, Opere c");
    flood += '\x02';
    for (int i = 0; i < 300; ++i) {
        flood += received;
    }
    WriteAll(reader, flood);
    std::string abort;
    AppendPair(abort, "OPERATION", "ABORT");
    abort += '\x02';
    std::string aborts;
    for (int i = 0; i < 100000; ++i) {
        aborts += abort;
    }
    for (int i = 0; i < 10; ++i) {
        WriteAll(reader, aborts);
    }
    {
        RawClient other(port);
        other.Login();
        EXPECT_EQ(other.Query("ClasseNome", "Classi").Table->RowCount(), 6);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long growth = PeakKiB(p.processId()) - before;
    EXPECT_LT(growth, 12 * 1024) << "KiB";
    ::close(reader);

    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
}

} // namespace
