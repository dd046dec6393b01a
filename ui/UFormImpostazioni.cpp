#include "ui/UFormImpostazioni.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/ConnectionMessages.h"
#include "core/OrvoError.h"
#include "core/UOrvoCCommon.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "ui/UMainForm.h"

namespace {
QLineEdit* LabelledEdit(QFormLayout* form, const char* caption, const char* name, int maxLength) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    RestrictToCp1252(edit, maxLength);
    auto* label = new QLabel(Q(caption));
    label->setBuddy(edit);
    edit->setAccessibleName(Q(caption).remove('&').remove(':'));
    form->addRow(label, edit);
    return edit;
}
} // namespace

TFormImpostazioni::TFormImpostazioni(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("FormImpostazioni");
    setWindowTitle(Q("Impostazioni..."));
    resize(330, 234);

    // The upper group comes second in the tab order.
    GroupBox2 = new QGroupBox(Q("Informazioni generiche"), this);
    auto* form2 = new QFormLayout(GroupBox2);
    EditUserId = LabelledEdit(form2, "Nome utente:", "EditUserId", 64);
    EditUserId->setEnabled(false);
    EditPassword = new QLineEdit(GroupBox2);
    EditPassword->setObjectName("EditPassword");
    RestrictToCp1252(EditPassword, 32);
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setEnabled(false);
    EditPassword->setAccessibleName(Q("Password"));
    LabelPassword = new QLabel(GroupBox2);
    LabelPassword->setBuddy(EditPassword);
    form2->addRow(LabelPassword, EditPassword);
    EditPassword->hide();
    LabelPassword->hide();
    CBBlindFriendly =
        new QCheckBox(Q("Visualizzazione adatta per programmi di videolettura"), GroupBox2);
    CBBlindFriendly->setAccessibleName(CBBlindFriendly->text());
    form2->addRow(CBBlindFriendly);

    GroupBox1 = new QGroupBox(Q("E' SCONSIGLIATO modificare questa sezione!"), this);
    auto* box1 = new QVBoxLayout(GroupBox1);
    auto* form1 = new QFormLayout;
    box1->addLayout(form1);
    EditAddress = LabelledEdit(form1, "Indirizzo del server:", "EditAddress", 255);
    EditRemotePort = LabelledEdit(form1, "Porta remota:", "EditRemotePort", 5);
    EditService = LabelledEdit(form1, "Servizio remoto (se gestito):", "EditService", 255);
    ButtonOk = new QPushButton(Q("&Ok"), GroupBox1);
    ButtonOk->setAccessibleName(Q("Ok"));
    ButtonAnnulla = new QPushButton(Q("&Annulla"), GroupBox1);
    ButtonAnnulla->setAccessibleName(Q("Annulla"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonAnnulla);
    box1->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox2);
    layout->addWidget(GroupBox1);

    setTabOrder(EditAddress, EditRemotePort);
    setTabOrder(EditRemotePort, EditService);
    setTabOrder(EditService, ButtonOk);
    setTabOrder(ButtonOk, ButtonAnnulla);
    setTabOrder(ButtonAnnulla, EditUserId);
    setTabOrder(EditUserId, EditPassword);
    setTabOrder(EditPassword, CBBlindFriendly);

    connect(ButtonOk, &QPushButton::clicked, this, &TFormImpostazioni::ButtonOkClick);
    connect(ButtonAnnulla, &QPushButton::clicked, this, &TFormImpostazioni::ButtonAnnullaClick);

    // FormCreate
    OkPressed = false;
    Cancelled = false;
    MaximizeIfBlindFriendly(this);
}

bool TFormImpostazioni::Execute(int mode) {
    Idle = false;
    if (MainForm != nullptr) {
        MainForm->StartBusyCheck();
    }
    Settings = StoredSettings;
    CBBlindFriendly->setChecked(Settings.BlindFriendly);
    EditAddress->setText(Q(Settings.Address));
    EditService->setText(Q(Settings.Service));
    EditRemotePort->setText(QString::number(Settings.RemotePort));
    EditUserId->setText(Q(Settings.UserId));
    EditPassword->setText(Q(Settings.Password));
    EditAddress->setFocus();
    if (mode != 0) {
        // A modal dialog is destroyed here, once its loop is over, never under it.
        Modal = true;
        exec();
        bool cancelled = Cancelled;
        deleteLater();
        return cancelled;
    }
    show();
    raise();
    activateWindow();
    return Cancelled;
}

void TFormImpostazioni::ButtonOkClick() {
    OkPressed = true;
    close();
}

void TFormImpostazioni::ButtonAnnullaClick() {
    OkPressed = false;
    close();
}

void TFormImpostazioni::reject() {
    ButtonAnnullaClick();
}

void TFormImpostazioni::closeEvent(QCloseEvent* event) {
    if (OkPressed) {
        if (!AcceptEntries()) {
            event->ignore();
            return;
        }
    } else {
        Cancelled = true;
    }
    FinishClose();
    event->accept();
    if (!Modal) {
        if (OkPressed && EndpointChanged && MainForm != nullptr) {
            // Asked once this dialog is gone and the main window is back in charge.
            QTimer::singleShot(0, MainForm, [] {
                if (MainForm != nullptr) {
                    MainForm->OfferReconnect();
                }
            });
        }
        deleteLater();
    }
}

bool TFormImpostazioni::AcceptEntries() {
    try {
        std::string address = TrimControl(W(EditAddress->text()));
        std::string service = TrimControl(W(EditService->text()));
        std::string portText = W(EditRemotePort->text());
        std::optional<long long> port = StrToIntOpt(portText);
        if (!port) {
            throw EOrvoError(InvalidIntegerText(portText));
        }
        std::string userId = TrimControl(W(EditUserId->text()));
        bool blindFriendly = CBBlindFriendly->isChecked();

        std::string message;
        if (*port < 1 || *port > 65535) {
            message = "La porta remota deve essere compresa\r\n tra 1 e 65535.";
        }
        if (address.empty()) {
            message = "Impostare l'indirizzo del server";
        }
        if (!message.empty()) {
            throw EOrvoError(message);
        }

        bool endpointChanged =
            !SameEndpoint(Settings, address, static_cast<uint32_t>(*port), service);
        Settings.Address = address;
        Settings.BlindFriendly = blindFriendly;
        Settings.RemotePort = static_cast<uint32_t>(*port);
        Settings.Service = service;
        Settings.UserId = userId;
        Settings.Password.clear();
        if (SaveSettings(Settings) != 0) {
            throw EOrvoError("Errore nella scrittura su registro");
        }
        StoredSettings = Settings;
        SessionSettings = Settings;
        EndpointChanged = endpointChanged;
        TheDesktop().MessageBox("Eventuali modifiche avranno effetto solo\r\nalla prossima "
                                "connessione.",
                                "Attenzione...", MsgIcon::Warning);
        return true;
    } catch (const std::exception& e) {
        // Entries refused or not saved: the dialog stays open with them for correction.
        OkPressed = false;
        ShowError(e.what());
        return false;
    }
}

void TFormImpostazioni::FinishClose() {
    if (MainForm != nullptr) {
        MainForm->StopBusyCheck();
    }
    QCoreApplication::processEvents();
    if (MainForm != nullptr) {
        MainForm->show();
        // The keyboard focus goes back where the user came from.
        MainForm->raise();
        MainForm->activateWindow();
    }
    Idle = true;
}
