// The main window from the keyboard: where the focus is once the login is accepted, whatever
// came first, Enter on a focused command, F10 for the menu, and the wait dialog's status in
// its body.

#include <QAbstractEventDispatcher>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <xcb/xcb.h>

#include "ClientFixture.h"
#include "platform/Text.h"
#include "tests/support/WindowEvents.h"

class Keyboard : public ClientFixture {
protected:
    // Connects with the login answered only when accept() is called.
    void StartWithLoginHeld() {
        StartClient();
        ASSERT_TRUE(server.WaitForMessages(1));
    }

    void AcceptLogin() {
        server.Send(ScriptedServer::Accepted());
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr && Idle; }));
    }
};

TEST_F(Keyboard, TheSearchCommandHasTheFocusOnceTheLoginIsAcceptedAndTheWindowActive) {
    // The login accepted first, the window activated afterwards (a fast server).
    StartWithLoginHeld();
    AcceptLogin();
    ASSERT_TRUE(Activate(form));
    EXPECT_EQ(QApplication::focusWidget(), form->ButtonAutore);
    DestroyClient();

    // The window active first, the login accepted afterwards (a slow server): while the wait
    // dialog is up only "&Esci" is enabled, and the focus lands there.
    StartWithLoginHeld();
    FormAttendere->hide();
    ASSERT_TRUE(Activate(form));
    EXPECT_EQ(QApplication::focusWidget(), form->ButtonChiudi);
    AcceptLogin();
    EXPECT_EQ(QApplication::focusWidget(), form->ButtonAutore);
}

TEST_F(Keyboard, TheFocusIsGivenBackOnceOnly) {
    Connect();
    ASSERT_TRUE(Activate(form));
    ASSERT_EQ(QApplication::focusWidget(), form->ButtonAutore);
    // The user moves on; a later activation (a message box closed) leaves the focus there.
    form->ButtonEMail->setFocus();
    FormAttendere->ShowModeless();
    FormAttendere->hide();
    ASSERT_TRUE(Activate(form));
    EXPECT_EQ(QApplication::focusWidget(), form->ButtonEMail);
}

TEST_F(Keyboard, EnterAndKeypadEnterPressTheFocusedCommand) {
    Connect();
    ASSERT_TRUE(Activate(form));
    QSignalSpy site(form->ButtonSitoVek, &QPushButton::clicked);
    form->ButtonSitoVek->setFocus();
    QTest::keyClick(form->ButtonSitoVek, Qt::Key_Return);
    QTest::keyClick(form->ButtonSitoVek, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(site.count(), 2);
    // A modified Enter is not a press of the button.
    QTest::keyClick(form->ButtonSitoVek, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(site.count(), 2);
    // A disabled command stays unpressed.
    QSignalSpy mail(form->ButtonEMailOrvo, &QPushButton::clicked);
    form->ButtonEMailOrvo->setFocus();
    form->ButtonEMailOrvo->setEnabled(false);
    QTest::keyClick(form->ButtonEMailOrvo, Qt::Key_Return);
    EXPECT_EQ(mail.count(), 0);
}

TEST_F(Keyboard, F10OpensTheMenu) {
    Connect();
    ASSERT_TRUE(Activate(form));
    QTest::keyClick(form, Qt::Key_F10);
    EXPECT_TRUE(WaitUntil([this] {
        return form->menuBar()->activeAction() == form->MenuImpostazioni->menuAction();
    }));
}

TEST_F(Keyboard, TheWaitDialogShowsItsStatusInItsBody) {
    Connect();
    FormAttendere->SetText("Record ricevuti: 12");
    EXPECT_EQ(W(FormAttendere->LabelStato->text()), "Record ricevuti: 12");
    EXPECT_EQ(W(FormAttendere->windowTitle()), "Record ricevuti: 12");
    EXPECT_EQ(FormAttendere->LabelStato->parentWidget(), FormAttendere);
}

TEST_F(Keyboard, ALateActivationOfTheHiddenWaitDialogGoesBackToTheWindowOnScreen) {
    Connect();
    // A fast reply: the wait dialog came and went, the main window is on screen; then the
    // window system's activation of the wait dialog arrives.
    FormAttendere->ShowModeless();
    FormAttendere->hide();
    ASSERT_TRUE(form->isVisible());
    QApplication::setActiveWindow(FormAttendere);
    EXPECT_TRUE(WaitUntil([this] { return QApplication::activeWindow() == form; }));
    EXPECT_FALSE(FormAttendere->isVisible());

    // While it is on screen, the wait dialog keeps its activation.
    FormAttendere->ShowModeless();
    QApplication::setActiveWindow(FormAttendere);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), FormAttendere);
    FormAttendere->hide();
}

TEST_F(Keyboard, TheWindowActiveBehindTheWaitDialogIsActivatedAgainWhenItGoes) {
    Connect();
    ASSERT_TRUE(Activate(form));
    auto* counter = new EventCounter(form, QEvent::WindowActivate);
    FormAttendere->ShowModeless();
    // The window system left the main window active behind the dialog.
    QApplication::setActiveWindow(form);
    QCoreApplication::processEvents();
    const int before = counter->Count;
    FormAttendere->hide();
    EXPECT_TRUE(WaitUntil([&] { return counter->Count > before; }));
    EXPECT_EQ(QApplication::activeWindow(), form);
}

TEST_F(Keyboard, TheWindowSystemsLateFocusOfTheHiddenWaitDialogIsDropped) {
    Connect();
    FormAttendere->ShowModeless();
    const auto id = static_cast<uint32_t>(FormAttendere->winId());
    xcb_focus_in_event_t focus{};
    focus.response_type = XCB_FOCUS_IN;
    focus.event = id;
    // On screen, the dialog takes its focus.
    EXPECT_FALSE(FormAttendere->IsLateFocus("xcb_generic_event_t", &focus));
    FormAttendere->hide();
    EXPECT_TRUE(FormAttendere->IsLateFocus("xcb_generic_event_t", &focus));
    // Sent by the server (the top bit) it is the same focus.
    focus.response_type = XCB_FOCUS_IN | 0x80;
    EXPECT_TRUE(FormAttendere->IsLateFocus("xcb_generic_event_t", &focus));
    // Other windows' focus, other messages and other window systems pass.
    focus.event = id + 1;
    EXPECT_FALSE(FormAttendere->IsLateFocus("xcb_generic_event_t", &focus));
    focus.event = id;
    focus.response_type = XCB_FOCUS_OUT;
    EXPECT_FALSE(FormAttendere->IsLateFocus("xcb_generic_event_t", &focus));
    focus.response_type = XCB_FOCUS_IN;
    EXPECT_FALSE(FormAttendere->IsLateFocus("windows_generic_MSG", &focus));

    // Dropped on its way in, and the window on screen made the active one again.
    QApplication::setActiveWindow(nullptr);
    EXPECT_TRUE(QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t",
                                                                        &focus, nullptr));
    EXPECT_TRUE(WaitUntil([this] { return QApplication::activeWindow() == form; }));
}
