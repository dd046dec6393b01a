#include "search/BrowserSupport.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QVBoxLayout>

#include "core/RecordText.h"
#include "core/UOrvoCCommon.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "ui/UFormAttendere.h"
#include "ui/UFormInput.h"
#include "ui/UOrvoCCommonWin.h"

void SetAccessibleName(QWidget* widget, const std::string& name) {
    QString text = Q(name);
    text.remove(QLatin1Char('&'));
    widget->setAccessibleName(text);
}

int AskRecordNumber(QWidget* owner, int rowCount) {
    const std::string caption = "Immissione parametro";
    const std::string prompt = "Immettere il numero del record sul quale posizionarsi:";
    std::string answer;
    if (SessionSettings.BlindFriendly) {
        // A window of its own for one question, so a screen reader announces the prompt.
        try {
            TFormInput input(owner);
            input.Execute(caption, prompt, "", 32, '\0', answer);
        } catch (...) {
            // No prompt, no answer: the browser stays on its record.
            answer.clear();
        }
    } else {
        answer = TheDesktop().InputBox(caption, prompt, "");
    }
    int number = 0;
    switch (CheckRecordNumber(answer, rowCount, number)) {
    case RecordNumberCheck::Nothing:
        return 0;
    case RecordNumberCheck::NotANumber:
        TheDesktop().MessageBox("Il valore immesso non \xE8 un numero valido.", "Errore",
                                MsgIcon::Error);
        return 0;
    case RecordNumberCheck::OutOfRange:
        TheDesktop().MessageBox("Valore oltre i limiti.", "Errore", MsgIcon::Error);
        return 0;
    case RecordNumberCheck::Valid:
        break;
    }
    return number;
}

void SetTitleWithinScreen(QGroupBox* group, const std::string& title) {
    const QScreen* screen = group->screen();
    // Half the screen leaves room for the frame, the margins and the group's own border.
    const int room = screen != nullptr ? screen->availableGeometry().width() / 2 : 400;
    group->setTitle(QFontMetrics(group->font()).elidedText(Q(title), Qt::ElideRight, room));
}

void SetMemoLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
    memo->setPlainText(Q(JoinLines(lines)));
    memo->moveCursor(QTextCursor::Start);
}

namespace {

class EnterKeyFilter : public QObject {
public:
    explicit EnterKeyFilter(QPushButton* button) : QObject(button), button(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                if (button->isEnabled()) {
                    button->click();
                }
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPushButton* button;
};

} // namespace

void ClickOnEnter(QPushButton* button) {
    button->installEventFilter(new EnterKeyFilter(button));
}

EscapeKeyFilter::EscapeKeyFilter(QObject* parent, std::function<void()> onEscape)
    : QObject(parent), onEscape(std::move(onEscape)) {}

bool EscapeKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        onEscape();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

TRecordBrowser::TRecordBrowser(QWidget* owner) : QDialog(owner) {}

void TRecordBrowser::Open(const std::string& caption, QWidget* owner) {
    setWindowTitle(Q(caption));
    Record = 1;
    Owner = owner;
    show();
    ShowRecord();
}

void TRecordBrowser::ShowRecord() {
    try {
        FillRecord();
    } catch (...) {
        // A row the memo cannot show (a column missing): the owner is better than a half record.
        ShowError("Errore interno imprevisto.");
        close();
    }
}

void TRecordBrowser::Recover(const std::string& text) {
    HideWait();
    show();
    try {
        ShowError(text);
    } catch (...) {
        // The browser is back in any case; only the explanation is lost.
    }
}

void TRecordBrowser::MakeRecordMemo(QGroupBox* group, const char* objectName,
                                    const char* accessibleName, QPlainTextEdit*& shown) {
    auto* groupLayout = new QVBoxLayout(group);
    for (QPlainTextEdit*& memo : Memos) {
        memo = new QPlainTextEdit(group);
        memo->setObjectName(objectName);
        memo->setReadOnly(true);
        memo->setFrameShape(QFrame::NoFrame);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Read-only text keeps a caret, so a screen reader can read it line by line.
        memo->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        memo->installEventFilter(new EscapeKeyFilter(this, [this] { ButtonChiudiClick(); }));
        SetAccessibleName(memo, accessibleName);
        groupLayout->addWidget(memo);
    }
    // The two take turns at the same place in the tab order.
    setTabOrder(Memos[0], Memos[1]);
    Memos[1]->hide();
    Shown = &shown;
    shown = Memos[0];
}

void TRecordBrowser::ShowRecordText(const std::vector<std::string>& lines,
                                    const std::string& name) {
    QPlainTextEdit* old = *Shown;
    QPlainTextEdit* next = old == Memos[0] ? Memos[1] : Memos[0];
    next->show();
    *Shown = next;
    // The focus moves before the text and the name change: a screen reader that handles a
    // change in the focused object before its focus event takes it as already announced.
    if (isVisible()) {
        next->setFocus(Qt::OtherFocusReason);
    }
    // Hidden only once the other has the focus, which would otherwise pass to a button.
    old->hide();
    old->clear();
    SetMemoLines(next, lines);
    SetAccessibleName(next, name);
}

QPushButton* TRecordBrowser::MakeButton(const char* caption) {
    auto* b = new QPushButton(Q(caption), this);
    b->setAutoDefault(false);
    ClickOnEnter(b);
    SetAccessibleName(b, caption);
    return b;
}

QHBoxLayout* TRecordBrowser::MakeNavigation() {
    ButtonPrimo = MakeButton("P&rimo");
    ButtonPrecedente = MakeButton("&Precedente");
    ButtonSuccessivo = MakeButton("&Successivo");
    ButtonUltimo = MakeButton("&Ultimo");
    ButtonVaiAl = MakeButton("&Vai al...");
    // Created in the tab order, which the screen reader follows; laid out in the same order.
    ButtonChiudi = MakeButton("&Chiudi");

    auto* moves = new QHBoxLayout;
    for (QPushButton* b :
         {ButtonPrimo, ButtonPrecedente, ButtonSuccessivo, ButtonUltimo, ButtonVaiAl}) {
        moves->addWidget(b);
    }
    moves->addStretch();
    moves->addWidget(ButtonChiudi);

    connect(ButtonPrimo, &QPushButton::clicked, this, &TRecordBrowser::ButtonPrimoClick);
    connect(ButtonPrecedente, &QPushButton::clicked, this, &TRecordBrowser::ButtonPrecedenteClick);
    connect(ButtonSuccessivo, &QPushButton::clicked, this, &TRecordBrowser::ButtonSuccessivoClick);
    connect(ButtonUltimo, &QPushButton::clicked, this, &TRecordBrowser::ButtonUltimoClick);
    connect(ButtonVaiAl, &QPushButton::clicked, this, &TRecordBrowser::ButtonVaiAlClick);
    connect(ButtonChiudi, &QPushButton::clicked, this, &TRecordBrowser::ButtonChiudiClick);
    return moves;
}

void TRecordBrowser::ButtonPrimoClick() {
    Record = 1;
    ShowRecord();
}

void TRecordBrowser::ButtonPrecedenteClick() {
    if (Record < 2) {
        FeedbackBeep();
        return;
    }
    --Record;
    ShowRecord();
}

void TRecordBrowser::ButtonSuccessivoClick() {
    if (Record >= Table.RowCount()) {
        FeedbackBeep();
        return;
    }
    ++Record;
    ShowRecord();
}

void TRecordBrowser::ButtonUltimoClick() {
    Record = Table.RowCount();
    ShowRecord();
}

void TRecordBrowser::ButtonVaiAlClick() {
    try {
        if (int n = AskRecordNumber(this, Table.RowCount()); n > 0) {
            Record = n;
            ShowRecord();
        }
    } catch (...) {
        // A prompt that could not be asked leaves the browser on its record.
    }
}

void TRecordBrowser::ButtonChiudiClick() {
    close();
}

void TRecordBrowser::reject() {
    ButtonChiudiClick();
}

void TRecordBrowser::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        ReturnCommand.WindowActivated();
    }
}
