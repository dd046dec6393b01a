#pragma once
// What makes the windows usable from the keyboard and audible through a screen reader where
// Qt's own widgets fall short: the command the focus goes back to, Enter on a focused button,
// and drop-down lists whose choices are spoken.

#include <QObject>
#include <QPointer>

class QComboBox;
class QWidget;

// The command a window gives the focus to the next time it is active: the one that opened the
// window that is closing, or the first command once the connection is accepted. Focus handed
// to a hidden or inactive window would be lost or announced out of turn, so it waits for the
// window to be active, whichever of the two happens last.
class TReturnCommand {
public:
    // command belongs to window; given at once when window is visible and active.
    void Set(QWidget* window, QWidget* command);
    // Called when window becomes active: the command, if still enabled, gets the focus once.
    void WindowActivated();
    QWidget* Pending() const { return Command; }

private:
    void Give();

    QPointer<QWidget> Window;
    QPointer<QWidget> Command;
};

// Enter and keypad Enter on a focused push button press it, in every window of the program (a
// main window's buttons ignore Enter otherwise). Installed once on the application.
class TEnterPressesButton : public QObject {
public:
    static void Install();

protected:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// A drop-down list whose choice a screen reader speaks as the arrow keys move it: an editable
// list with a read-only line, its text selected on every change (the selection is what gets
// read). Keys keep their meaning: arrows choose, a letter jumps to the next choice starting
// with it, Enter and Escape reach the dialog.
void MakeChoicesSpoken(QComboBox* list);
