#pragma once
// The window half of the shared unit: the connected socket, the reply routine, the long-lived
// window instances and the routines that act on windows.

#include <QPointer>
#include <functional>
#include <string>

#include "core/UOrvoCCommon.h"

class QTcpSocket;
class QWidget;
class TMainForm;
class TFormCentri;
class TFormRicercaUtente;
class TFormAttendere;

// An object together with one of its routines taking (Interrupted, Failed). The object is
// watched: a routine whose object has gone is never called.
struct TReplyHandler {
    QPointer<QObject> Object;
    std::function<void(bool, bool)> Routine;

    explicit operator bool() const { return Object != nullptr && Routine != nullptr; }
    void Clear() {
        Object = nullptr;
        Routine = nullptr;
    }
    void Set(QObject* object, std::function<void(bool, bool)> routine) {
        Object = object;
        Routine = std::move(routine);
    }
    // Calls the routine; the routine usually clears the handler itself.
    void Call(bool interrupted, bool failed) const {
        if (*this) {
            auto routine = Routine;
            routine(interrupted, failed);
        }
    }
};

// A link holder: a target handed to the desktop on click. After a failed open it stops jumping
// until a new target is set.
struct TLinkLabel {
    std::string Target;
    std::string Hint;
    bool ShowHint = false;
    bool Enabled = true;
    bool Jumps = true;

    void SetTarget(const std::string& target) {
        Target = target;
        Jumps = true;
    }
};

extern QTcpSocket* ActiveSocket;
extern TReplyHandler ReplyHandler;
extern TMainForm* MainForm;
extern TFormCentri* FormCentri;
extern TFormRicercaUtente* FormRicercaUtente;
extern TFormAttendere* FormAttendere;

void InitSession(TMainForm* mainWindow);
void CreateDialogs(QWidget* owner);
void FeedbackBeep();
// Opens the label's target through the desktop; false when the desktop refused it (the label
// then stops jumping), when the target is not a web or mailto link, or when it no longer jumps.
bool ClickLinkLabel(TLinkLabel& label);
void MaximizeIfBlindFriendly(QWidget* window);
void RestoreForm(QWidget* window);
void MinimizeForm(QWidget* window);
void Pause(int milliseconds);
int ShowSettingsDialog(int mode, QWidget* owner);

// Tells the application to terminate: every running modal loop and the main loop end, and the
// program exits without the main window's close processing. Also works when called before the
// main loop has started (the request is then honoured as soon as it runs).
void TerminateApplication();
// When set, TerminateApplication calls it instead of ending the loops (tests observe it).
extern std::function<void()> TerminateHook;
