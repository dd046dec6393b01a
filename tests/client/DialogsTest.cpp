// The settings dialog, the wait and input dialogs, the main window's commands, the About box
// and the accessible names of every window.
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "tests/client/ClientFixture.h"
#include "ui/UFormImpostazioni.h"
#include "ui/UFormInput.h"

class Dialogs : public ClientFixture {
protected:
    TFormImpostazioni* OpenSettings() {
        form->MenuModificaClick();
        auto* dialog = form->findChild<TFormImpostazioni*>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    void Fill(TFormImpostazioni* dialog, const char* address, const char* port,
              const char* service) {
        dialog->EditAddress->setText(address);
        dialog->EditRemotePort->setText(port);
        dialog->EditService->setText(service);
    }
};

TEST_F(Dialogs, SettingsShowTheStoredValuesAndRefuseBadEntries) {
    StoreSettings(0, "10.1.2.3", "orvo");
    StartClient();
    // No such service here: the connection attempt fails first.
    ASSERT_TRUE(WaitUntil([this] { return !desk.Boxes.empty(); }));
    desk.Boxes.clear();
    registry.Writes = 0;
    TFormImpostazioni* dialog = OpenSettings();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Impostazioni...");
    EXPECT_EQ(dialog->EditAddress->text(), "10.1.2.3");
    EXPECT_EQ(dialog->EditRemotePort->text(), "0");
    EXPECT_EQ(dialog->EditService->text(), "orvo");
    EXPECT_EQ(dialog->EditUserId->text(), "Anonymous");
    EXPECT_FALSE(dialog->EditUserId->isEnabled());
    EXPECT_FALSE(dialog->EditPassword->isVisibleTo(dialog));
    EXPECT_FALSE(Idle);
    EXPECT_TRUE(Probe().BusyCheckRunning());

    struct Case {
        const char *address, *port, *text;
    };
    const char* portText = "La porta remota deve essere compresa\r\n tra 1 e 65535.";
    for (const Case& c : {Case{"10.1.2.3", "0", portText}, Case{"10.1.2.3", "65536", portText},
                          Case{"10.1.2.3", "-1", portText},
                          Case{"10.1.2.3", "8o", "'8o' is not a valid integer value"},
                          Case{"   ", "0", "Impostare l'indirizzo del server"},
                          Case{"", "10241", "Impostare l'indirizzo del server"}}) {
        SCOPED_TRACE(c.text);
        desk.Boxes.clear();
        Fill(dialog, c.address, c.port, "");
        QTest::mouseClick(dialog->ButtonOk, Qt::LeftButton);
        ASSERT_EQ(desk.Boxes.size(), 1u);
        EXPECT_EQ(desk.Last().Text, c.text);
        EXPECT_EQ(desk.Last().Title, "Errore");
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(dialog->OkPressed);
    }
    EXPECT_EQ(registry.Writes, 0);
    EXPECT_EQ(StoredSettings.Address, "10.1.2.3");

    // Corrected entries: saved trimmed, applied to both records, and the warning shown.
    desk.Boxes.clear();
    QPointer<TFormImpostazioni> alive = dialog;
    Fill(dialog, "  192.168.0.9 ", "65535", " orvo2 ");
    dialog->CBBlindFriendly->setChecked(true);
    QTest::mouseClick(dialog->ButtonOk, Qt::LeftButton);
    ASSERT_EQ(desk.Boxes.size(), 1u);
    EXPECT_EQ(desk.Last().Text, "Eventuali modifiche avranno effetto solo\r\nalla prossima "
                                "connessione.");
    EXPECT_EQ(desk.Last().Title, "Attenzione...");
    EXPECT_EQ(desk.Last().Icon, MsgIcon::Warning);
    EXPECT_EQ(StoredSettings.Address, "192.168.0.9");
    EXPECT_EQ(StoredSettings.Service, "orvo2");
    EXPECT_EQ(StoredSettings.RemotePort, 65535u);
    EXPECT_TRUE(StoredSettings.BlindFriendly);
    EXPECT_EQ(SessionSettings, StoredSettings);
    auto& values = registry.KeyValues(RegRoot::CurrentUser, SettingsKey);
    EXPECT_EQ(values["Address"].Text, "192.168.0.9");
    EXPECT_EQ(values["RemotePort"].Dword, 65535u);
    EXPECT_TRUE(Idle);
    EXPECT_FALSE(Probe().BusyCheckRunning());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(WaitUntil([&] { return alive.isNull(); }));
    // The new presentation holds from the next showing: the small window of fixed size
    // becomes free to fill the screen, and back.
    form->hide();
    form->show();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    EXPECT_GT(form->maximumWidth(), form->sizeHint().width());
    SessionSettings.BlindFriendly = false;
    form->hide();
    form->show();
    EXPECT_FALSE(form->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form->maximumSize(), form->sizeHint());
}

TEST_F(Dialogs, SettingsCancelAndWriteFailure) {
    StartClient();
    TRegistryInfo before = StoredSettings;

    // Escape cancels: nothing saved, the main window back.
    TFormImpostazioni* dialog = OpenSettings();
    ASSERT_NE(dialog, nullptr);
    QPointer<TFormImpostazioni> alive = dialog;
    Fill(dialog, "1.1.1.1", "1", "");
    form->hide();
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->Cancelled);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(Idle);
    EXPECT_EQ(StoredSettings, before);
    EXPECT_TRUE(desk.Boxes.empty());
    EXPECT_TRUE(WaitUntil([&] { return alive.isNull(); }));

    // A registry that refuses the write keeps the dialog open and both records unchanged.
    registry.FailWrites = true;
    dialog = OpenSettings();
    ASSERT_NE(dialog, nullptr);
    Fill(dialog, "1.1.1.1", "1", "");
    QTest::mouseClick(dialog->ButtonOk, Qt::LeftButton);
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Errore nella scrittura su registro"});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(StoredSettings, before);
    EXPECT_EQ(SessionSettings.Address, before.Address);
    dialog->close();
}

TEST_F(Dialogs, EditsRefuseTextThatWindows1252CannotHold) {
    StartClient();
    TFormImpostazioni* dialog = OpenSettings();
    ASSERT_NE(dialog, nullptr);
    dialog->EditService->clear();
    dialog->EditService->setFocus();
    for (QString typed :
         {QString("c"), QString(QChar(0xE0)), QString(QChar(0x2192)), QString(QChar(0x20AC))}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
        QApplication::sendEvent(dialog->EditService, &press);
    }
    // Pasted text goes through the same check.
    dialog->EditService->insert(QString(QChar(0x4E2D)));
    // So do the bytes that frame messages on the wire.
    dialog->EditService->insert(QString("a") + QChar(0x02) + "b");
    dialog->EditService->insert(QString(QChar(0x01)));
    // The arrow has no Windows-1252 byte; the euro sign has one.
    EXPECT_EQ(dialog->EditService->text(), QString("c") + QChar(0xE0) + QChar(0x20AC));
    dialog->EditRemotePort->clear();
    QTest::keyClicks(dialog->EditRemotePort, "1234567");
    EXPECT_EQ(dialog->EditRemotePort->text(), "12345");
    dialog->close();
}

TEST_F(Dialogs, InputDialogReturnsTheTrimmedTextOrNothing) {
    StartClient();
    struct Case {
        QString typed;
        bool ok;
        std::string expected;
    };
    // The last case tabs to "&Annulla" and presses Enter there: that cancels, it does not
    // accept what was typed.
    for (const Case& c : {Case{"  12  ", true, "12"}, Case{"   ", true, ""}, Case{"12", false, ""},
                          Case{"7", false, ""}}) {
        TFormInput input(form);
        std::string output = "unchanged";
        QTimer::singleShot(0, &input, [&] {
            input.Text->setText(c.typed);
            if (c.ok) {
                QTest::keyClick(input.Text, Qt::Key_Return);
            } else if (c.typed == "7") {
                input.ButtonAnnulla->setFocus();
                QTest::keyClick(input.ButtonAnnulla, Qt::Key_Return);
            } else {
                QTest::keyClick(input.Text, Qt::Key_Escape);
            }
        });
        input.Execute("Vai a", "Numero del record:", "", 32, '\0', output);
        EXPECT_EQ(output, c.expected);
        EXPECT_EQ(input.windowTitle(), "Vai a");
        EXPECT_EQ(input.LabelTitle->text(), "Numero del record:");
        EXPECT_EQ(input.Text->maxLength(), 32);
    }
}

TEST_F(Dialogs, WaitDialogCancelAndTerminate) {
    Connect();
    FormAttendere->ShowModeless();
    EXPECT_FALSE(Idle);
    QTest::mouseClick(FormAttendere->ButtonAnnulla, Qt::LeftButton);
    EXPECT_TRUE(CancelRequested);
    // No exchange: nothing sent.
    QTest::qWait(30);
    EXPECT_EQ(CountOps("ABORT"), 0u);
    FormAttendere->hide();
    EXPECT_FALSE(CancelRequested);

    FormAttendere->ShowModeless();
    FormAttendere->ButtonAnnulla->setEnabled(false);
    QTest::mouseClick(FormAttendere->ButtonTermina, Qt::LeftButton);
    EXPECT_EQ(terminations, 1);
    QTest::qWait(30);
    EXPECT_EQ(CountOps("DISCONNECT"), 0u);
    // Showing again re-enables the cancel button.
    FormAttendere->hide();
    FormAttendere->ShowModeless();
    EXPECT_TRUE(FormAttendere->ButtonAnnulla->isEnabled());
}

TEST_F(Dialogs, AboutBoxBeforeAndAfterTheHandshake) {
    StartClient();
    form->MenuInformazioniClick();
    ASSERT_EQ(desk.Boxes.size(), 1u);
    EXPECT_EQ(desk.Last().Text, "Dravel ver. 2.0.3\r\nServer remoto: (non contattato)");
    EXPECT_EQ(desk.Last().Title, "Informazioni su...");
    EXPECT_EQ(desk.Last().Icon, MsgIcon::Information);
    DestroyClient();

    server.OnMessage = [this](const Pairs& pairs) {
        if (pairs.size() == 4) {
            server.Send({{"OPERATION", "ACCEPTED"}, {"SERVER", "ZEDUVOZ"}, {"VERSION", "4624"}});
        }
    };
    StartClient();
    ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr; }));
    // No busy guard: it answers while another window is in charge too.
    Idle = false;
    form->MenuInformazioniClick();
    EXPECT_EQ(desk.Last().Text, "Dravel ver. 2.0.3\r\nServer remoto: ZEDUVOZ ver. 2.1.0 pre alpha");
}

TEST_F(Dialogs, RealMessageBoxShowsTheTextAsItStands) {
    // A server's text that looks like markup is read out as sent, line breaks included.
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        format = box->textFormat();
        box->button(QMessageBox::Ok)->click();
    });
    QtDesktop real;
    real.MessageBox("Operazione fallita. Messaggio del server:\r\n<b>Titolo</b> <img src=x>",
                    "Errore", MsgIcon::Error, MsgButtons::Ok);
    EXPECT_EQ(shown, "Operazione fallita. Messaggio del server:\n<b>Titolo</b> <img src=x>");
    EXPECT_EQ(format, Qt::PlainText);

    // A short text under a longer title: the box is wide enough for the title to show whole.
    int width = 0;
    int titleWidth = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        width = box->width();
        titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
        box->button(QMessageBox::Ok)->click();
    });
    real.MessageBox("File salvato.", "Operazione completata", MsgIcon::Information, MsgButtons::Ok);
    EXPECT_GT(width, titleWidth + 100);
}

TEST_F(Dialogs, LinkCommandsOpenOnlyWebAndMailLinks) {
    Connect("https://site.example.org/", "info@example.org?bcc=all@example.org",
            "file:///etc/passwd");
    QTest::mouseClick(form->ButtonSitoVek, Qt::LeftButton);
    QTest::mouseClick(form->ButtonEMailOrvo, Qt::LeftButton);
    QTest::mouseClick(form->ButtonOnLine, Qt::LeftButton);
    QTest::mouseClick(form->ButtonOnLine, Qt::LeftButton);
    EXPECT_EQ(desk.OpenedUrls,
              (std::vector<std::string>{"https://site.example.org/",
                                        "mailto:info@example.org%3Fbcc%3Dall@example.org"}));
    EXPECT_FALSE(Probe().OnlineLink().Jumps);
    EXPECT_TRUE(desk.Boxes.empty());

    // A desktop that fails: silent, and that link stops jumping.
    desk.OpenSucceeds = false;
    QTest::mouseClick(form->ButtonSitoVek, Qt::LeftButton);
    QTest::mouseClick(form->ButtonSitoVek, Qt::LeftButton);
    EXPECT_EQ(desk.OpenedUrls.size(), 3u);
    EXPECT_TRUE(desk.Boxes.empty());

    // Busy: the command only hides the main window.
    desk.OpenSucceeds = true;
    Idle = false;
    QTest::mouseClick(form->ButtonEMailOrvo, Qt::LeftButton);
    EXPECT_EQ(desk.OpenedUrls.size(), 3u);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Dialogs, BusyMainWindowHidesItselfAndExitCloses) {
    Connect();
    Idle = false;
    ASSERT_TRUE(WaitUntil([this] { return !form->isVisible(); }, 1000));
    form->ButtonChiudiClick();
    EXPECT_FALSE(Terminating);

    Idle = true;
    form->show();
    Terminating = true;
    form->ButtonChiudiClick();
    EXPECT_EQ(CountOps("DISCONNECT"), 0u);
    Terminating = false;
    form->ButtonChiudiClick();
    ASSERT_TRUE(WaitUntil([this] { return CountOps("DISCONNECT") == 1; }));
    EXPECT_TRUE(WaitUntil([this] { return form.isNull(); }));
}

TEST_F(Dialogs, SettingsOpenWhileConnectingButNotWhileBusy) {
    server.GreetOnConnect = false;
    StartClient();
    // Connecting: the wait dialog is up and the timer stopped.
    ASSERT_FALSE(Idle);
    form->MenuModificaClick();
    auto* dialog = form->findChild<TFormImpostazioni*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitUntil([this] { return !form->isVisible(); }, 1000));
    // Another command now only hides the main window again.
    form->show();
    form->MenuModificaClick();
    EXPECT_EQ(form->findChildren<TFormImpostazioni*>().size(), 1);
    EXPECT_FALSE(form->isVisible());
    dialog->close();
}

TEST_F(Dialogs, EveryFocusableWidgetHasAnAccessibleName) {
    Connect("https://site.example.org/", "info@example.org", "https://online.example.org/");
    ShowSettingsDialog(0, form);
    std::vector<std::string> unnamed;
    int checked = 0;
    auto collect = [&] {
        for (QWidget* widget : QApplication::allWidgets()) {
            QWidget* window = widget->window();
            bool focusable = (widget->focusPolicy() & Qt::TabFocus) != 0 &&
                             widget->isVisibleTo(window) && widget != window;
            checked += focusable ? 1 : 0;
            if (!focusable || !widget->accessibleName().isEmpty()) {
                continue;
            }
            // Parts of composite widgets are named through their owner: a focus proxy, a list's
            // line (whose focus goes to the list) and the items of a list's drop-down.
            QWidget* parent = widget->parentWidget();
            if ((parent != nullptr && parent->focusProxy() == widget) ||
                widget->focusProxy() != nullptr || window->windowType() == Qt::Popup) {
                continue;
            }
            unnamed.push_back(std::string(widget->metaObject()->className()) + " " +
                              widget->objectName().toStdString() + " in " +
                              window->objectName().toStdString());
        }
    };
    TFormInput input(form);
    QTimer::singleShot(0, &input, [&] {
        collect();
        QTest::keyClick(input.Text, Qt::Key_Escape);
    });
    std::string output;
    input.Execute("Vai a", "Numero del record:", "", 0, '\0', output);
    EXPECT_EQ(unnamed, std::vector<std::string>{});
    // The main window, the wait, settings and input dialogs at least.
    EXPECT_GT(checked, 15);
}

TEST_F(Dialogs, ModalSettingsReturnWhetherTheUserCancelled) {
    StartClient();
    QTimer::singleShot(0, form, [] {
        auto* dialog = MainForm->findChild<TFormImpostazioni*>();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowSettingsDialog(1, form), 1);
    QTimer::singleShot(0, form, [] {
        auto* dialog = MainForm->findChild<TFormImpostazioni*>();
        dialog->EditRemotePort->setText("10241");
        QTest::mouseClick(dialog->ButtonOk, Qt::LeftButton);
    });
    EXPECT_EQ(ShowSettingsDialog(1, form), 0);
    EXPECT_EQ(desk.Last().Title, "Attenzione...");
    EXPECT_TRUE(WaitUntil([this] { return form->findChildren<TFormImpostazioni*>().empty(); }));
}
