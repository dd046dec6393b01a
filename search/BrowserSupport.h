#pragma once
// What the two record browsers and the search dialog share: the go-to prompt, the Escape key of
// the record memos, accessible names, and memo text.

#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class QWidget;

// Sets the widget's accessible name (Windows-1252 text, "&" mnemonics removed).
void SetAccessibleName(QWidget* widget, const std::string& name);

// Asks for a record number between 1 and rowCount with the caption "Immissione parametro":
// through TFormInput in blind-friendly mode, the desktop's input box otherwise. Shows the
// messages for a wrong answer. 0 when there is nowhere to go.
int AskRecordNumber(QWidget* owner, int rowCount);

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
