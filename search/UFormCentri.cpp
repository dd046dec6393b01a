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

TFormCentri::TFormCentri(QWidget* owner) : TRecordBrowser(owner) {
    setObjectName("FormCentri");
    setWindowTitle(Q("Elenco centri"));
    setSizeGripEnabled(true);
    resize(560, 380);

    GroupBox = new QGroupBox(this);
    MakeRecordMemo(GroupBox, "MemoCentro", "Centro", MemoCentro);
    QHBoxLayout* moves = MakeNavigation();
    ButtonEMail = MakeButton("Scrivi a questo centro");
    ButtonEMail->setEnabled(false);
    LMDEmail.Enabled = false;

    auto* commands = new QHBoxLayout;
    commands->addWidget(ButtonEMail);
    commands->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox, 1);
    layout->addLayout(moves);
    layout->addLayout(commands);

    connect(ButtonEMail, &QPushButton::clicked, this, &TFormCentri::ButtonEMailClick);

    MaximizeIfBlindFriendly(this);
}

TFormCentri::~TFormCentri() = default;

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

void TFormCentri::FillRecord() {
    if (Record == 0) {
        ShowRecordText({}, "Nessuna opera trovata");
        GroupBox->setTitle(Q("Nessuna opera trovata"));
        SetEMail("");
        return;
    }
    CentreRecord r = CentreRecordText(Table, Record);
    ShowRecordText(r.Lines, r.GroupTitle);
    SetTitleWithinScreen(GroupBox, r.GroupTitle);
    SetEMail(r.EMail);
}

void TFormCentri::ButtonEMailClick() {
    try {
        if (Work && LMDEmail.Jumps && Record > 0) {
            const std::optional<std::string> uri =
                WorkRequestUri(TrimControl(Table.GetField("EMail", Record)), *Work);
            if (uri) {
                if (!TheDesktop().OpenUrl(*uri)) {
                    LMDEmail.Jumps = false;
                }
                return;
            }
            // An address that cannot carry the request gets today's blank e-mail, made safe.
        }
        ClickLinkLabel(LMDEmail);
    } catch (...) {
        // A failed shell open is silent: the link stops jumping and the window stays as it is.
    }
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
        Work.reset();
        if (owner != nullptr) {
            owner->show();
        }
    } catch (...) {
        // The window closes whatever failed: keeping it open would trap the user in it.
    }
    event->accept();
    FeedbackBeep();
}
