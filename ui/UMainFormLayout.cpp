// The main window: layout, enabling of commands, the busy guard, window events, the way back
// after a failure, and the link, exit, settings and About commands.
#include "ui/UMainForm.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTcpSocket>
#include <QTimer>

#include "platform/Desktop.h"
#include "platform/Text.h"
#include "ui/UFormAttendere.h"

namespace {
QPushButton* CommandButton(QWidget* parent, const char* caption, const char* name) {
    auto* button = new QPushButton(Q(caption), parent);
    button->setObjectName(name);
    button->setAccessibleName(Q(caption).remove('&'));
    button->setMinimumSize(113, 25);
    return button;
}
} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("MainForm");
    setWindowTitle(Q(ApplicationTitle));
    MainForm = this;

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(16, 8, 16, 8);
    grid->setHorizontalSpacing(39);
    ButtonAutore = CommandButton(central, "&Ricerca opere", "ButtonAutore");
    ButtonEMail = CommandButton(central, "Visualizza i &Centri", "ButtonEMail");
    ButtonSitoVek = CommandButton(central, "Vai al &sito dell'Vek", "ButtonSitoVek");
    ButtonEMailOrvo = CommandButton(central, "Scrivi al &Orvo", "ButtonEMailOrvo");
    ButtonOnLine = CommandButton(central, "", "ButtonOnLine");
    ButtonChiudi = CommandButton(central, "&Esci", "ButtonChiudi");
    grid->addWidget(ButtonAutore, 0, 0);
    grid->addWidget(ButtonEMail, 0, 1);
    grid->addWidget(ButtonSitoVek, 1, 0);
    grid->addWidget(ButtonEMailOrvo, 1, 1);
    grid->addWidget(ButtonOnLine, 2, 0);
    grid->addWidget(ButtonChiudi, 2, 1);
    // Keeps the grid in place while the online button is hidden.
    grid->setRowMinimumHeight(2, 25);
    setCentralWidget(central);
    setTabOrder(ButtonAutore, ButtonEMail);
    setTabOrder(ButtonEMail, ButtonSitoVek);
    setTabOrder(ButtonSitoVek, ButtonEMailOrvo);
    setTabOrder(ButtonEMailOrvo, ButtonOnLine);
    setTabOrder(ButtonOnLine, ButtonChiudi);

    MenuImpostazioni = menuBar()->addMenu(Q("Impostazioni"));
    MenuImpostazioni->setObjectName("MenuImpostazioni");
    ModificaMenu = MenuImpostazioni->addAction(Q("Modifica..."));
    RiconnettiMenu = MenuImpostazioni->addAction(Q("&Riconnetti"));
    RiconnettiMenu->setShortcut(QKeySequence(Qt::Key_F5));
    RiconnettiMenu->setEnabled(false);
    MenuInformazioni = MenuImpostazioni->addAction(Q("Informazioni su..."));
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, &TMainForm::OpenMenu);
    TEnterPressesButton::Install();

    TimerCheck = new QTimer(this);
    TimerCheck->setInterval(100);
    ConnectTimer = new QTimer(this);
    ConnectTimer->setSingleShot(true);
    ClientSocket = new QTcpSocket(this);

    connect(ButtonAutore, &QPushButton::clicked, this, &TMainForm::ButtonAutoreClick);
    connect(ButtonEMail, &QPushButton::clicked, this, &TMainForm::ButtonEMailClick);
    connect(ButtonSitoVek, &QPushButton::clicked, this, &TMainForm::ButtonSitoVekClick);
    connect(ButtonEMailOrvo, &QPushButton::clicked, this, &TMainForm::ButtonEMailOrvoClick);
    connect(ButtonOnLine, &QPushButton::clicked, this, &TMainForm::ButtonOnLineClick);
    connect(ButtonChiudi, &QPushButton::clicked, this, &TMainForm::ButtonChiudiClick);
    connect(ModificaMenu, &QAction::triggered, this, &TMainForm::MenuModificaClick);
    connect(RiconnettiMenu, &QAction::triggered, this, &TMainForm::MenuRiconnettiClick);
    connect(MenuInformazioni, &QAction::triggered, this, &TMainForm::MenuInformazioniClick);
    connect(TimerCheck, &QTimer::timeout, this, &TMainForm::TimerCheckTimer);
    connect(ConnectTimer, &QTimer::timeout, this, &TMainForm::ConnectTimeoutExpired);
    connect(ClientSocket, &QTcpSocket::connected, this, &TMainForm::ClientSocketConnect);
    connect(ClientSocket, &QTcpSocket::disconnected, this, &TMainForm::ClientSocketDisconnect);
    connect(ClientSocket, &QTcpSocket::readyRead, this, &TMainForm::ClientSocketRead);
    connect(ClientSocket, &QTcpSocket::errorOccurred, this, &TMainForm::OnSocketError);

    // Every button as wide as the widest caption, the online one included (it gets its
    // caption only once the server supplies the link).
    ButtonOnLine->setText(Q("Registrazione in linea"));
    int width = 113;
    for (QPushButton* button :
         {ButtonAutore, ButtonEMail, ButtonSitoVek, ButtonEMailOrvo, ButtonOnLine, ButtonChiudi}) {
        width = std::max(width, button->sizeHint().width());
    }
    for (QPushButton* button :
         {ButtonAutore, ButtonEMail, ButtonSitoVek, ButtonEMailOrvo, ButtonOnLine, ButtonChiudi}) {
        button->setMinimumWidth(width);
    }
    ButtonOnLine->setText(QString());
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    FormCreate();
}

TMainForm::~TMainForm() {
    // Nothing may reach this window's handlers while it goes away.
    ClientSocket->disconnect(this);
    TimerCheck->stop();
    ConnectTimer->stop();
    if (ActiveSocket == ClientSocket) {
        ActiveSocket = nullptr;
    }
    if (MainForm == this) {
        MainForm = nullptr;
        FormCentri = nullptr;
        FormRicercaUtente = nullptr;
        FormAttendere = nullptr;
        ReplyHandler.Clear();
    }
}

void TMainForm::EnableCommands(bool Connected) {
    ButtonAutore->setEnabled(Connected);
    ButtonEMail->setEnabled(Connected);
    if (Connected) {
        TimerCheck->start();
    } else {
        TimerCheck->stop();
    }
}

void TMainForm::StartBusyCheck() {
    TimerCheck->start();
}

void TMainForm::StopBusyCheck() {
    TimerCheck->stop();
}

void TMainForm::FocusCommand(QWidget* command) {
    ReturnCommand.Set(this, command);
}

void TMainForm::OpenMenu() {
    if (Idle && !Terminating) {
        menuBar()->setActiveAction(MenuImpostazioni->menuAction());
    }
}

bool TMainForm::BusyGuard() {
    if (Idle) {
        return false;
    }
    HideWhileBusy();
    return true;
}

void TMainForm::HideWhileBusy() {
    try {
        hide();
        QCoreApplication::processEvents();
    } catch (...) {
        // Staying visible is harmless: the next tick of TimerCheck hides the window again.
    }
}

void TMainForm::TimerCheckTimer() {
    if (!Idle && isVisible()) {
        HideWhileBusy();
    }
}

void TMainForm::ReturnToIdle() {
    Idle = true;
    show();
}

void TMainForm::Recover(const std::string& text) {
    ReplyHandler.Clear();
    HideWait();
    try {
        ShowError(text);
    } catch (...) {
        // Unable to say why, the user still gets the main window back.
    }
    ReturnToIdle();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TMainForm::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    if (!event->spontaneous()) {
        FormHide();
    }
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void TMainForm::FormShow() {
    // The setting may have changed since the window was made: a maximised window must be free
    // to fill the screen, a normal one is small and of fixed size.
    if (SessionSettings.BlindFriendly) {
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    RestoreForm(this);
    if (!SessionSettings.BlindFriendly) {
        setFixedSize(sizeHint());
    }
    if (Idle) {
        try {
            RecoverMemory();
        } catch (...) {
            // A show event must not throw into Qt's loop; the flag is down, so it is not retried.
        }
    }
}

void TMainForm::FormHide() {
    MinimizeForm(this);
}

void TMainForm::FormActivate() {
    if (FormAttendere != nullptr && FormAttendere->isVisible()) {
        FormAttendere->raise();
        FormAttendere->activateWindow();
        return;
    }
    ReturnCommand.WindowActivated();
}

void TMainForm::OpenLink(TLinkLabel& link) {
    if (BusyGuard()) {
        return;
    }
    try {
        FeedbackBeep();
        ClickLinkLabel(link);
    } catch (...) {
        // A failed shell open is silent: the link stops jumping and the window stays as it is.
    }
}

void TMainForm::ButtonSitoVekClick() {
    OpenLink(LMDSimpleLabelSito);
}

void TMainForm::ButtonEMailOrvoClick() {
    OpenLink(LMDSimpleLabelMail);
}

void TMainForm::ButtonOnLineClick() {
    OpenLink(LMDSimpleLabelOnLine);
}

void TMainForm::ButtonChiudiClick() {
    if (BusyGuard() || Terminating) {
        return;
    }
    ReplyHandler.Clear();
    close();
}

void TMainForm::MenuModificaClick() {
    if (!Idle && TimerCheck->isActive()) {
        HideWhileBusy();
        return;
    }
    try {
        ShowSettingsDialog(0, this);
    } catch (const std::exception& e) {
        // The dialog could not be made: nothing changed, the main window stays as it was.
        ShowError(e.what());
    }
}

void TMainForm::MenuRiconnettiClick() {
    if (Terminating || Connecting || ActiveSocket != nullptr || BusyGuard()) {
        return;
    }
    try {
        FeedbackBeep();
        // The attempt goes where the settings now say, a permanent redirect included.
        SessionSettings.Address = StoredSettings.Address;
        SessionSettings.RemotePort = StoredSettings.RemotePort;
        SessionSettings.Service = StoredSettings.Service;
        StartConnection();
    } catch (const std::exception& e) {
        // The attempt could not even start: said, and F5 stays at hand.
        FailAttempt(e.what());
    } catch (...) {
        // As above, with nothing to say: Qt's loop must not see it.
        FailAttempt("Errore durante la connessione.");
    }
}

void TMainForm::OfferReconnect() {
    if (Terminating || Connecting || ActiveSocket != nullptr || !Idle || !isVisible()) {
        return;
    }
    try {
        if (TheDesktop().MessageBox("Connettersi al server con le nuove impostazioni?",
                                    "Impostazioni", MsgIcon::Information,
                                    MsgButtons::YesNo) == MsgAnswer::Yes) {
            MenuRiconnettiClick();
        }
    } catch (...) {
        // A question that cannot be asked changes nothing: F5 is still there.
    }
}

void TMainForm::UpdateReconnect() {
    RiconnettiMenu->setEnabled(!Terminating && !Connecting && ActiveSocket == nullptr);
}

void TMainForm::FocusFirstCommand() {
    // Another window in charge keeps the keyboard; so does a hidden main window.
    if (!isVisible() || QApplication::activeModalWidget() != nullptr) {
        return;
    }
    for (QPushButton* button :
         {ButtonAutore, ButtonEMail, ButtonSitoVek, ButtonEMailOrvo, ButtonOnLine, ButtonChiudi}) {
        if (button->isEnabled() && button->isVisibleTo(this)) {
            // Given at once if the window is active, else when it becomes so: the login can be
            // accepted before or after the window system activates the window.
            FocusCommand(button);
            break;
        }
    }
    if (!isActiveWindow()) {
        raise();
        activateWindow();
    }
}

void TMainForm::MenuInformazioniClick() {
    try {
        TheDesktop().MessageBox(
            AboutText(ProgramVersion, ActiveSocket != nullptr, ServerName, ServerVersion),
            "Informazioni su...", MsgIcon::Information);
    } catch (...) {
        // An About box that cannot be shown changes nothing: there is nothing to restore.
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    // Destroyed once control is back in the message loop: a nested loop of ours may be running.
    deleteLater();
}
