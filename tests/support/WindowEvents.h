#pragma once
// Windows' activation and events, as the window tests watch them.

#include <QEvent>
#include <QObject>
#include <QWidget>

#include "tests/support/WaitUntil.h"

// Asks for window to be the active window and waits until it is; false if it never becomes so.
inline bool Activate(QWidget* window) {
    window->activateWindow();
    return WaitUntil([window] { return window->isActiveWindow(); });
}

// Counts the events of one type a widget receives, without taking them.
class EventCounter : public QObject {
public:
    EventCounter(QWidget* widget, QEvent::Type type) : QObject(widget), type(type) {
        widget->installEventFilter(this);
    }
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        Count += event->type() == type ? 1 : 0;
        return false;
    }

private:
    QEvent::Type type;
};
