// The client against a real orvo-server on the sample catalogue: handshake, a query with rows,
// a refused query, a cancelled one and the disconnect at close.
#include <QProcess>
#include <QRegularExpression>

#include "tests/client/ClientFixture.h"

class LiveServer : public ClientFixture {
protected:
    void SetUp() override {
        ClientFixture::SetUp();
        process.start(ORVO_SERVER_PATH, {"--listen", "127.0.0.1", "--port", "0", "--batch", "7",
                                         "--site", "https://www.example.org/"});
        ASSERT_TRUE(process.waitForStarted(5000));
        QString line;
        while (!line.contains("listening on") && process.waitForReadyRead(5000)) {
            line += QString::fromLocal8Bit(process.readAllStandardOutput());
        }
        auto match = QRegularExpression(R"(listening on [^:\s]+:(\d+))").match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        StoreSettings(match.captured(1).toUInt());
        StartClient();
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }, 5000));
    }
    void TearDown() override {
        ClientFixture::TearDown();
        process.terminate();
        process.waitForFinished(3000);
    }
    QProcess process;
};

TEST_F(LiveServer, ConnectsQueriesAndDisconnects) {
    EXPECT_EQ(ServerName, "ZEDUVOZ");
    EXPECT_TRUE(form->ButtonAutore->isEnabled());
    EXPECT_TRUE(form->ButtonSitoVek->isEnabled());

    EXPECT_EQ(form->RunQuery({"ClasseNome", "Classi", "", "ClasseNome"}), 1u);
    EXPECT_GE(form->Results->RowCount(), 3);
    EXPECT_FALSE(form->Results->GetField("ClasseNome", 1).empty());

    // Works in several batches of 7 rows.
    EXPECT_EQ(form->RunQuery({"Titolo", "Opere", "OperaId > 0", ""}), 2u);
    EXPECT_GT(form->Results->RowCount(), 7);

    // A statement the server refuses ends in its message.
    EXPECT_EQ(form->RunQuery({"Titolo", "Tabella_Inesistente", "", ""}), 0u);
    EXPECT_EQ(form->QueryStatus, 2);
    ASSERT_FALSE(desk.Boxes.empty());
    EXPECT_EQ(desk.Last().Text.rfind("Operazione fallita.", 0), 0u);

    form->close();
    EXPECT_TRUE(WaitUntil([this] { return form.isNull(); }));
    // The server closes its side after DISCONNECT and keeps running.
    EXPECT_EQ(process.state(), QProcess::Running);
}
