#include "ui/KeyboardAccess.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

void TReturnCommand::Set(QWidget* window, QWidget* command) {
    Window = window;
    Command = command;
    if (window != nullptr && window->isVisible() && window->isActiveWindow()) {
        Give();
    }
}

void TReturnCommand::WindowActivated() {
    if (Window != nullptr && Window->isVisible() && Window->isActiveWindow()) {
        Give();
    }
}

void TReturnCommand::Give() {
    QPointer<QWidget> command = Command;
    Command = nullptr;
    if (command != nullptr && command->isEnabled() && command->isVisible()) {
        command->setFocus(Qt::OtherFocusReason);
    }
}

void TEnterPressesButton::Install() {
    static TEnterPressesButton* installed = nullptr;
    if (installed == nullptr) {
        installed = new TEnterPressesButton(qApp);
        qApp->installEventFilter(installed);
    }
}

bool TEnterPressesButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) {
        return false;
    }
    // Only a key meant for the button itself: modified Enter keeps whatever meaning it has.
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || modifiers != Qt::NoModifier || !button->hasFocus()) {
        return false;
    }
    if (button->isEnabled()) {
        button->click();
    }
    return true;
}

namespace {

// The keys an editable list hands to its line, where the plain list would choose with them.
class ChoiceKeys : public QObject {
public:
    explicit ChoiceKeys(QComboBox* list) : QObject(list), list(list) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || list->view()->isVisible()) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (modifiers != Qt::NoModifier && modifiers != Qt::ShiftModifier) {
            return false;
        }
        if (key->key() == Qt::Key_Home || key->key() == Qt::Key_End) {
            if (list->count() > 0) {
                list->setCurrentIndex(key->key() == Qt::Key_Home ? 0 : list->count() - 1);
            }
            return true;
        }
        const QString text = key->text();
        if (text.isEmpty() || !text.at(0).isPrint() || text.at(0).isSpace()) {
            return false;
        }
        JumpTo(text);
        return true;
    }

private:
    // The next choice after the current one that starts with text, round to the first.
    void JumpTo(const QString& text) {
        const int n = list->count();
        for (int step = 1; step <= n; ++step) {
            const int i = (list->currentIndex() + step) % n;
            if (list->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
                list->setCurrentIndex(i);
                return;
            }
        }
    }

    QComboBox* list;
};

} // namespace

void MakeChoicesSpoken(QComboBox* list) {
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    QLineEdit* line = list->lineEdit();
    line->setReadOnly(true);
    // Without a completer the line cannot turn typing into a choice of its own.
    list->setCompleter(nullptr);
    list->installEventFilter(new ChoiceKeys(list));
    QObject::connect(list, &QComboBox::currentIndexChanged, line, [line] { line->selectAll(); });
}
