// The query exchange: RunQuery's outcomes, cancelling, KNOCK, the QUERY message itself and the
// asynchronous form with a reply routine.
#include <QPushButton>

#include "tests/client/ClientFixture.h"

namespace {
bool IsQuery(const Pairs& pairs) {
    return std::any_of(pairs.begin(), pairs.end(), [](const auto& pair) {
        return pair.first == "OPERATION" && pair.second == "QUERY";
    });
}
} // namespace

class Exchange : public ClientFixture {
protected:
    void SetUp() override {
        ClientFixture::SetUp();
        Connect();
        desk.Boxes.clear();
    }
    // The server answers every QUERY with these messages, each after the previous RECEIVED.
    void AnswerQueriesWith(std::vector<Pairs> messages) {
        server.OnMessage = [this, messages](const Pairs& pairs) {
            if (IsQuery(pairs)) {
                server.SendAcknowledged(messages);
            }
        };
    }
    uint32_t Run(const std::string& where = "", const std::string& order = "") {
        return form->RunQuery({"ClasseNome", "Classi", where, order});
    }
};

TEST_F(Exchange, RunQueryCollectsTheRowsAndNumbersTheContexts) {
    AnswerQueriesWith(
        ScriptedServer::ResultSet({"ClasseNome"}, {{"Fiabe"}, {"Gialli"}, {"Storia"}}, 2));
    EXPECT_EQ(Run(), 1u);
    EXPECT_EQ(form->QueryStatus, 0);
    ASSERT_EQ(form->Results->RowCount(), 3);
    EXPECT_EQ(form->Results->GetField("ClasseNome", 3), "Storia");
    EXPECT_TRUE(desk.Boxes.empty());
    EXPECT_FALSE(FormAttendere->isVisible());
    // QUERY, then one RECEIVED for the header, two batches and the end.
    const size_t query = 2;
    EXPECT_EQ(server.ReceivedRaw[query], "FROM=Classi\x01SELECT=ClasseNome\x01"
                                         "CONTEXT=1\x01OPERATION=QUERY\x01\x02");
    EXPECT_EQ(CountOps("RECEIVED"), 1u + 4u);
    EXPECT_EQ(FormAttendere->Text(), "Record ricevuti: 3");

    EXPECT_EQ(Run("ClasseNome LIKE 'F%'", "ClasseNome"), 2u);
    size_t second = server.Received.size() - 5;
    EXPECT_EQ(server.Value(second, "CONTEXT"), "2");
    EXPECT_EQ(server.Value(second, "WHERE"), "ClasseNome LIKE 'F%'");
    EXPECT_EQ(server.Value(second, "ORDERBY"), "ClasseNome");
}

TEST_F(Exchange, EveryFailureIsReportedAndReturnsZero) {
    struct Case {
        std::vector<Pairs> replies;
        std::vector<std::string> texts;
    };
    std::vector<Case> cases{
        {{{{"OPERATION", "ACCESSDENIED"}}}, {"Accesso negato."}},
        {{{{"OPERATION", "NOTFOUND"}}}, {"Elemento non trovato."}},
        {{{{"OPERATION", "MULTIPLE"}}}, {"Elemento non univoco. Impossibile procedere."}},
        {{{{"OPERATION", "BUSY"}}}, {"Operazione fallita."}},
        {{{{"OPERATION", "ERROR"}, {"MESSAGE", "  "}}}, {"Operazione fallita."}},
        {{{{"OPERATION", "ERROR"}, {"MESSAGE", " tabella assente "}}},
         {"Operazione fallita. Messaggio del server:\r\ntabella assente"}},
        {{{{"OPERATION", "PIPPO"}}},
         {"Messaggio del server non riconosciuto.", "Operazione fallita."}},
        {{{{"OPERATION", "QUERYRESULT"}, {"COLS", "300"}}},
         {"Errore nella ricezione dei dati.", "Operazione fallita."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.texts.front());
        desk.Boxes.clear();
        size_t before = server.Received.size();
        AnswerQueriesWith(c.replies);
        EXPECT_EQ(Run(), 0u);
        EXPECT_EQ(form->QueryStatus, 2);
        EXPECT_EQ(desk.Texts(), c.texts);
        for (const auto& box : desk.Boxes) {
            EXPECT_EQ(box.Title, "Errore");
            EXPECT_EQ(box.Icon, MsgIcon::Error);
        }
        EXPECT_FALSE(FormAttendere->isVisible());
        EXPECT_EQ(ReplyHandler.Object, nullptr);
        // Refusals, errors and rejected headers are acknowledged; unknown messages are not.
        bool acknowledged = c.replies[0][0].second != "PIPPO";
        ASSERT_TRUE(server.WaitForMessages(before + (acknowledged ? 2 : 1)));
        EXPECT_EQ(server.Op(server.Received.size() - 1), acknowledged ? "RECEIVED" : "QUERY");
    }
}

TEST_F(Exchange, CancelSendsAbortAndIgnoresRowsUntilAbortOk) {
    bool pressed = false;
    server.OnMessage = [this, &pressed](const Pairs& pairs) {
        if (IsQuery(pairs)) {
            server.Send({{"OPERATION", "QUERYRESULT"}, {"COLS", "1"}, {"NAME1", "ClasseNome"}});
        } else if (server.Op(server.Received.size() - 1) == "RECEIVED" && !pressed) {
            pressed = true;
            // The header is acknowledged: the user presses "&Annulla".
            QTimer::singleShot(0, FormAttendere->ButtonAnnulla, &QPushButton::click);
        } else if (server.Op(server.Received.size() - 1) == "ABORT") {
            server.Send({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "1"}, {"1:1", "Fiabe"}});
            server.Send({{"OPERATION", "ABORTOK"}});
        }
    };
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(form->QueryStatus, 11);
    ASSERT_EQ(desk.Boxes.size(), 1u);
    EXPECT_EQ(desk.Last().Text, "Operazione annullata.");
    EXPECT_EQ(desk.Last().Title, "Attenzione!");
    EXPECT_EQ(desk.Last().Icon, MsgIcon::Warning);
    EXPECT_EQ(form->Results->RowCount(), 0);
    EXPECT_FALSE(Probe().AbortPending());
    EXPECT_FALSE(Probe().RequestPending());
    ASSERT_TRUE(WaitUntil([this] {
        std::vector<std::string> sofar = server.Ops();
        return sofar.size() >= 4 && sofar[sofar.size() - 2] == "ABORT";
    }));
    std::vector<std::string> ops = server.Ops();
    std::vector<std::string> tail(ops.end() - 4, ops.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"QUERY", "RECEIVED", "ABORT", "RECEIVED"}));
}

TEST_F(Exchange, AFailureWithNoReplyRoutineGivesTheMainWindowBack) {
    for (const Pairs& reply :
         {Pairs{{"OPERATION", "ERROR"}, {"MESSAGE", "x"}}, Pairs{{"OPERATION", "PIPPO"}}}) {
        SCOPED_TRACE(reply[0].second);
        Idle = false;
        form->hide();
        server.Send(reply);
        ASSERT_TRUE(WaitUntil([this] { return form->isVisible(); }));
        EXPECT_TRUE(Idle);
        EXPECT_FALSE(FormAttendere->isVisible());
    }
    // Only the message nobody understood is reported.
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Messaggio del server non riconosciuto."});
}

TEST_F(Exchange, KnockIsAnsweredOnlyWhileNoRequestIsPending) {
    server.Send({{"OPERATION", "KNOCK"}});
    ASSERT_TRUE(server.WaitForMessages(3));
    EXPECT_EQ(server.Op(2), "RECEIVED");

    server.OnMessage = [this](const Pairs& pairs) {
        if (IsQuery(pairs)) {
            server.Send({{"OPERATION", "KNOCK"}});
            QTimer::singleShot(100, &server, [this] { server.Send({{"OPERATION", "OK"}}); });
        }
    };
    EXPECT_EQ(Run(), 1u);
    ASSERT_TRUE(server.WaitForMessages(5));
    QTest::qWait(30);
    EXPECT_EQ(server.Ops(),
              (std::vector<std::string>{"", "RECEIVED", "RECEIVED", "QUERY", "RECEIVED"}));
}

TEST_F(Exchange, OperationsWithBlanksAreRecognised) {
    std::vector<Pairs> replies =
        ScriptedServer::ResultSet({"ClasseNome"}, {{"Fiabe"}, {"Gialli"}}, 1);
    for (Pairs& message : replies) {
        message[0].second = " " + message[0].second + " ";
    }
    AnswerQueriesWith(replies);
    EXPECT_EQ(Run(), 1u);
    EXPECT_EQ(form->Results->RowCount(), 2);
}

TEST_F(Exchange, WithoutAConnectionNothingIsSent) {
    ActiveSocket = nullptr;
    size_t before = server.Received.size();
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Impossibile contattare il server."});
    EXPECT_EQ(ReplyHandler.Object, nullptr);
    QTest::qWait(30);
    EXPECT_EQ(server.Received.size(), before);
    EXPECT_EQ(ContextCounter, 0u);
}

TEST_F(Exchange, ASocketErrorEndsRunQueryWithItsOwnMessageOnly) {
    server.OnMessage = [this](const Pairs& pairs) {
        if (IsQuery(pairs)) {
            QTimer::singleShot(0, form, [this] {
                int E = 10053;
                form->ClientSocketError(E);
            });
        }
    };
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(form->QueryStatus, 2);
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{SocketErrorMessage(10053)});
}

TEST_F(Exchange, AnAsynchronousExchangeEndsInItsReplyRoutine) {
    std::vector<std::pair<bool, bool>> calls;
    AnswerQueriesWith(ScriptedServer::ResultSet({"Nome"}, {{"a"}, {"b"}}));
    ASSERT_EQ(form->SendQuery({"Nome", "Centri", "", ""}), 1u);
    FormAttendere->SetText("Richiesta dati...");
    FormAttendere->ShowModeless();
    ReplyHandler.Set(form, [&](bool i, bool f) {
        ReplyHandler.Clear();
        calls.emplace_back(i, f);
    });
    ASSERT_TRUE(WaitUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(calls[0], std::make_pair(false, false));
    EXPECT_EQ(form->Results->RowCount(), 2);
    EXPECT_FALSE(FormAttendere->isVisible());
    EXPECT_FALSE(Probe().RequestPending());

    // A reply that cannot be stored fails the routine and leaves the request pending.
    calls.clear();
    AnswerQueriesWith({{{"OPERATION", "QUERYRESULT"}, {"COLS", "1"}, {"NAME1", "Nome"}},
                       {{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "abc"}}});
    ASSERT_EQ(form->SendQuery({"Nome", "Centri", "", ""}), 2u);
    ReplyHandler.Set(form, [&](bool i, bool f) {
        ReplyHandler.Clear();
        calls.emplace_back(i, f);
    });
    ASSERT_TRUE(WaitUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(calls[0], std::make_pair(true, true));
    EXPECT_EQ(desk.Last().Text, "Errore nella ricezione dei dati.");
    EXPECT_TRUE(Probe().RequestPending());
}
