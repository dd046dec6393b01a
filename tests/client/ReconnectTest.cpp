// Leaving every dead end of a connection attempt: the bound on each handshake step, the
// "&Riconnetti" command, the offer after changed settings, and what a failed attempt must not
// leave behind for the next one.
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>

#include "tests/client/ClientFixture.h"
#include "ui/UFormImpostazioni.h"

namespace {
bool IsLogin(const Pairs& pairs) {
    return std::any_of(pairs.begin(), pairs.end(),
                       [](const auto& pair) { return pair.first == "DATABASE"; });
}

Pairs Redirect(quint16 port, const std::string& always = "") {
    return {{"OPERATION", "REDIRECT"},
            {"ADDRESS", "127.0.0.1"},
            {"PORT", std::to_string(port)},
            {"SERVICE", ""},
            {"ALWAYS", always}};
}

quint16 ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
} // namespace

class Reconnect : public ClientFixture {
protected:
    bool CanReconnect() const { return form->RiconnettiMenu->isEnabled(); }

    // Waits for the first message box of the attempt; the client must then be offline, idle,
    // with the wait dialog gone and "&Riconnetti" at hand.
    void ExpectDeadEnd(const std::string& text) {
        ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
        EXPECT_EQ(desk.Texts(), std::vector<std::string>{text});
        EXPECT_EQ(ActiveSocket, nullptr);
        EXPECT_EQ(Probe().SocketState(), QAbstractSocket::UnconnectedState);
        EXPECT_TRUE(Idle);
        EXPECT_FALSE(FormAttendere->isVisible());
        EXPECT_FALSE(form->ButtonAutore->isEnabled());
        EXPECT_FALSE(form->ButtonEMail->isEnabled());
        EXPECT_TRUE(CanReconnect());
    }

    // F5 on the main window, as the user presses it.
    void PressF5() {
        form->activateWindow();
        ASSERT_TRUE(WaitUntil([this] { return QApplication::activeWindow() == form; }));
        QTest::keyClick(form, Qt::Key_F5);
    }

    // The attempt just started ends accepted, exactly as at start-up.
    void ExpectAccepted() {
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
        EXPECT_TRUE(form->ButtonAutore->isEnabled());
        EXPECT_TRUE(form->ButtonEMail->isEnabled());
        EXPECT_FALSE(FormAttendere->isVisible());
        EXPECT_TRUE(Idle);
        EXPECT_FALSE(CanReconnect());
        // The keyboard is in the main window, on its first command, not in the hidden wait
        // dialog.
        EXPECT_TRUE(WaitUntil([this] {
            return QApplication::activeWindow() == form &&
                   QApplication::focusWidget() == form->ButtonAutore;
        }));
    }
};

TEST_F(Reconnect, ASilentServerCountsAsATimeOutAtEachHandshakeStep) {
    TMainForm::ConnectTimeout = 600;
    enum Step { Greeting, Verdict, RedirectedGreeting };
    for (Step step : {Greeting, Verdict, RedirectedGreeting}) {
        SCOPED_TRACE(step);
        desk.Boxes.clear();
        ScriptedServer silent;
        ScriptedServer target;
        target.GreetOnConnect = false;
        silent.GreetOnConnect = step != Greeting;
        if (step == RedirectedGreeting) {
            silent.OnMessage = [&](const Pairs& pairs) {
                if (IsLogin(pairs)) {
                    silent.Send(Redirect(target.Port()));
                }
            };
        }
        StoreSettings(silent.Port());
        QElapsedTimer clock;
        clock.start();
        StartClient();
        ExpectDeadEnd(SocketErrorMessage(10060));
        // Coarse timers may fire a little early, never much.
        EXPECT_GE(clock.elapsed(), 540);
        EXPECT_EQ(target.Connections(), step == RedirectedGreeting ? 1 : 0);
        DestroyClient();
    }
}

TEST_F(Reconnect, EachStepHasTheWholeBoundAgain) {
    // The greeting comes after half the bound and the verdict never: the time-out counts from
    // the login, not from the connection.
    TMainForm::ConnectTimeout = 1000;
    server.GreetOnConnect = false;
    QElapsedTimer clock;
    clock.start();
    StartClient();
    ASSERT_TRUE(server.WaitForConnection());
    QTimer::singleShot(500, &server, [this] {
        server.Send({{"OPERATION", "CONNECT"}, {"IDENTIFY", "1"}});
    });
    ASSERT_TRUE(server.WaitForMessages(1, 3000));
    ExpectDeadEnd(SocketErrorMessage(10060));
    EXPECT_GE(clock.elapsed(), 1400);
}

TEST_F(Reconnect, EveryDeadEndCanBeLeftWithF5) {
    enum End { Refused, BusyAnsweredNo, ServerClosed, LoginRefused, Silent, ClosedInHandshake };
    TMainForm::ConnectTimeout = 300;
    for (End end :
         {Refused, BusyAnsweredNo, ServerClosed, LoginRefused, Silent, ClosedInHandshake}) {
        SCOPED_TRACE(end);
        desk.Boxes.clear();
        ScriptedServer good;
        ScriptedServer bad;
        StoreSettings(end == Refused ? ClosedPort() : bad.Port());
        std::string text;
        switch (end) {
        case Refused:
            text = SocketErrorMessage(10061);
            break;
        case BusyAnsweredNo:
            desk.Answers = {MsgAnswer::No};
            bad.OnMessage = [&](const Pairs&) { bad.Send({{"OPERATION", "BUSY"}}); };
            text = "Riprovare a connettersi?";
            break;
        case ServerClosed:
            bad.AcceptLogins();
            text = "Disconnessione con il server.";
            break;
        case LoginRefused:
            bad.OnMessage = [&](const Pairs&) { bad.Send({{"OPERATION", "ACCESSDENIED"}}); };
            text = "Nome utente o password errati";
            break;
        case Silent:
            bad.GreetOnConnect = false;
            text = SocketErrorMessage(10060);
            break;
        case ClosedInHandshake:
            bad.OnMessage = [&](const Pairs&) { bad.CloseClient(); };
            text = "Disconnessione con il server.";
            break;
        }
        StartClient();
        if (end == ServerClosed) {
            ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
            EXPECT_FALSE(CanReconnect());
            bad.CloseClient();
        }
        ExpectDeadEnd(text);

        // Corrected settings, as "Modifica..." stores them; F5 connects with them.
        good.AcceptLogins();
        StoredSettings.RemotePort = good.Port();
        PressF5();
        EXPECT_EQ(FormAttendere->Text(), "Ricerca del server in corso...");
        ExpectAccepted();
        EXPECT_EQ(good.Connections(), 1);
        EXPECT_EQ(SessionSettings.RemotePort, good.Port());
        EXPECT_EQ(desk.Boxes.size(), 1u);
        DestroyClient();
    }
}

TEST_F(Reconnect, NoSecondAttemptWhileOneIsRunningOrConnected) {
    server.GreetOnConnect = false;
    StartClient();
    ASSERT_TRUE(server.WaitForConnection());
    EXPECT_FALSE(CanReconnect());
    form->MenuRiconnettiClick();
    QTest::keyClick(form, Qt::Key_F5);

    // The attempt goes on undisturbed and is accepted.
    server.AcceptLogins();
    server.Send({{"OPERATION", "CONNECT"}, {"IDENTIFY", "1"}});
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
    QTest::qWait(50);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_FALSE(CanReconnect());
    form->MenuRiconnettiClick();
    QTest::qWait(50);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_NE(ActiveSocket, nullptr);
}

TEST_F(Reconnect, ARedirectToARefusedTargetStaysReconnectable) {
    const quint16 closed = ClosedPort();
    for (const std::string always : {"", "TRUE"}) {
        SCOPED_TRACE(always);
        desk.Boxes.clear();
        int logins = 0;
        server.OnMessage = [&](const Pairs& pairs) {
            if (IsLogin(pairs)) {
                server.Send(++logins == 1 ? Redirect(closed, always)
                                          : Pairs{{"OPERATION", "ACCEPTED"},
                                                  {"SERVER", "ZEDUVOZ"},
                                                  {"VERSION", "528"}});
            }
        };
        StoreSettings(server.Port());
        LoadSettings(StoredSettings, registry);
        StartClient();
        ExpectDeadEnd(SocketErrorMessage(10061));
        desk.Boxes.clear();
        PressF5();
        if (always.empty()) {
            // A redirect holds for its attempt only: F5 starts again from the settings.
            ExpectAccepted();
            EXPECT_EQ(server.Connections(), 2);
            EXPECT_EQ(Probe().SocketHost(), "");
        } else {
            // A permanent one is in the settings now: refused again, and F5 still at hand.
            ExpectDeadEnd(SocketErrorMessage(10061));
            EXPECT_EQ(StoredSettings.RemotePort, closed);
        }
        DestroyClient();
        server.OnMessage = nullptr;
    }
}

TEST_F(Reconnect, ChangedSettingsOfferToConnectWithThem) {
    struct Case {
        const char* name;
        bool changePort, changePresentation;
        MsgAnswer answer;
        bool offered;
    };
    for (const Case& c : {Case{"yes", true, false, MsgAnswer::Yes, true},
                          Case{"no", true, false, MsgAnswer::No, false},
                          Case{"presentation only", false, true, MsgAnswer::Yes, false},
                          Case{"nothing changed", false, false, MsgAnswer::Yes, false}}) {
        SCOPED_TRACE(c.name);
        desk.Boxes.clear();
        ScriptedServer good;
        good.AcceptLogins();
        const quint16 closed = ClosedPort();
        StoreSettings(closed);
        StartClient();
        ExpectDeadEnd(SocketErrorMessage(10061));
        desk.Boxes.clear();
        desk.Answers = {c.answer};

        form->MenuModificaClick();
        auto* dialog = form->findChild<TFormImpostazioni*>();
        ASSERT_NE(dialog, nullptr);
        QPointer<TFormImpostazioni> alive = dialog;
        dialog->EditRemotePort->setText(QString::number(c.changePort ? good.Port() : closed));
        dialog->CBBlindFriendly->setChecked(c.changePresentation);
        QTest::mouseClick(dialog->ButtonOk, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return alive.isNull(); }));
        const std::string question = "Connettersi al server con le nuove impostazioni?";
        if (c.changePort) {
            ASSERT_TRUE(WaitUntil([&] { return desk.Boxes.size() == 2; }));
            EXPECT_EQ(desk.Boxes[1].Text, question);
            EXPECT_EQ(desk.Boxes[1].Buttons, MsgButtons::YesNo);
        }
        if (c.answer == MsgAnswer::Yes && c.changePort) {
            ExpectAccepted();
            EXPECT_EQ(good.Connections(), 1);
        } else {
            QTest::qWait(50);
            EXPECT_EQ(good.Connections(), 0);
            EXPECT_EQ(ActiveSocket, nullptr);
            EXPECT_TRUE(CanReconnect());
            EXPECT_EQ(desk.Boxes.size(), c.changePort ? 2u : 1u);
        }
        DestroyClient();
    }
}

TEST_F(Reconnect, NoOfferWhileConnected) {
    Connect();
    desk.Answers = {MsgAnswer::Yes};
    form->MenuModificaClick();
    auto* dialog = form->findChild<TFormImpostazioni*>();
    ASSERT_NE(dialog, nullptr);
    QPointer<TFormImpostazioni> alive = dialog;
    dialog->EditRemotePort->setText("10999");
    QTest::mouseClick(dialog->ButtonOk, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return alive.isNull(); }));
    QTest::qWait(50);
    EXPECT_EQ(desk.Boxes.size(), 1u);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_NE(ActiveSocket, nullptr);
}

TEST_F(Reconnect, NothingOfTheLastConnectionReachesTheNextOne) {
    // An accepted session with a request out and half a message received when the server
    // goes away.
    Connect();
    ReplyHandler.Set(form, [](bool, bool) { ReplyHandler.Clear(); });
    ASSERT_NE(form->SendQuery(GenresQuery()), 0u);
    ASSERT_TRUE(Probe().RequestPending());
    server.SendRaw("OPERATION=QUERYRES");
    ASSERT_TRUE(WaitUntil([this] { return !Probe().ReceiveBuffer().empty(); }));
    server.CloseClient();
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket == nullptr; }));
    ReplyHandler.Clear();

    // The next server is greeted cleanly, its KNOCK answered as with no request out, and
    // "Informazioni su..." tells its own version.
    ScriptedServer next;
    next.OnMessage = [&](const Pairs& pairs) {
        if (IsLogin(pairs)) {
            next.Send({{"OPERATION", "ACCEPTED"},
                       {"SERVER", "ZEDUVOZ"},
                       {"VERSION", "4624"},
                       {"SITOVEK", "https://site.example.org/"},
                       {"EMAILORVO", "mail@example.org"},
                       {"ONLINE", "https://online.example.org/"}});
        }
    };
    StoredSettings.RemotePort = next.Port();
    desk.Boxes.clear();
    PressF5();
    ExpectAccepted();
    EXPECT_TRUE(desk.Boxes.empty());
    EXPECT_FALSE(Probe().RequestPending());
    ASSERT_TRUE(next.WaitForMessages(2));
    next.Send({{"OPERATION", "KNOCK"}});
    ASSERT_TRUE(next.WaitForMessages(3));
    EXPECT_EQ(next.Op(2), "RECEIVED");
    form->MenuInformazioniClick();
    EXPECT_EQ(desk.Last().Text, "Dravel ver. 2.0.3\r\nServer remoto: ZEDUVOZ ver. 2.1.0 pre alpha");
    EXPECT_TRUE(form->ButtonOnLine->isVisibleTo(form));

    // Lost again, then a refused attempt: the links and the server's identity go with it.
    next.CloseClient();
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket == nullptr; }));
    StoredSettings.RemotePort = ClosedPort();
    desk.Boxes.clear();
    PressF5();
    ExpectDeadEnd(SocketErrorMessage(10061));
    EXPECT_EQ(ServerName, "");
    EXPECT_EQ(ServerVersion, 0);
    EXPECT_EQ(SiteLink, "");
    EXPECT_EQ(OnlineLink, "");
    EXPECT_EQ(Probe().SiteLink().Target, "");
    EXPECT_EQ(Probe().MailLink().Target, "");
    EXPECT_FALSE(form->ButtonSitoVek->isEnabled());
    EXPECT_FALSE(form->ButtonEMailOrvo->isEnabled());
    EXPECT_FALSE(form->ButtonOnLine->isVisibleTo(form));
    EXPECT_TRUE(Probe().ReceiveBuffer().empty());
    EXPECT_EQ(form->LastReplyOperation(), "");
    form->MenuInformazioniClick();
    EXPECT_EQ(desk.Last().Text, "Dravel ver. 2.0.3\r\nServer remoto: (non contattato)");
}
