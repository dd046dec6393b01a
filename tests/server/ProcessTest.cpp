// The real binary: command line, exit codes, catalogue files and signals.

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sqlite3.h>

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

// Starts the server and reads the port from its first line.
quint16 StartServing(QProcess& p, const QStringList& extra) {
    p.start(Binary, QStringList{"--port", "0"} + extra);
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
    };
    for (const auto& [args, named] : cases) {
        Finished f = RunToEnd(args);
        EXPECT_EQ(f.Code, 2) << args.join(' ').toStdString();
        std::string firstLine = f.Stderr.substr(0, f.Stderr.find('\n'));
        EXPECT_NE(firstLine.find(named), std::string::npos) << firstLine;
    }
}

TEST(Process, CatalogueFilesAreCreatedOnceAndCheckedWhenOpened) {
    QTemporaryDir dir;
    QString sample = dir.filePath("sample.db");
    ASSERT_EQ(RunToEnd({"--create-sample", sample}).Code, 0);
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

} // namespace
