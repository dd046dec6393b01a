// The server's side of the handshake and of the acknowledged exchange, spoken byte for byte.

#include <gtest/gtest.h>

#include "tests/server/ServerHarness.h"

namespace {

ServerOptions WithLinks() {
    ServerOptions o;
    o.Site = "https://www.example.org/città";
    o.Mail = "info@example.org";
    o.Online = "https://www.example.org/iscrizione";
    return o;
}

TEST(Handshake, GreetsEveryConnectionAndAcceptsTheLoginWithTheLinks) {
    TestServer server(WithLinks());
    RawClient first(server.Port());
    RawClient second(server.Port());
    auto greeting1 = first.Receive();
    auto greeting2 = second.Receive();
    ASSERT_TRUE(greeting1 && greeting2);
    EXPECT_EQ(Op(*greeting1), "CONNECT");
    EXPECT_FALSE(greeting1->GetValue("IDENTIFY").empty());
    EXPECT_NE(greeting1->GetValue("IDENTIFY"), greeting2->GetValue("IDENTIFY"));
    // The greeting is answered by the login, not acknowledged.
    EXPECT_TRUE(first.Silent(100));

    first.SendLogin();
    auto accepted = first.Receive();
    ASSERT_TRUE(accepted);
    EXPECT_EQ(Op(*accepted), "ACCEPTED");
    EXPECT_EQ(accepted->GetValue("SERVER"), "ZEDUVOZ");
    EXPECT_EQ(accepted->GetValue("VERSION"), "528");
    EXPECT_EQ(accepted->GetValue("SITOVEK"), "https://www.example.org/citt\xE0");
    EXPECT_EQ(accepted->GetValue("EMAILORVO"), "info@example.org");
    EXPECT_EQ(accepted->GetValue("ONLINE"), "https://www.example.org/iscrizione");
    first.Ack();
    EXPECT_EQ(first.Query("ClasseNome", "Classi").Table->RowCount(), 6);
}

TEST(Handshake, RefusalsAnswerOnceAndClose) {
    {
        TestServer server;
        RawClient client(server.Port());
        client.Receive();
        client.SendLogin("AltroDB");
        auto reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Op(*reply), "DBNOTFOUND");
        EXPECT_TRUE(client.WaitClosed());
    }
    {
        TestServer server({}, TestServer::Source::None);
        RawClient client(server.Port());
        client.Receive();
        client.SendLogin();
        auto reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Op(*reply), "DBNOTREADY");
        EXPECT_TRUE(client.WaitClosed());
    }
    for (bool always : {false, true}) {
        ServerOptions o;
        o.Redirect = RedirectTarget{"orvo.example.org", 10300, always};
        TestServer server(o);
        RawClient client(server.Port());
        client.Receive();
        client.SendLogin();
        auto reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Op(*reply), "REDIRECT");
        EXPECT_EQ(reply->GetValue("ADDRESS"), "orvo.example.org");
        EXPECT_EQ(reply->GetValue("PORT"), "10300");
        ASSERT_NE(reply->FindNode("SERVICE"), nullptr);
        EXPECT_EQ(reply->GetValue("SERVICE"), "");
        EXPECT_EQ(reply->GetValue("ALWAYS"), always ? "TRUE" : "FALSE");
        EXPECT_TRUE(client.WaitClosed());
    }
}

TEST(Handshake, BusyPastMaxClientsLeavesTheOthersServedAndFreesTheSlotOnClose) {
    ServerOptions o;
    o.MaxClients = 1;
    TestServer server(o);
    auto first = std::make_unique<RawClient>(server.Port());
    first->Login();

    RawClient second(server.Port());
    second.Receive();
    second.SendLogin();
    auto reply = second.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(Op(*reply), "BUSY");
    EXPECT_TRUE(second.WaitClosed());
    EXPECT_EQ(first->Query("ClasseNome", "Classi").Table->RowCount(), 6);

    first->Send({{"OPERATION", "DISCONNECT"}});
    EXPECT_TRUE(first->WaitClosed());
    RawClient third(server.Port());
    third.Login();
    EXPECT_TRUE(third.Query("ClasseNome", "Classi").Complete);
}

TEST(Exchange, BatchesCarryAbsoluteRowsAndEachWaitsForItsReceipt) {
    ServerOptions o;
    o.Batch = 4;
    TestServer server(o);
    RawClient client(server.Port());
    client.Login();
    client.SendQuery("ClasseNome", "Classi", "", "ClasseId");

    CMatrix table;
    auto header = client.Receive();
    ASSERT_TRUE(header);
    EXPECT_EQ(Op(*header), "QUERYRESULT");
    EXPECT_EQ(header->GetValue("COLS"), "1");
    EXPECT_EQ(header->GetValue("NAME1"), "ClasseNome");
    EXPECT_EQ(table.AddFromMessage(*header), 0);
    EXPECT_TRUE(client.Silent(150)) << "sent before the receipt of QUERYRESULT";
    client.Ack();

    auto first = client.Receive();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetValue("ITEMSSEND"), "4");
    EXPECT_EQ(first->GetValue("1:1"), "Narrativa");
    EXPECT_EQ(first->GetValue("1:4"), "Libri per ragazzi");
    EXPECT_EQ(table.AddFromMessage(*first), 0);
    EXPECT_TRUE(client.Silent(150)) << "sent before the receipt of the first batch";
    client.Ack();

    auto second = client.Receive();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetValue("ITEMSSEND"), "2");
    EXPECT_EQ(second->FindNode("1:1"), nullptr);
    EXPECT_EQ(second->GetValue("1:5"), "Saggistica");
    EXPECT_EQ(second->GetValue("1:6"), "Memorie e lettere");
    EXPECT_EQ(table.AddFromMessage(*second), 0);
    EXPECT_TRUE(client.Silent(150));
    client.Ack();

    auto done = client.Receive();
    ASSERT_TRUE(done);
    EXPECT_EQ(Op(*done), "QUERYITEM");
    EXPECT_EQ(done->GetValue("DONE"), "TRUE");
    EXPECT_EQ(table.AddFromMessage(*done), 10);
    EXPECT_EQ(table.RowCount(), 6);
    client.Ack();
    EXPECT_TRUE(client.Silent(100));
}

TEST(Exchange, AbortStopsAResultMidwayAndTheConnectionGoesOn) {
    ServerOptions o;
    o.Batch = 2;
    TestServer server(o);
    RawClient client(server.Port());
    client.Login();

    client.Send({{"OPERATION", "ABORT"}});
    auto idle = client.Receive();
    ASSERT_TRUE(idle);
    EXPECT_EQ(Op(*idle), "ABORTOK");
    client.Ack();

    client.SendQuery(WorksSelect, WorksFrom, WorksCondition, "Opere.Titolo");
    auto header = client.Receive();
    ASSERT_TRUE(header && Op(*header) == "QUERYRESULT");
    client.Ack();
    auto batch = client.Receive();
    ASSERT_TRUE(batch && Op(*batch) == "QUERYITEM");
    // As the client does: ABORT, and no receipt for rows that arrive after it.
    client.Send({{"OPERATION", "ABORT"}});
    auto aborted = client.Receive();
    ASSERT_TRUE(aborted);
    EXPECT_EQ(Op(*aborted), "ABORTOK");
    client.Ack();
    EXPECT_TRUE(client.Silent(150)) << "rows kept coming after ABORTOK";

    Exchange again = client.Query("ClasseNome", "Classi");
    EXPECT_TRUE(again.Complete);
    EXPECT_EQ(again.Table->RowCount(), 6);
}

TEST(Exchange, KnockAfterSilenceAndARequestStandsInForItsReceipt) {
    ServerOptions o;
    o.KnockSeconds = 1;
    TestServer server(o);
    RawClient client(server.Port());
    client.Login();
    EXPECT_TRUE(client.Silent(700)) << "knocked before the interval";
    auto knock = client.Receive(3000);
    ASSERT_TRUE(knock);
    EXPECT_EQ(Op(*knock), "KNOCK");
    // The client does not acknowledge a KNOCK while its own request is pending: the query must
    // still be answered.
    Exchange result = client.Query("ClasseNome", "Classi");
    EXPECT_TRUE(result.Complete);
    EXPECT_EQ(result.Table->RowCount(), 6);
}

TEST(Exchange, RequestsSentAheadAreAnsweredInTurnAndUnknownOnesGetAnError) {
    TestServer server;
    RawClient client(server.Port());
    client.Login();
    std::string both;
    AppendPair(both, "OPERATION", "NONSENSE");
    both += '\x02';
    AppendPair(both, "FROM", "Classi");
    AppendPair(both, "SELECT", "count(*)");
    AppendPair(both, "OPERATION", "QUERY");
    both += '\x02';
    client.SendRaw(both);

    auto error = client.Receive();
    ASSERT_TRUE(error);
    EXPECT_EQ(Op(*error), "ERROR");
    EXPECT_EQ(error->GetValue("MESSAGE"), "Operazione non riconosciuta: NONSENSE");
    EXPECT_TRUE(client.Silent(100)) << "the queued query did not wait for the receipt";
    client.Ack();
    auto header = client.Receive();
    ASSERT_TRUE(header);
    EXPECT_EQ(Op(*header), "QUERYRESULT");
    client.Ack();
    auto rows = client.Receive();
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->GetValue("1:1"), "6");
}

TEST(Connection, DisconnectAndBadInputCloseOnlyThatConnection) {
    TestServer server;
    RawClient keeper(server.Port());
    keeper.Login();

    RawClient leaving(server.Port());
    leaving.Login();
    leaving.Send({{"OPERATION", "DISCONNECT"}});
    EXPECT_TRUE(leaving.WaitClosed());

    RawClient garbled(server.Port());
    garbled.Login();
    garbled.SendRaw("no pairs here\x02");
    EXPECT_TRUE(garbled.WaitClosed());

    RawClient beforeLogin(server.Port());
    beforeLogin.Receive();
    beforeLogin.SendRaw("\x02");
    EXPECT_TRUE(beforeLogin.WaitClosed());

    RawClient flooding(server.Port());
    flooding.Login();
    std::string huge = "OPERATION=QUERY\x01SELECT=";
    huge += std::string((1 << 20) + 16, 'x');
    flooding.SendRaw(huge);
    EXPECT_TRUE(flooding.WaitClosed());

    // Requests piling up while their answers wait for receipts that never come.
    RawClient piling(server.Port());
    piling.Login();
    std::string many;
    for (int i = 0; i < 12; ++i) {
        AppendPair(many, "FROM", "Classi");
        AppendPair(many, "SELECT", "ClasseNome");
        AppendPair(many, "OPERATION", "QUERY");
        many += '\x02';
    }
    piling.SendRaw(many);
    EXPECT_TRUE(piling.WaitClosed());

    Exchange still = keeper.Query("ClasseNome", "Classi");
    EXPECT_TRUE(still.Complete);
    EXPECT_EQ(still.Table->RowCount(), 6);
}

TEST(Connection, AMessageJustUnderTheLimitIsServed) {
    TestServer server;
    RawClient client(server.Port());
    client.Login();
    // A long but legal request: the SQL limit refuses it, the connection stays.
    std::string where = "ClasseId = 1" + std::string(900 * 1024, ' ');
    Exchange refused = client.Query("ClasseNome", "Classi", where);
    EXPECT_EQ(refused.Error, "Richiesta troppo lunga.");
    EXPECT_TRUE(client.Query("ClasseNome", "Classi").Complete);
}

} // namespace
