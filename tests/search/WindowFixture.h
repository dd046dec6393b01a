#pragma once
// A main window connected to a scripted catalogue server, with a recording desktop: the ground
// for driving the catalogue windows as a user would.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/Settings.h"
#include "core/UOrvoCCommon.h"
#include "platform/FileRegistry.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/ScriptedServer.h"
#include "ui/UMainForm.h"

// Processes events until the condition holds; false after timeoutMs.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

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

// Writes the per-user settings so the client connects to port.
inline void WriteUserSettings(unsigned port, bool blindFriendly) {
    const char* home = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(home, nullptr);
    std::filesystem::create_directories(std::filesystem::path(home) / "dravel");
    std::ofstream out(std::filesystem::path(home) / "dravel" / "user.reg", std::ios::binary);
    char port8[16];
    std::snprintf(port8, sizeof port8, "%08x", port);
    out << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Dravel2]\r\n"
        << "\"Version\"=dword:00000203\r\n"
        << "\"Address\"=\"127.0.0.1\"\r\n"
        << "\"BlindFriendly\"=dword:0000000" << (blindFriendly ? 1 : 0) << "\r\n"
        << "\"RemotePort\"=dword:" << port8 << "\r\n"
        << "\"Service\"=\"\"\r\n"
        << "\"UserId\"=\"Anonymous\"\r\n";
}

class ConnectedMainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WriteUserSettings(server.Port(), false);
        SetSettingsRegistry(&registry);
        server.OnMessage = [this](const Pairs& pairs) {
            const std::string op = PairValue(pairs, "OPERATION");
            if (!PairValue(pairs, "DATABASE").empty()) {
                server.Send({{"OPERATION", "ACCEPTED"},
                             {"SERVER", "ZEDUVOZ"},
                             {"VERSION", "528"},
                             {"SITOVEK", "https://www.example.org/"},
                             {"EMAILORVO", "info@example.org"},
                             {"ONLINE", ""}});
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
        SetSettingsRegistry(nullptr);
        GenreNames.clear();
        CentresCache.reset();
    }

    // The WHERE of the last query received.
    std::string LastWhere() const {
        return Queries.empty() ? "" : PairValue(Queries.back(), "WHERE");
    }

    RecordingDesktop desk;
    ScriptedServer server;
    FileRegistry registry;
    std::vector<Pairs> Queries;
    // The server's answer to a QUERY: the messages to send, each after the client's RECEIVED.
    std::function<std::vector<Pairs>(const Pairs&)> OnQuery;
};
