// The receive path: messages split across reads, several in one read, undecodable text, and
// the limit on a message that never ends.
#include "tests/client/ClientFixture.h"

namespace {
const std::string Knock = "OPERATION=KNOCK\x01\x02";
}

class Receive : public ClientFixture {};

TEST_F(Receive, AMessageSplitAcrossReadsIsHandledWhenItsTerminatorArrives) {
    server.OnMessage = nullptr;
    StartClient();
    ASSERT_TRUE(server.WaitForMessages(1));
    const std::string accepted =
        "ONLINE=\x01SERVER=ZEDUVOZ\x01VERSION=528\x01OPERATION=ACCEPTED\x01\x02";
    server.SendRaw(accepted.substr(0, 20));
    ASSERT_TRUE(WaitUntil([this] { return Probe().ReceiveBuffer().size() == 20; }));
    EXPECT_EQ(ActiveSocket, nullptr);
    server.SendRaw(accepted.substr(20));
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
    EXPECT_TRUE(Probe().ReceiveBuffer().empty());
}

TEST_F(Receive, SeveralMessagesInOneReadAreEachHandledAndATrailingPartStays) {
    Connect();
    server.SendRaw(Knock + Knock + "OPERATION=KN");
    ASSERT_TRUE(server.WaitForMessages(4));
    QTest::qWait(30);
    EXPECT_EQ(CountOps("RECEIVED"), 3u);
    EXPECT_EQ(Probe().ReceiveBuffer(), "OPERATION=KN");
    server.SendRaw("OCK\x01\x02");
    ASSERT_TRUE(server.WaitForMessages(5));
    EXPECT_TRUE(Probe().ReceiveBuffer().empty());
    EXPECT_TRUE(desk.Boxes.empty());
}

TEST_F(Receive, AnUndecodableMessageEndsTheProgram) {
    // Whatever the state: during the handshake and once connected.
    for (bool connected : {false, true}) {
        SCOPED_TRACE(connected);
        desk.Boxes.clear();
        terminations = 0;
        server.Received.clear();
        if (connected) {
            Connect();
        } else {
            StartClient();
            ASSERT_TRUE(server.WaitForMessages(1));
        }
        server.SendRaw("senza uguale\x02");
        ASSERT_TRUE(WaitUntil([this] { return terminations == 1; }));
        ASSERT_EQ(desk.Boxes.size(), 1u);
        EXPECT_EQ(desk.Last().Text, "Errore nella ricezione dei dati.");
        EXPECT_EQ(desk.Last().Title, "Errore interno");
        EXPECT_TRUE(Terminating);
        EXPECT_EQ(ActiveSocket, nullptr);
        // From now on the socket is left alone and commands do nothing.
        form->ButtonChiudiClick();
        EXPECT_FALSE(form.isNull());
        DestroyClient();
    }
}

TEST_F(Receive, AMessageThatNeverEndsIsAReceptionError) {
    TMainForm::ReceiveLimit = 4096;
    Connect();
    server.SendRaw(std::string(4096, 'x'));
    ASSERT_TRUE(WaitUntil([this] { return Probe().ReceiveBuffer().size() == 4096; }));
    EXPECT_EQ(terminations, 0);
    server.SendRaw("y");
    ASSERT_TRUE(WaitUntil([this] { return terminations == 1; }));
    EXPECT_EQ(desk.Last().Text, "Errore nella ricezione dei dati.");
    EXPECT_EQ(desk.Last().Title, "Errore interno");
    EXPECT_TRUE(Probe().ReceiveBuffer().empty());
}

TEST_F(Receive, TrafficAboveTheThresholdAsksForMemoryRecovery) {
    Connect();
    // Padding that makes each KNOCK exactly 65,536 bytes.
    std::string knock = "PAD=" + std::string(65536 - Knock.size() - 5, 'p') + "\x01" + Knock;
    ASSERT_EQ(knock.size(), 65536u);
    for (int i = 1; i <= 4; ++i) {
        server.SendRaw(knock);
        ASSERT_TRUE(server.WaitForMessages(2 + static_cast<size_t>(i)));
    }
    EXPECT_EQ(Probe().BytesReceived(), 262144);
    EXPECT_FALSE(MemoryRecoveryPending);
    server.SendRaw(Knock);
    ASSERT_TRUE(server.WaitForMessages(7));
    EXPECT_EQ(Probe().BytesReceived(), 0);
    EXPECT_TRUE(MemoryRecoveryPending);
}

TEST_F(Receive, MessagesBehindARefusalAreDropped) {
    desk.Answers = {MsgAnswer::Yes};
    server.OnMessage = [this](const Pairs&) {
        server.SendRaw("MESSAGE=no\x01OPERATION=ERROR\x01\x02OPERATION=BUSY\x01\x02");
    };
    StartClient();
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    QTest::qWait(50);
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"no"});
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_TRUE(Probe().ReceiveBuffer().empty());
}
