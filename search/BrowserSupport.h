#pragma once
// What the two record browsers and the search dialog share: the browsers' record navigation,
// the go-to prompt, the Enter and Escape keys, accessible names, and memo text.

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "core/CMatrix.h"
#include "ui/KeyboardAccess.h"

class QGroupBox;
class QHBoxLayout;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// Sets the widget's accessible name (Windows-1252 text, "&" mnemonics removed).
void SetAccessibleName(QWidget* widget, const std::string& name);

// Asks for a record number between 1 and rowCount with the caption "Immissione parametro":
// through TFormInput in blind-friendly mode, the desktop's input box otherwise. Shows the
// messages for a wrong answer. 0 when there is nowhere to go.
int AskRecordNumber(QWidget* owner, int rowCount);

// The group's title, cut short with an ellipsis where it would make the window wider than its
// screen: a long name from the server must not push the window's commands off the screen.
void SetTitleWithinScreen(QGroupBox* group, const std::string& title);

// Replaces the memo's text with the lines, one memo line each, and scrolls to the top.
void SetMemoLines(QPlainTextEdit* memo, const std::vector<std::string>& lines);

// Enter on the focused button presses it, as on the desktop the users know, without making it
// a default button that Enter in the record text would press too.
void ClickOnEnter(QPushButton* button);

// Calls onEscape when Escape is pressed in the watched widget (the memo's KeyPress handler).
class EscapeKeyFilter : public QObject {
public:
    EscapeKeyFilter(QObject* parent, std::function<void()> onEscape);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onEscape;
};

// A window that shows the rows of its table one record at a time, in a read-only memo, with
// the same moves and go-to prompt in both browsers.
class TRecordBrowser : public QDialog {
    Q_OBJECT

public:
    // Opening, once Table holds the rows: caption, record 1, the owner to show again on close,
    // then the window and its record.
    void Open(const std::string& caption, QWidget* owner);
    // Rebuilds the memo for the current record; a record that cannot be shown closes the
    // browser, and its owner comes back.
    void ShowRecord();

    CMatrix Table;
    int Record = 0; // 0 none, otherwise 1 to the row count

    QPushButton* ButtonPrimo = nullptr;
    QPushButton* ButtonPrecedente = nullptr;
    QPushButton* ButtonSuccessivo = nullptr;
    QPushButton* ButtonUltimo = nullptr;
    QPushButton* ButtonVaiAl = nullptr;
    QPushButton* ButtonChiudi = nullptr;

public slots:
    void ButtonPrimoClick();
    void ButtonPrecedenteClick();
    void ButtonSuccessivoClick();
    void ButtonUltimoClick();
    void ButtonVaiAlClick();
    void ButtonChiudiClick();

protected:
    explicit TRecordBrowser(QWidget* owner);

    // The memo for the current record; throws when the row cannot be shown.
    virtual void FillRecord() = 0;
    // Where the browser's failed commands come back to: the wait dialog goes, this browser is
    // in charge again with the same record, and the user reads text.
    void Recover(const std::string& text);

    // The read-only record text inside group; Escape in it acts as "&Chiudi". There are two
    // of them, one shown at a time, and shown always names the one on screen.
    void MakeRecordMemo(QGroupBox* group, const char* objectName, const char* accessibleName,
                        QPlainTextEdit*& shown);
    // Puts a record's lines on screen under name, in the record text not shown until now,
    // which then takes the focus (when the browser is on screen) from the other. A screen
    // reader keeps quiet about text replaced in the object it is reading; a new object taking
    // the focus it announces, with its first line.
    void ShowRecordText(const std::vector<std::string>& lines, const std::string& name);
    QPushButton* MakeButton(const char* caption);
    // The five moves and "&Chiudi", in their tab order, as one row.
    QHBoxLayout* MakeNavigation();

    void reject() override; // Escape: "&Chiudi"
    void changeEvent(QEvent* event) override;

    QPointer<QWidget> Owner;
    // The command the focus goes back to when a window this browser opened closes.
    TReturnCommand ReturnCommand;

private:
    QPlainTextEdit* Memos[2] = {nullptr, nullptr};
    QPlainTextEdit** Shown = nullptr;
};
