#include "ui/UOrvoCCommonWin.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "platform/Desktop.h"
#include "search/UFormCentri.h"
#include "search/UFormRicercaUtente.h"
#include "ui/UFormAttendere.h"
#include "ui/UFormGuida.h"
#include "ui/UFormImpostazioni.h"
#include "ui/UMainForm.h"

QTcpSocket* ActiveSocket = nullptr;
TReplyHandler ReplyHandler;
TMainForm* MainForm = nullptr;
TFormCentri* FormCentri = nullptr;
TFormRicercaUtente* FormRicercaUtente = nullptr;
TFormAttendere* FormAttendere = nullptr;
std::function<void()> TerminateHook;

void InitSession(TMainForm* mainWindow) {
    ResetSessionState();
    ReplyHandler.Clear();
    ActiveSocket = nullptr;
    // The registry's own failures fall back to the defaults inside LoadSettings.
    LoadSettings(StoredSettings);
    SessionSettings = StoredSettings;
    CreateDialogs(mainWindow);
    InstallHelpKey();
}

void CreateDialogs(QWidget* owner) {
    FormCentri = new TFormCentri(owner);
    FormRicercaUtente = new TFormRicercaUtente(owner);
    FormAttendere = new TFormAttendere(owner);
}

void FeedbackBeep() {
    if (SessionSettings.BlindFriendly) {
        TheDesktop().Beep();
    }
}

bool ClickLinkLabel(TLinkLabel& label) {
    if (!label.Jumps) {
        return false;
    }
    // Only web and mail links reach the desktop: a server must not make us run a program or
    // open a local file.
    std::optional<std::string> url = SafeShellLink(label.Target);
    if (!url || !TheDesktop().OpenUrl(*url)) {
        label.Jumps = false;
        return false;
    }
    return true;
}

void MaximizeIfBlindFriendly(QWidget* window) {
    if (!SessionSettings.BlindFriendly) {
        return;
    }
    window->setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    window->setWindowState(Qt::WindowMaximized);
}

void RestoreForm(QWidget* window) {
    window->setEnabled(true);
    window->setWindowState(SessionSettings.BlindFriendly ? Qt::WindowMaximized : Qt::WindowNoState);
}

void MinimizeForm(QWidget* window) {
    // A hidden window is already out of the way. Minimising it as well only leaves the iconic
    // hint behind, and X11 window managers then bring the window back iconified the next time
    // it is shown, out of the user's and the screen reader's reach.
    if (!window->isVisible()) {
        return;
    }
    window->setWindowState(Qt::WindowMinimized);
    window->update();
}

void Pause(int milliseconds) {
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
    QCoreApplication::processEvents();
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
}

int ShowSettingsDialog(int mode, QWidget* owner) {
    auto* dialog = new TFormImpostazioni(owner);
    return dialog->Execute(mode) ? 1 : 0;
}

void TerminateApplication() {
    if (TerminateHook) {
        TerminateHook();
        return;
    }
    QCoreApplication::exit(0);
    // Before the main loop runs, exit() has nothing to end: ask again once it does.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
