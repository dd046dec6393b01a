#include "search/UFormCentri.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/RecordText.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "search/BrowserSupport.h"
#include "ui/UMainForm.h"

namespace {

QPushButton* MakeButton(QWidget* parent, const char* caption) {
    auto* b = new QPushButton(Q(caption), parent);
    b->setAutoDefault(false);
    ClickOnEnter(b);
    SetAccessibleName(b, caption);
    return b;
}

} // namespace

TFormCentri::TFormCentri(QWidget* owner) : QDialog(owner) {
    setObjectName("FormCentri");
    setWindowTitle(Q("Elenco centri"));
    setSizeGripEnabled(true);
    resize(560, 380);

    GroupBox = new QGroupBox(this);
    MemoCentro = new QPlainTextEdit(GroupBox);
    MemoCentro->setObjectName("MemoCentro");
    MemoCentro->setReadOnly(true);
    MemoCentro->setFrameShape(QFrame::NoFrame);
    MemoCentro->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MemoCentro->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Read-only text keeps a caret, so a screen reader can read it line by line.
    MemoCentro->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    MemoCentro->installEventFilter(new EscapeKeyFilter(this, [this] { MemoCentroKeyPress(); }));
    SetAccessibleName(MemoCentro, "Centro");
    auto* groupLayout = new QVBoxLayout(GroupBox);
    groupLayout->addWidget(MemoCentro);

    ButtonPrimo = MakeButton(this, "P&rimo");
    ButtonPrecedente = MakeButton(this, "&Precedente");
    ButtonSuccessivo = MakeButton(this, "&Successivo");
    ButtonUltimo = MakeButton(this, "&Ultimo");
    ButtonVaiAl = MakeButton(this, "&Vai al...");
    // Created in the tab order, which the screen reader follows; laid out in the same order.
    ButtonChiudi = MakeButton(this, "&Chiudi");
    ButtonEMail = MakeButton(this, "Scrivi a questo centro");
    ButtonEMail->setEnabled(false);
    LMDEmail.Enabled = false;

    auto* moves = new QHBoxLayout;
    for (QPushButton* b :
         {ButtonPrimo, ButtonPrecedente, ButtonSuccessivo, ButtonUltimo, ButtonVaiAl}) {
        moves->addWidget(b);
    }
    moves->addStretch();
    moves->addWidget(ButtonChiudi);
    auto* commands = new QHBoxLayout;
    commands->addWidget(ButtonEMail);
    commands->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox, 1);
    layout->addLayout(moves);
    layout->addLayout(commands);

    connect(ButtonPrimo, &QPushButton::clicked, this, &TFormCentri::ButtonPrimoClick);
    connect(ButtonPrecedente, &QPushButton::clicked, this, &TFormCentri::ButtonPrecedenteClick);
    connect(ButtonSuccessivo, &QPushButton::clicked, this, &TFormCentri::ButtonSuccessivoClick);
    connect(ButtonUltimo, &QPushButton::clicked, this, &TFormCentri::ButtonUltimoClick);
    connect(ButtonVaiAl, &QPushButton::clicked, this, &TFormCentri::ButtonVaiAlClick);
    connect(ButtonChiudi, &QPushButton::clicked, this, &TFormCentri::ButtonChiudiClick);
    connect(ButtonEMail, &QPushButton::clicked, this, &TFormCentri::ButtonEMailClick);

    MaximizeIfBlindFriendly(this);
}

TFormCentri::~TFormCentri() = default;

void TFormCentri::Open(const std::string& caption, QWidget* owner) {
    setWindowTitle(Q(caption));
    Record = 1;
    Owner = owner;
    show();
    ShowRecord();
}

void TFormCentri::SetEMail(const std::string& address) {
    if (!address.empty()) {
        LMDEmail.SetTarget("mailto:" + address);
        LMDEmail.Enabled = true;
        ButtonEMail->setEnabled(true);
    } else {
        LMDEmail.SetTarget("");
        LMDEmail.Enabled = false;
        ButtonEMail->setEnabled(false);
    }
}

void TFormCentri::ShowRecord() {
    try {
        MemoCentro->clear();
        if (Record == 0) {
            GroupBox->setTitle(Q("Nessuna opera trovata"));
            SetAccessibleName(MemoCentro, "Nessuna opera trovata");
            SetEMail("");
            return;
        }
        CentreRecord r = CentreRecordText(Table, Record);
        GroupBox->setTitle(Q(r.GroupTitle));
        SetAccessibleName(MemoCentro, r.GroupTitle);
        SetMemoLines(MemoCentro, r.Lines);
        SetEMail(r.EMail);
        if (isVisible()) {
            MemoCentro->setFocus();
        }
    } catch (...) {
        TheDesktop().MessageBox("Errore interno imprevisto.", "Errore", MsgIcon::Error);
        close();
    }
}

void TFormCentri::ButtonPrimoClick() {
    Record = 1;
    ShowRecord();
}

void TFormCentri::ButtonPrecedenteClick() {
    if (Record < 2) {
        FeedbackBeep();
        return;
    }
    --Record;
    ShowRecord();
}

void TFormCentri::ButtonSuccessivoClick() {
    if (Record >= Table.RowCount()) {
        FeedbackBeep();
        return;
    }
    ++Record;
    ShowRecord();
}

void TFormCentri::ButtonUltimoClick() {
    Record = Table.RowCount();
    ShowRecord();
}

void TFormCentri::ButtonVaiAlClick() {
    try {
        if (int n = AskRecordNumber(this, Table.RowCount()); n > 0) {
            Record = n;
            ShowRecord();
        }
    } catch (...) {
    }
}

void TFormCentri::ButtonChiudiClick() {
    close();
}

void TFormCentri::MemoCentroKeyPress() {
    ButtonChiudiClick();
}

void TFormCentri::ButtonEMailClick() {
    try {
        ClickLinkLabel(LMDEmail);
    } catch (...) {
    }
}

void TFormCentri::reject() {
    ButtonChiudiClick();
}

void TFormCentri::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RestoreForm(this);
}

void TFormCentri::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    MinimizeForm(this);
}

void TFormCentri::closeEvent(QCloseEvent* event) {
    try {
        QPointer<QWidget> owner = Owner;
        if (owner != nullptr && owner == static_cast<QWidget*>(MainForm)) {
            Idle = true;
        }
        Owner = nullptr;
        if (owner != nullptr) {
            owner->show();
        }
    } catch (...) {
    }
    event->accept();
    FeedbackBeep();
}
