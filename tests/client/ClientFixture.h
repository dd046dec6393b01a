#pragma once
// A fresh client for each test: recording desktop, settings that point at a scripted server,
// and a new main window (which runs the session start-up).

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

#include "core/CatalogueQuery.h"
#include "core/UOrvoCCommon.h"
#include "tests/support/MainFormProbe.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestSettings.h"
#include "tests/support/WaitUntil.h"
#include "ui/UFormAttendere.h"
#include "ui/UMainForm.h"

class ClientFixture : public ::testing::Test {
protected:
    void SetUp() override {
        TerminateHook = [this] {
            ++terminations;
            // What the real request does to a modal wait: its loop ends.
            if (FormAttendere != nullptr) {
                FormAttendere->CloseDialog();
            }
        };
        TMainForm::ConnectTimeout = 3000;
        TMainForm::ReceiveLimit = TMainForm::MaxReceiveBuffer;
        StoreSettings(server.Port());
    }

    void TearDown() override {
        DestroyClient();
        TerminateHook = nullptr;
    }

    void StoreSettings(uint32_t port, const std::string& address = "127.0.0.1",
                       const std::string& service = "") {
        ASSERT_TRUE(registry.Store(port, address, service));
    }

    void StartClient() {
        form = new TMainForm;
        form->show();
    }

    void DestroyClient() {
        delete form.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    // Starts the client against a server that accepts the login, and waits for the
    // acknowledgement of the acceptance.
    void Connect(const std::string& site = "https://www.example.org/",
                 const std::string& mail = "info@example.org", const std::string& online = "") {
        server.AcceptLogins(site, mail, online);
        StartClient();
        ASSERT_TRUE(server.WaitForMessages(2));
        ASSERT_EQ(server.Op(1), "RECEIVED");
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
        server.OnMessage = nullptr;
    }

    TMainFormProbe Probe() const { return TMainFormProbe(form); }

    // The client's messages with this OPERATION.
    size_t CountOps(const std::string& op) const {
        auto ops = server.Ops();
        return static_cast<size_t>(std::count(ops.begin(), ops.end(), op));
    }

    RecordingDesktop desk;
    TestSettings registry;
    ScriptedServer server;
    QPointer<TMainForm> form;
    int terminations = 0;
};
