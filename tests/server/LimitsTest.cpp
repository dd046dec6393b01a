// What keeps one client from holding up the others: queries sharing the processor, the time
// budgets, the session limits, and what a dead or hostile peer is left with.

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "tests/server/ServerHarness.h"

namespace {

// Runs for hours on the sample (52 works to the sixth power): only the limits end it.
const char* const EndlessFrom = "Opere a, Opere b, Opere c, Opere d, Opere e, Opere f";

TEST(Fairness, AShortQueryIsAnsweredWhileLongOnesOutnumberTheWorkers) {
    ServerOptions o;
    o.Workers = 1;
    o.QueryTimeoutMs = 120000;
    o.BatchTimeoutMs = 120000;
    TestServer server(o);
    std::vector<std::unique_ptr<RawClient>> heavy;
    for (int i = 0; i < 3; ++i) {
        heavy.push_back(std::make_unique<RawClient>(server.Port()));
        heavy.back()->Login();
        heavy.back()->SendQuery("count(*)", EndlessFrom);
    }
    // Let the long ones take the worker first.
    EXPECT_TRUE(heavy.front()->Silent(200));

    QElapsedTimer clock;
    clock.start();
    RawClient quick(server.Port());
    quick.Login();
    Exchange e = quick.Query("ClasseNome", "Classi");
    EXPECT_TRUE(e.Complete) << e.Error;
    EXPECT_EQ(e.Table->RowCount(), 6);
    // A few slices of each long query at most; without sharing it would wait two minutes.
    EXPECT_LT(clock.elapsed(), 5000);

    // An ABORT stops a long query where it runs, and the session goes on.
    heavy.front()->Send({{"OPERATION", "ABORT"}});
    auto aborted = heavy.front()->Receive();
    ASSERT_TRUE(aborted);
    EXPECT_EQ(Op(*aborted), "ABORTOK");
    heavy.front()->Ack();
    EXPECT_TRUE(heavy.front()->Query("ClasseNome", "Classi").Complete);
}

TEST(Budgets, TheQueryTimeCoversEveryBatchAndTheBatchBoundStaysOnItsOwn) {
    struct Case {
        int Batch, QueryMs, BatchMs;
        std::string Select, From, Expected;
    };
    const std::vector<Case> cases = {
        // One row a batch, each a small cross join: every batch is far inside its own bound,
        // the whole result is not inside the query's.
        {1, 300, 60000,
         "(SELECT count(*) FROM Opere a, Opere b, Opere c WHERE a.Pagine + b.Pagine > "
         "c.OperaId + x.OperaId)",
         "Opere x, Opere y",
         "Richiesta interrotta: superato il tempo massimo di esecuzione (300 ms)."},
        {1024, 60000, 200, "count(*)", EndlessFrom,
         "Richiesta interrotta: superato il tempo massimo di esecuzione (200 ms)."},
    };
    for (const Case& c : cases) {
        ServerOptions o;
        o.Batch = c.Batch;
        o.QueryTimeoutMs = c.QueryMs;
        o.BatchTimeoutMs = c.BatchMs;
        TestServer server(o);
        RawClient client(server.Port());
        client.Login();
        Exchange e = client.Query(c.Select, c.From);
        EXPECT_FALSE(e.Complete);
        EXPECT_EQ(e.Error, c.Expected);
        EXPECT_TRUE(client.Query("ClasseNome", "Classi").Complete);
    }
}

TEST(DeadPeers, ASessionThatLeavesAKnockOrABatchUnansweredIsClosed) {
    ServerOptions o;
    o.KnockSeconds = 1;
    o.KnockTimeoutSeconds = 1;
    o.Batch = 1;
    TestServer server(o);

    RawClient mute(server.Port());
    mute.Login();
    auto knock = mute.Receive(4000);
    ASSERT_TRUE(knock);
    EXPECT_EQ(Op(*knock), "KNOCK");
    EXPECT_TRUE(mute.WaitClosed(5000));

    // Takes the first rows of a result and never acknowledges them.
    RawClient stalled(server.Port());
    stalled.Login();
    stalled.SendQuery("Titolo", "Opere");
    auto header = stalled.Receive();
    ASSERT_TRUE(header);
    EXPECT_EQ(Op(*header), "QUERYRESULT");
    EXPECT_TRUE(stalled.WaitClosed(5000));

    // A live client answers every KNOCK and keeps its place.
    RawClient alive(server.Port());
    alive.Login();
    for (int i = 0; i < 3; ++i) {
        auto next = alive.Receive(4000);
        ASSERT_TRUE(next);
        EXPECT_EQ(Op(*next), "KNOCK");
        alive.Ack();
    }
    EXPECT_TRUE(alive.Query("ClasseNome", "Classi").Complete);
}

// The greeting, then BUSY, then the close: what every refused connection gets.
void ExpectBusy(RawClient& client) {
    auto greeting = client.Receive();
    ASSERT_TRUE(greeting);
    EXPECT_EQ(Op(*greeting), "CONNECT");
    client.SendLogin();
    auto reply = client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(Op(*reply), "BUSY");
    EXPECT_TRUE(client.WaitClosed());
}

TEST(Refusals, OneAddressHoldsAtMostItsShareAndEveryRefusalIsBusy) {
    ServerOptions o;
    o.PerAddress = 2;
    TestServer server(o);
    RawClient first(server.Port()), second(server.Port());
    first.Login();
    second.Login();
    RawClient third(server.Port());
    ExpectBusy(third);
    // Another reader, elsewhere, is served.
    RawClient elsewhere(server.Port(), "127.0.0.2");
    elsewhere.Login();
    EXPECT_TRUE(elsewhere.Query("ClasseNome", "Classi").Complete);
    // A place freed is a place taken again.
    first.Send({{"OPERATION", "DISCONNECT"}});
    EXPECT_TRUE(first.WaitClosed());
    RawClient again(server.Port());
    again.Login();
    EXPECT_TRUE(again.Query("ClasseNome", "Classi").Complete);
}

TEST(Refusals, ConnectionsPastThePreLoginAllowanceGetBusyToo) {
    ServerOptions o;
    o.MaxClients = 1;
    o.PerAddress = 1000;
    TestServer server(o);
    RawClient member(server.Port());
    member.Login();
    std::vector<std::unique_ptr<RawClient>> waiting;
    for (int i = 0; i < 64; ++i) {
        waiting.push_back(std::make_unique<RawClient>(server.Port()));
        ASSERT_TRUE(waiting.back()->Receive()) << "no greeting for connection " << i;
    }
    RawClient late(server.Port());
    ExpectBusy(late);
    EXPECT_TRUE(member.Query("ClasseNome", "Classi").Complete);
}

TEST(Framing, ErrorTextsNeverCarryTheFramingBytes) {
    TestServer server;
    RawClient client(server.Port());
    client.Login();
    // SQLite quotes the offending token, control bytes and all.
    Exchange e = client.Query("ClasseNome", "Classi", "ClasseId = \x02 1");
    EXPECT_FALSE(e.Complete);
    EXPECT_FALSE(e.Error.empty());
    EXPECT_EQ(e.Error.find('\x02'), std::string::npos) << e.Error;
    EXPECT_TRUE(client.Query("ClasseNome", "Classi").Complete);

    // A column named with '=' would end the client's key early.
    Exchange named = client.Query("ClasseId = 1", "Classi", "", "ClasseId");
    ASSERT_TRUE(named.Complete) << named.Error;
    EXPECT_EQ(named.Table->Cell(0, 0), "ClasseId   1");
}

} // namespace
