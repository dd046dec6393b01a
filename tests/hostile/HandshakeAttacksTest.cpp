// Servers that misbehave during the handshake: a redirect loop costs a bounded number of
// connections and settings writes, and a close at any step is reported, never a silent wait.
#include <QAction>

#include "tests/client/ClientFixture.h"

namespace {
bool IsLogin(const Pairs& pairs) {
    return std::any_of(pairs.begin(), pairs.end(),
                       [](const auto& pair) { return pair.first == "DATABASE"; });
}

Pairs PermanentRedirect(quint16 port) {
    return {{"OPERATION", "REDIRECT"},
            {"ADDRESS", "127.0.0.1"},
            {"PORT", std::to_string(port)},
            {"SERVICE", ""},
            {"ALWAYS", "TRUE"}};
}
} // namespace

class HandshakeAttacks : public ClientFixture {
protected:
    // The attempt ended with this one message, and the client can try again.
    void ExpectReportedAndReconnectable(const std::string& text) {
        ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
        // Whatever else is still in flight has time to arrive.
        QTest::qWait(50);
        EXPECT_EQ(desk.Texts(), std::vector<std::string>{text});
        EXPECT_EQ(desk.Last().Title, "Errore");
        EXPECT_EQ(ActiveSocket, nullptr);
        EXPECT_EQ(Probe().SocketState(), QAbstractSocket::UnconnectedState);
        EXPECT_TRUE(Idle);
        EXPECT_FALSE(FormAttendere->isVisible());
        EXPECT_TRUE(form->RiconnettiMenu->isEnabled());
        EXPECT_EQ(terminations, 0);
    }
};

TEST_F(HandshakeAttacks, ARedirectLoopToItselfIsBoundedAndNeverRewritesTheSettings) {
    server.OnMessage = [this](const Pairs& pairs) {
        if (IsLogin(pairs)) {
            server.Send(PermanentRedirect(server.Port()));
        }
    };
    const int writesBefore = registry.Writes;
    StartClient();
    const int writesAtStart = registry.Writes;
    ExpectReportedAndReconnectable(TooManyRedirectsMessage());
    EXPECT_EQ(server.Connections(), 1 + MaxRedirects);
    // Loading the settings at start-up may bring the file in line once; the loop adds nothing.
    EXPECT_LE(writesAtStart - writesBefore, 6);
    EXPECT_EQ(registry.Writes, writesAtStart);

    // A new attempt gets a whole new budget, and no more.
    desk.Boxes.clear();
    form->RiconnettiMenu->trigger();
    ExpectReportedAndReconnectable(TooManyRedirectsMessage());
    EXPECT_EQ(server.Connections(), 2 * (1 + MaxRedirects));
}

TEST_F(HandshakeAttacks, TwoServersRedirectingToEachOtherAreBoundedToo) {
    ScriptedServer other;
    server.OnMessage = [&](const Pairs& pairs) {
        if (IsLogin(pairs)) {
            server.Send(PermanentRedirect(other.Port()));
        }
    };
    other.OnMessage = [&](const Pairs& pairs) {
        if (IsLogin(pairs)) {
            other.Send(PermanentRedirect(server.Port()));
        }
    };
    StartClient();
    const int writesAtStart = registry.Writes;
    ExpectReportedAndReconnectable(TooManyRedirectsMessage());
    EXPECT_EQ(server.Connections() + other.Connections(), 1 + MaxRedirects);
    // Each followed redirect changed the endpoint and was saved once: the writes are bounded
    // by the redirects followed.
    TRegistryInfo saved;
    ASSERT_EQ(ReadSettings(saved, RegRoot::CurrentUser, registry), 0);
    // Five redirects followed, the first and the last towards the other server.
    EXPECT_EQ(saved.RemotePort, other.Port());
    const int perSave =
        registry.Writes > writesAtStart ? (registry.Writes - writesAtStart) / MaxRedirects : 0;
    EXPECT_GT(perSave, 0);
    EXPECT_EQ(registry.Writes - writesAtStart, perSave * MaxRedirects);
}

TEST_F(HandshakeAttacks, ACloseAtAnyHandshakeStepIsReported) {
    enum Step {
        BeforeGreeting,
        AfterGreeting,
        AfterLogin,
        RedirectTargetOnConnect,
        TargetAfterLogin
    };
    for (Step step :
         {BeforeGreeting, AfterGreeting, AfterLogin, RedirectTargetOnConnect, TargetAfterLogin}) {
        SCOPED_TRACE(step);
        desk.Boxes.clear();
        ScriptedServer first;
        ScriptedServer target;
        first.GreetOnConnect = step != BeforeGreeting;
        target.GreetOnConnect = step != RedirectTargetOnConnect;
        first.OnMessage = [&](const Pairs& pairs) {
            if (!IsLogin(pairs)) {
                return;
            }
            if (step == AfterLogin) {
                first.CloseClient();
            } else {
                first.Send({{"OPERATION", "REDIRECT"},
                            {"ADDRESS", "127.0.0.1"},
                            {"PORT", std::to_string(target.Port())},
                            {"SERVICE", ""},
                            {"ALWAYS", ""}});
            }
        };
        target.OnMessage = [&](const Pairs& pairs) {
            if (IsLogin(pairs)) {
                target.CloseClient();
            }
        };
        StoreSettings(first.Port());
        StartClient();
        if (step == BeforeGreeting || step == AfterGreeting) {
            ASSERT_TRUE(first.WaitForConnection());
            first.CloseClient();
        } else if (step == RedirectTargetOnConnect) {
            ASSERT_TRUE(target.WaitForConnection());
            target.CloseClient();
        }
        ExpectReportedAndReconnectable("Disconnessione con il server.");
        DestroyClient();
    }
}

TEST_F(HandshakeAttacks, ARefusalFollowedByACloseIsReportedOnce) {
    // The server closes as soon as it has refused: the refusal is what the user reads.
    server.OnMessage = [this](const Pairs& pairs) {
        if (IsLogin(pairs)) {
            server.Send({{"OPERATION", "ERROR"}, {"MESSAGE", "Chiuso"}});
            server.CloseClient();
        }
    };
    StartClient();
    ExpectReportedAndReconnectable("Chiuso");
}
