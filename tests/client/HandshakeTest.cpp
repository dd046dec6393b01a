// Connection and handshake: acceptance, every refusal, BUSY, REDIRECT, socket errors,
// disconnects and the DISCONNECT at close.
#include <QTcpServer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/client/ClientFixture.h"

namespace {
bool IsLogin(const Pairs& pairs) {
    return std::any_of(pairs.begin(), pairs.end(),
                       [](const auto& pair) { return pair.first == "DATABASE"; });
}

Pairs Accepted(const std::string& server = "ZEDUVOZ", const std::string& version = "528") {
    return {{"OPERATION", "ACCEPTED"}, {"SERVER", server},
            {"VERSION", version},      {"SITOVEK", "https://new.example.org/"},
            {"EMAILORVO", "a@b.org"},  {"ONLINE", ""}};
}
} // namespace

class Handshake : public ClientFixture {
protected:
    // Answers the login reply with the given message and waits until the handshake has ended
    // one way or the other.
    void AnswerLoginWith(const Pairs& reply) {
        server.OnMessage = [this, reply](const Pairs& pairs) {
            if (IsLogin(pairs)) {
                server.Send(reply);
            }
        };
        StartClient();
        ASSERT_TRUE(server.WaitForMessages(1));
    }
};

TEST_F(Handshake, AcceptedLoginEnablesTheCommandsAndAppliesTheLinks) {
    server.AcceptLogins("https://site.example.org/", " mail@example.org ",
                        "https://online.example.org/");
    StartClient();
    // Before the acceptance: searching disabled, links disabled, online button hidden.
    EXPECT_FALSE(form->ButtonAutore->isEnabled());
    EXPECT_FALSE(form->ButtonEMail->isEnabled());
    EXPECT_FALSE(form->ButtonSitoVek->isEnabled());
    EXPECT_FALSE(form->ButtonOnLine->isVisibleTo(form));
    EXPECT_TRUE(form->ButtonChiudi->isEnabled());
    EXPECT_EQ(FormAttendere->Text(), "Ricerca del server in corso...");
    EXPECT_TRUE(FormAttendere->isVisible());
    EXPECT_FALSE(FormAttendere->ButtonAnnulla->isEnabled());

    ASSERT_TRUE(server.WaitForMessages(2));
    EXPECT_EQ(server.ReceivedRaw[0], "PROTOCOL=513\x01"
                                     "DATABASE=OrvoDBase\x01PASSWORD=\x01USERID=Anonymous\x01\x02");
    EXPECT_EQ(server.Op(1), "RECEIVED");
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
    EXPECT_TRUE(form->ButtonAutore->isEnabled());
    EXPECT_TRUE(form->ButtonEMail->isEnabled());
    EXPECT_TRUE(Probe().BusyCheckRunning());
    EXPECT_FALSE(FormAttendere->isVisible());
    EXPECT_TRUE(Idle);
    EXPECT_EQ(ServerName, "ZEDUVOZ");
    EXPECT_EQ(ServerVersion, 528);
    EXPECT_EQ(MailLink, "mail@example.org");
    EXPECT_EQ(Probe().MailLink().Target, "mailto:mail@example.org");
    EXPECT_EQ(Probe().SiteLink().Target, "https://site.example.org/");
    EXPECT_TRUE(form->ButtonSitoVek->isEnabled());
    EXPECT_TRUE(form->ButtonEMailOrvo->isEnabled());
    EXPECT_TRUE(form->ButtonOnLine->isVisibleTo(form));
    EXPECT_TRUE(form->ButtonOnLine->isEnabled());
    EXPECT_EQ(form->ButtonOnLine->text(), "Registrazione in linea");
    EXPECT_TRUE(desk.Boxes.empty());
}

TEST_F(Handshake, AcceptanceVariantsAndLinksLeftEmpty) {
    struct Case {
        std::string server, version;
    };
    for (const Case& c : {Case{" zeduvoz ", "512"}, Case{"ZEDUVOZ", "4608"}}) {
        SCOPED_TRACE(c.server + "/" + c.version);
        Pairs reply{{"OPERATION", "ACCEPTED"}, {"SERVER", c.server}, {"VERSION", c.version}};
        AnswerLoginWith(reply);
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
        // No SITOVEK, EMAILORVO or ONLINE: the built-in defaults are replaced by nothing.
        EXPECT_FALSE(form->ButtonSitoVek->isEnabled());
        EXPECT_FALSE(form->ButtonEMailOrvo->isEnabled());
        EXPECT_FALSE(form->ButtonOnLine->isVisibleTo(form));
        EXPECT_TRUE(form->ButtonOnLine->text().isEmpty());
        DestroyClient();
    }
}

TEST_F(Handshake, EveryRefusalIsReportedAndLeavesTheClientOffline) {
    struct Case {
        Pairs reply;
        std::string text, title;
    };
    std::vector<Case> cases{
        {{{"OPERATION", "ERROR"}, {"MESSAGE", "  Chiuso per ferie  "}},
         "Chiuso per ferie",
         "Errore"},
        {{{"OPERATION", "ERROR"}, {"MESSAGE", "   "}},
         "Errore di comunicazione con il server",
         "Errore"},
        {{{"OPERATION", "ACCESSDENIED"}}, "Nome utente o password errati", "Accesso negato"},
        {{{"OPERATION", "DBNOTFOUND"}},
         "Il database cercato non \xE8 gestito da questo server",
         "Errore"},
        {{{"OPERATION", "DBNOTREADY"}},
         "Il database cercato non \xE8 al momento disponibile",
         "Errore"},
        {{{"OPERATION", "KNOCK"}}, "Errore di comunicazione con il server", "Errore"},
        {{{"OPERATION", "QUERYRESULT"}, {"COLS", "1"}},
         "Errore di comunicazione con il server",
         "Errore"},
        {{{"OPERATION", " ACCEPTED"}}, "Errore di comunicazione con il server", "Errore"},
        {Accepted("ZEDUVOZ2"), "Server non conosciuto", "Errore"},
        {Accepted("ZEDUVOZ", "511"), "Versione server errata", "Errore"},
        {Accepted("ZEDUVOZ", "4607"), "Versione server errata", "Errore"},
        {Accepted("ZEDUVOZ", "abc"), "Versione server errata", "Errore"},
        {{{"OPERATION", "ACCEPTED"}, {"SERVER", "ZEDUVOZ"}}, "Versione server errata", "Errore"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        desk.Boxes.clear();
        AnswerLoginWith(c.reply);
        ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
        EXPECT_EQ(desk.Last().Text, c.text);
        EXPECT_EQ(desk.Last().Title, c.title);
        EXPECT_EQ(desk.Last().Icon, MsgIcon::Error);
        EXPECT_EQ(desk.Boxes.size(), 1u);
        EXPECT_EQ(ActiveSocket, nullptr);
        EXPECT_TRUE(Idle);
        EXPECT_FALSE(FormAttendere->isVisible());
        EXPECT_FALSE(form->ButtonAutore->isEnabled());
        EXPECT_EQ(Probe().SocketState(), QAbstractSocket::UnconnectedState);
        DestroyClient();
    }
}

TEST_F(Handshake, NothingOfARefusedAcceptanceSurvivesIt) {
    AnswerLoginWith(Accepted("ALTRO", "600"));
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    EXPECT_EQ(ServerName, "");
    EXPECT_EQ(ServerVersion, 0);
    EXPECT_EQ(SiteLink, "");
    EXPECT_EQ(MailLink, "");
    EXPECT_FALSE(form->ButtonSitoVek->isEnabled());
    EXPECT_FALSE(form->ButtonEMailOrvo->isEnabled());
}

TEST_F(Handshake, GreetingWithoutANumberIsRefusedWithTheConversionText) {
    server.GreetOnConnect = false;
    StartClient();
    ASSERT_TRUE(server.WaitForConnection());
    server.Send({{"OPERATION", "CONNECT"}, {"IDENTIFY", "x1"}});
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    EXPECT_EQ(desk.Last().Text, "'x1' is not a valid integer value");
    EXPECT_EQ(desk.Last().Title, "Errore");
    EXPECT_TRUE(server.Received.empty());
}

TEST_F(Handshake, ASecondConnectGetsASecondLoginAndAnEarlyAcceptedIsHonoured) {
    server.GreetOnConnect = false;
    StartClient();
    ASSERT_TRUE(server.WaitForConnection());
    server.Send({{"OPERATION", "CONNECT"}, {"IDENTIFY", "1"}});
    ASSERT_TRUE(server.WaitForMessages(1));
    server.Send({{"OPERATION", "CONNECT"}, {"IDENTIFY", "2"}});
    ASSERT_TRUE(server.WaitForMessages(2));
    EXPECT_EQ(server.Value(1, "USERID"), "Anonymous");
    DestroyClient();

    // ACCEPTED with no CONNECT before it.
    ScriptedServer quiet;
    quiet.GreetOnConnect = false;
    StoreSettings(quiet.Port());
    StartClient();
    ASSERT_TRUE(quiet.WaitForConnection());
    quiet.Send(Accepted());
    ASSERT_TRUE(quiet.WaitForMessages(1));
    EXPECT_EQ(quiet.Op(0), "RECEIVED");
    EXPECT_NE(ActiveSocket, nullptr);
}

TEST_F(Handshake, BusyOffersARetry) {
    desk.Answers = {MsgAnswer::Yes};
    int logins = 0;
    server.OnMessage = [&](const Pairs& pairs) {
        if (!IsLogin(pairs)) {
            return;
        }
        server.Send(++logins == 1 ? Pairs{{"OPERATION", "BUSY"}} : Accepted());
    };
    StartClient();
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
    EXPECT_EQ(server.Connections(), 2);
    ASSERT_EQ(desk.Boxes.size(), 1u);
    EXPECT_EQ(desk.Boxes[0].Text, "Riprovare a connettersi?");
    EXPECT_EQ(desk.Boxes[0].Title, "Server occupato");
    EXPECT_EQ(desk.Boxes[0].Buttons, MsgButtons::YesNo);
    DestroyClient();

    desk.Boxes.clear();
    desk.Answers = {MsgAnswer::No};
    ScriptedServer busy;
    busy.OnMessage = [&](const Pairs&) { busy.Send({{"OPERATION", "BUSY"}}); };
    StoreSettings(busy.Port());
    StartClient();
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    EXPECT_TRUE(WaitUntil([] { return Idle; }));
    EXPECT_FALSE(FormAttendere->isVisible());
    QTest::qWait(50);
    EXPECT_EQ(busy.Connections(), 1);
    EXPECT_EQ(ActiveSocket, nullptr);
}

TEST_F(Handshake, RedirectFollowsAndSavesOnlyWhenAlwaysIsExactlyTrue) {
    for (const std::string always : {"TRUE", "true", " TRUE"}) {
        SCOPED_TRACE(always);
        ScriptedServer target;
        target.AcceptLogins();
        StoreSettings(server.Port());
        LoadSettings(StoredSettings, registry);
        AnswerLoginWith({{"OPERATION", "REDIRECT"},
                         {"ADDRESS", " 127.0.0.1 "},
                         {"PORT", std::to_string(target.Port())},
                         {"SERVICE", ""},
                         {"ALWAYS", always}});
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
        EXPECT_EQ(target.Connections(), 1);
        EXPECT_EQ(Probe().SocketHost(), "127.0.0.1");
        TRegistryInfo saved;
        ASSERT_EQ(ReadSettings(saved, RegRoot::CurrentUser, registry), 0);
        EXPECT_EQ(saved.RemotePort, always == "TRUE" ? target.Port() : server.Port());
        EXPECT_EQ(StoredSettings.RemotePort, saved.RemotePort);
        // The running session's settings never change.
        EXPECT_EQ(SessionSettings.RemotePort, server.Port());
        EXPECT_TRUE(desk.Boxes.empty());
        DestroyClient();
    }
}

TEST_F(Handshake, RedirectFailuresOpenNoNewConnection) {
    ScriptedServer target;
    AnswerLoginWith({{"OPERATION", "REDIRECT"},
                     {"ADDRESS", "127.0.0.1"},
                     {"PORT", ""},
                     {"SERVICE", ""},
                     {"ALWAYS", "TRUE"}});
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    EXPECT_EQ(desk.Last().Text, "'' is not a valid integer value");
    DestroyClient();

    desk.Boxes.clear();
    registry.FailWrites = true;
    AnswerLoginWith({{"OPERATION", "REDIRECT"},
                     {"ADDRESS", "127.0.0.1"},
                     {"PORT", std::to_string(target.Port())},
                     {"SERVICE", ""},
                     {"ALWAYS", "TRUE"}});
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    EXPECT_EQ(desk.Last().Text, "Errore nella scrittura nel registro.");
    EXPECT_EQ(desk.Last().Title, "Errore");
    QTest::qWait(50);
    EXPECT_EQ(target.Connections(), 0);
    EXPECT_TRUE(Idle);
}

TEST_F(Handshake, SocketErrorsShowTheirNumber) {
    quint16 closedPort;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    struct Case {
        uint32_t port;
        std::string address, service;
        int code;
    };
    for (const Case& c : {Case{closedPort, "127.0.0.1", "", 10061}, Case{0, "127.0.0.1", "", 10049},
                          Case{10241, "999.1.2.3", "", 10049}, Case{10241, "", "", 10049},
                          Case{10241, "127.0.0.1", "no-such-service-here", 10049}}) {
        SCOPED_TRACE(c.code);
        desk.Boxes.clear();
        StoreSettings(c.port, c.address, c.service);
        StartClient();
        // Never inside the start-up itself: the error arrives as an event.
        EXPECT_TRUE(desk.Boxes.empty());
        ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
        EXPECT_EQ(desk.Last().Text, SocketErrorMessage(c.code));
        EXPECT_EQ(desk.Last().Text.rfind("Errore numero " + std::to_string(c.code) +
                                             " durante la connessione.\r\n",
                                         0),
                  0u);
        EXPECT_EQ(desk.Last().Title, "Errore");
        EXPECT_TRUE(Idle);
        EXPECT_FALSE(FormAttendere->isVisible());
        DestroyClient();
    }
}

TEST_F(Handshake, SocketErrorFailsARunningExchangeOrIsMarkedHandled) {
    Connect();
    int E = 10054;
    form->ClientSocketError(E);
    EXPECT_EQ(E, 0);
    EXPECT_TRUE(Idle);
    EXPECT_EQ(desk.Last().Text, SocketErrorMessage(10054));
    EXPECT_EQ(form->LastReplyOperation(), "INTERNALERROR");

    std::vector<std::pair<bool, bool>> calls;
    ReplyHandler.Set(form, [&](bool i, bool f) {
        calls.emplace_back(i, f);
        ReplyHandler.Clear();
    });
    E = 10054;
    form->ClientSocketError(E);
    EXPECT_EQ(E, 10054);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(true, true));
    EXPECT_NE(ActiveSocket, nullptr);
}

TEST_F(Handshake, DisconnectBeforeAcceptanceIsReportedAndLeavesTheClientOffline) {
    server.OnMessage = [this](const Pairs&) { server.CloseClient(); };
    StartClient();
    ASSERT_TRUE(server.WaitForMessages(1));
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Disconnessione con il server."});
    EXPECT_EQ(Probe().SocketState(), QAbstractSocket::UnconnectedState);
    EXPECT_FALSE(FormAttendere->isVisible());
    EXPECT_FALSE(form->ButtonAutore->isEnabled());
    EXPECT_TRUE(Idle);
    EXPECT_EQ(terminations, 0);
}

TEST_F(Handshake, DisconnectAfterAcceptance) {
    // Nothing running: the message only.
    Connect();
    server.CloseClient();
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket == nullptr; }));
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Disconnessione con il server."});
    EXPECT_FALSE(form->ButtonAutore->isEnabled());
    EXPECT_EQ(terminations, 0);
    DestroyClient();

    // The wait dialog up with a reply routine: the exchange fails.
    ScriptedServer second;
    StoreSettings(second.Port());
    second.AcceptLogins();
    StartClient();
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
    std::vector<std::pair<bool, bool>> calls;
    FormAttendere->ShowModeless();
    ReplyHandler.Set(form, [&](bool i, bool f) {
        calls.emplace_back(i, f);
        ReplyHandler.Clear();
    });
    second.CloseClient();
    ASSERT_TRUE(WaitUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(calls[0], std::make_pair(true, true));
    EXPECT_EQ(terminations, 0);
    DestroyClient();

    // The wait dialog up with no routine: the program ends.
    ScriptedServer third;
    StoreSettings(third.Port());
    third.AcceptLogins();
    StartClient();
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
    FormAttendere->ShowModeless();
    third.CloseClient();
    ASSERT_TRUE(WaitUntil([this] { return terminations == 1; }));
}

TEST_F(Handshake, ClosingTwiceSendsOneDisconnect) {
    Connect();
    form->close();
    EXPECT_TRUE(Terminating);
    EXPECT_EQ(ActiveSocket, nullptr);
    form->close();
    ASSERT_TRUE(WaitUntil([this] { return CountOps("DISCONNECT") >= 1; }));
    QTest::qWait(50);
    EXPECT_EQ(CountOps("DISCONNECT"), 1u);
    // The window goes away once control is back in the loop.
    EXPECT_TRUE(WaitUntil([this] { return form.isNull(); }));
}

TEST_F(Handshake, AConnectionAttemptThatHangsTimesOut) {
    // A listener that never accepts and whose queue is full: the system drops further
    // connection requests, so the attempt neither succeeds nor fails by itself.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const quint16 port = ntohs(address.sin_port);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    QTest::qWait(100);

    TMainForm::ConnectTimeout = 300;
    StoreSettings(port);
    StartClient();
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }, 3000));
    EXPECT_EQ(desk.Last().Text, SocketErrorMessage(10060));
    EXPECT_EQ(Probe().SocketState(), QAbstractSocket::UnconnectedState);
    EXPECT_TRUE(Idle);
    ::close(listener);
}
