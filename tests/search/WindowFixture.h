#pragma once
// A main window connected to a scripted catalogue server, with a recording desktop: the ground
// for driving the catalogue windows as a user would.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "core/UOrvoCCommon.h"
#include "search/UFormRisultatiRicerca.h"
#include "tests/search/TableBuilder.h"
#include "tests/support/MainFormProbe.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestSettings.h"
#include "tests/support/WaitUntil.h"
#include "ui/UMainForm.h"

// Runs action once, from the event loop, as soon as condition holds (typically inside a modal
// loop that the test itself has started).
inline void When(std::function<bool()> condition, std::function<void()> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, condition, action] {
        if (condition()) {
            timer->stop();
            timer->deleteLater();
            action();
        }
    });
    timer->start();
}

inline std::string PairValue(const Pairs& pairs, const std::string& name) {
    for (const auto& [n, v] : pairs) {
        if (n == name) {
            return v;
        }
    }
    return {};
}

class ConnectedMainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(registry.Store(server.Port()));
        server.OnMessage = [this](const Pairs& pairs) {
            const std::string op = PairValue(pairs, "OPERATION");
            if (!PairValue(pairs, "DATABASE").empty()) {
                server.Send(ScriptedServer::Accepted());
            } else if (op == "QUERY") {
                Queries.push_back(pairs);
                if (OnQuery) {
                    server.SendAcknowledged(OnQuery(pairs));
                }
            } else if (op == "ABORT") {
                server.Send({{"OPERATION", "ABORTOK"}});
            }
        };
        new TMainForm;
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr && Idle; }));
        MainForm->show();
        ASSERT_TRUE(WaitUntil([] { return MainForm->isVisible(); }));
    }

    void TearDown() override {
        ReplyHandler.Clear();
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->hide();
        }
        delete MainForm;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        GenreNames.clear();
        CentresCache.reset();
    }

    // A browser holding rows, opened the way a completed search opens it.
    TFormRisultatiRicerca* OpenBrowser(const std::vector<std::vector<std::string>>& rows) {
        FillTable(*MainForm->Results, WorkColumns(), rows);
        Idle = false;
        MainForm->hide();
        TMainFormProbe(MainForm).SearchDone(false, false);
        return MainForm->CurrentResults;
    }

    // The WHERE of the last query received.
    std::string LastWhere() const {
        return Queries.empty() ? "" : PairValue(Queries.back(), "WHERE");
    }

    RecordingDesktop desk;
    ScriptedServer server;
    TestSettings registry;
    std::vector<Pairs> Queries;
    // The server's answer to a QUERY: the messages to send, each after the client's RECEIVED.
    std::function<std::vector<Pairs>(const Pairs&)> OnQuery;
};
