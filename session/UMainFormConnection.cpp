// The main window's connection: creation and the socket, its events, the handshake and the
// disconnect at close.
#include <QHostAddress>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include "core/ConnectionMessages.h"
#include "core/OrvoError.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "ui/UFormAttendere.h"
#include "ui/UMainForm.h"

namespace {
long long ToInteger(const std::string& text) {
    std::optional<long long> value = StrToIntOpt(text);
    if (!value) {
        throw EOrvoError(InvalidIntegerText(text));
    }
    return *value;
}
} // namespace

// --- creation and the socket ----------------------------------------------------------------

void TMainForm::FormCreate() {
    Idle = true;
    MemoryRecoveryPending = false;
    BytesReceived = 0;

    ClearLinks();

    EnableCommands(false);

    Results = std::make_unique<CMatrix>();
    ActiveSocket = nullptr;
    RequestPending = false;
    AbortPending = false;

    try {
        InitSession(this);
        MaximizeIfBlindFriendly(this);
        if (!SessionSettings.BlindFriendly) {
            // A small window of fixed size; maximised windows must stay resizable.
            setFixedSize(sizeHint());
        }
        StartConnection();
    } catch (const std::exception& e) {
        // No session without settings: the user may correct them for the next start.
        ShowError(e.what());
        ShowSettingsDialog(1, this);
        TerminateApplication();
    }
}

void TMainForm::StartConnection() {
    ForgetConnection();
    Redirects.Reset();
    Connecting = true;
    UpdateReconnect();
    // Every attempt starts from the settings: a redirect of an earlier attempt no longer holds.
    SocketHost.clear();
    SocketAddress = SessionSettings.Address;
    SocketPort = static_cast<uint16_t>(SessionSettings.RemotePort);
    SocketService = TrimControl(SessionSettings.Service);
    OpenSocket();
    FormAttendere->SetText("Ricerca del server in corso...");
    FormAttendere->ShowModeless();
    FormAttendere->AllowCancel(false);
}

void TMainForm::ForgetConnection() {
    CloseSocket();
    if (ActiveSocket == ClientSocket) {
        ActiveSocket = nullptr;
    }
    // A handler further up the stack may still hold the last reply: it is retired, not freed.
    ReplaceLastReply(nullptr);
    RequestPending = false;
    AbortPending = false;
    BytesReceived = 0;
    EnableCommands(false);

    ForgetServer();
    ClearLinks();
}

void TMainForm::ClearLinks() {
    for (TLinkLabel* label : {&LMDSimpleLabelOnLine, &LMDSimpleLabelSito, &LMDSimpleLabelMail}) {
        label->SetTarget("");
        label->Hint.clear();
        label->ShowHint = false;
    }
    ButtonSitoVek->setEnabled(false);
    ButtonEMailOrvo->setEnabled(false);
    ButtonOnLine->setText(QString());
    ButtonOnLine->setAccessibleName(QString());
    ButtonOnLine->hide();
    ButtonOnLine->setEnabled(false);
}

void TMainForm::FailAttempt(const std::string& text, const std::string& title) {
    ForgetConnection();
    Connecting = false;
    ReplyHandler.Clear();
    if (FormAttendere != nullptr) {
        // Ends a modal showing too: nothing is left waiting for this attempt.
        FormAttendere->CloseDialog();
    }
    Idle = true;
    UpdateReconnect();
    if (!text.empty()) {
        ShowError(text, title);
    }
}

void TMainForm::CompleteAcceptance() {
    Connecting = false;
    ConnectTimer->stop();
    EnableCommands(true);
    if (FormAttendere != nullptr) {
        FormAttendere->CloseDialog();
    }
    Idle = true;
    TimerCheck->start();
    UpdateReconnect();
    SendReceived();
    FocusFirstCommand();
}

void TMainForm::OpenSocket() {
    CloseSocket();
    unsigned generation = ++SocketGeneration;

    int port = SocketPort;
    if (!SocketService.empty()) {
        port = ServicePort(SocketService);
    }
    QHostAddress numeric;
    bool usable = port != 0;
    if (SocketHost.empty()) {
        usable = usable && numeric.setAddress(Q(SocketAddress)) &&
                 numeric.protocol() == QAbstractSocket::IPv4Protocol;
    }
    if (!usable) {
        // Reported as the platform would: as an error event, once control is back in the loop.
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == SocketGeneration) {
                DeliverSocketError(10049);
            }
        });
        return;
    }
    ConnectTimer->start(ConnectTimeout);
    if (!SocketHost.empty()) {
        ClientSocket->connectToHost(Q(SocketHost), static_cast<quint16>(port));
    } else {
        ClientSocket->connectToHost(numeric, static_cast<quint16>(port));
    }
}

void TMainForm::CloseSocket() {
    ++SocketGeneration;
    ConnectTimer->stop();
    ClosingSocket = true;
    // Bytes of a connection that is being closed belong to nobody: a later connection must
    // not see them, and no further message of this one may be acted on.
    ReceiveBuffer.clear();
    ReadPos = 0;
    ScanPos = 0;
    try {
        if (ClientSocket->state() == QAbstractSocket::ConnectedState) {
            // Whatever the system takes now is sent; a close must not wait for the rest, so
            // that the disconnect handling runs inside this call.
            ClientSocket->flush();
            if (ClientSocket->bytesToWrite() > 0) {
                ClientSocket->abort();
            } else {
                ClientSocket->close();
            }
        } else if (ClientSocket->state() != QAbstractSocket::UnconnectedState) {
            ClientSocket->abort();
        }
    } catch (...) {
        // A close that fails has nothing left to undo: the buffer is already given up.
    }
    ClosingSocket = false;
}

void TMainForm::WriteText(QTcpSocket* socket, const std::string& text) {
    if (socket == nullptr) {
        return;
    }
    socket->write(text.data(), static_cast<qint64>(text.size()));
    socket->flush();
}

void TMainForm::OnSocketError(QAbstractSocket::SocketError error) {
    // A peer that closes is a disconnect, which Qt reports separately.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        return;
    }
    ConnectTimer->stop();
    DeliverSocketError(SocketErrorCode(error));
}

void TMainForm::ConnectTimeoutExpired() {
    // A step of the handshake got no answer in time: as a connection that timed out.
    if (!Connecting || ActiveSocket != nullptr) {
        return;
    }
    CloseSocket();
    DeliverSocketError(10060);
}

void TMainForm::DeliverSocketError(int code) {
    int E = code;
    try {
        ClientSocketError(E);
    } catch (...) {
        // Called from Qt's loop, which must not see it; the user has been told the number.
    }
}

void TMainForm::ClientSocketConnect() {
    ConnectTimer->stop();
    if (Terminating) {
        return;
    }
    // The greeting is the next step, and has its own time.
    ConnectTimer->start(ConnectTimeout);
    try {
        SetWaitText("Server rilevato, in attesa di risposta...");
        if (FormAttendere != nullptr) {
            FormAttendere->activateWindow();
            FormAttendere->setFocus();
        }
    } catch (...) {
        // Only the wait dialog's text was at stake: the handshake goes on regardless.
        ShowError("Errore durante la connessione.");
    }
}

void TMainForm::ClientSocketDisconnect() {
    // Our own close: whoever closed knows why and says so.
    if (ClosingSocket) {
        return;
    }
    try {
        bool timerWasRunning = TimerCheck->isActive();
        EnableCommands(false);
        if (ActiveSocket == nullptr) {
            // The server closed in the middle of the handshake: never a silent wait.
            if (Connecting && !Terminating) {
                FailAttempt("Disconnessione con il server.");
            }
            return;
        }
        ActiveSocket = nullptr;
        UpdateReconnect();
        if (Terminating) {
            return;
        }
        ShowError("Disconnessione con il server.");
        if (FormAttendere != nullptr && FormAttendere->isVisible()) {
            if (ReplyHandler) {
                ReplyHandler.Call(true, true);
            } else {
                TerminateApplication();
            }
        } else if (!isVisible()) {
            if (timerWasRunning) {
                TimerCheck->start();
            } else {
                TimerCheck->stop();
            }
        }
    } catch (const std::exception& e) {
        // The connection is gone either way; the user learns why the rest did not happen.
        ShowError(e.what());
    } catch (...) {
        // As above, with nothing to say: Qt's loop must not see it.
    }
}

void TMainForm::ClientSocketError(int& E) {
    if (Terminating) {
        E = 0;
        return;
    }
    if (Connecting && ActiveSocket == nullptr) {
        FailAttempt(SocketErrorMessage(E));
        E = 0;
        return;
    }
    if (LastReply != nullptr) {
        LastReply->SetValue("OPERATION", "INTERNALERROR");
    }
    if (FormAttendere != nullptr) {
        FormAttendere->CloseDialog();
    }
    ShowError(SocketErrorMessage(E));
    if (ReplyHandler) {
        ReplyHandler.Call(true, true);
    } else {
        Idle = true;
        E = 0;
    }
}

int SocketErrorCode(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::NetworkError:
        return 10065;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    default:
        return 10050;
    }
}

// --- handshake ------------------------------------------------------------------------------

void TMainForm::HandleHandshakeReply(CList& M) {
    const std::string op = M.GetValue("OPERATION");
    try {
        if (op == "CONNECT") {
            ToInteger(M.GetValue("IDENTIFY"));
            std::string text;
            {
                CList login;
                login.AddValue("USERID", SessionSettings.UserId);
                login.AddValue("PASSWORD", SessionSettings.Password);
                login.AddValue("DATABASE", "OrvoDBase");
                login.AddValue("PROTOCOL", std::to_string(ProtocolVersion));
                text = login.Encode();
            }
            WriteText(ClientSocket, text);
            // The verdict on the login is the next step, with its own time.
            ConnectTimer->start(ConnectTimeout);
        } else if (op == "ACCEPTED") {
            ServerName = TrimControl(M.GetValue("SERVER"));
            ServerVersion = static_cast<int>(StrToIntOpt(M.GetValue("VERSION")).value_or(0));
            std::string upper = ServerName;
            for (char& c : upper) {
                if (c >= 'a' && c <= 'z') {
                    c = static_cast<char>(c - 'a' + 'A');
                }
            }
            if (upper != "ZEDUVOZ") {
                throw EOrvoError("Server non conosciuto");
            }
            if ((ServerVersion & 0xFFF) < 0x200) {
                throw EOrvoError("Versione server errata");
            }
            SiteLink = TrimControl(M.GetValue("SITOVEK"));
            MailLink = TrimControl(M.GetValue("EMAILORVO"));
            OnlineLink = TrimControl(M.GetValue("ONLINE"));

            ButtonOnLine->setVisible(!OnlineLink.empty());
            ButtonOnLine->setEnabled(!OnlineLink.empty());
            ButtonSitoVek->setEnabled(!SiteLink.empty());
            ButtonEMailOrvo->setEnabled(!MailLink.empty());
            if (!OnlineLink.empty()) {
                ButtonOnLine->setText(Q("Registrazione in linea"));
                ButtonOnLine->setAccessibleName(Q("Registrazione in linea"));
                LMDSimpleLabelOnLine.SetTarget(OnlineLink);
            }
            if (!SiteLink.empty()) {
                LMDSimpleLabelSito.Hint = SiteLink;
                LMDSimpleLabelSito.SetTarget(SiteLink);
                LMDSimpleLabelSito.ShowHint = true;
            }
            if (!MailLink.empty()) {
                LMDSimpleLabelMail.Hint = MailLink;
                LMDSimpleLabelMail.SetTarget("mailto:" + MailLink);
                LMDSimpleLabelMail.ShowHint = true;
            }
            ActiveSocket = ClientSocket;
        } else if (op == "ERROR") {
            // The socket is closed before the message: a server closing while the user reads
            // it must not add a second one.
            std::string text = TrimControl(M.GetValue("MESSAGE"));
            if (text.empty()) {
                text = "Errore di comunicazione con il server";
            }
            FailAttempt(text);
        } else if (op == "ACCESSDENIED") {
            FailAttempt("Nome utente o password errati", "Accesso negato");
        } else if (op == "BUSY") {
            CloseSocket();
            if (TheDesktop().MessageBox("Riprovare a connettersi?", "Server occupato",
                                        MsgIcon::Error, MsgButtons::YesNo) == MsgAnswer::Yes) {
                OpenSocket();
            } else {
                FailAttempt("");
            }
        } else if (op == "DBNOTFOUND") {
            FailAttempt("Il database cercato non \xE8 gestito da questo server");
        } else if (op == "DBNOTREADY") {
            FailAttempt("Il database cercato non \xE8 al momento disponibile");
        } else if (op == "REDIRECT") {
            // A server redirecting in a circle must not keep the client reconnecting for ever.
            if (!Redirects.Take()) {
                throw EOrvoError(TooManyRedirectsMessage());
            }
            SetWaitText("Reindirizzamento ad un nuovo server...");
            CloseSocket();
            std::string address = TrimControl(M.GetValue("ADDRESS"));
            long long port = ToInteger(M.GetValue("PORT"));
            std::string service = TrimControl(M.GetValue("SERVICE"));
            bool permanent = M.GetValue("ALWAYS") == "TRUE";
            // A port the protocol cannot carry is no port at all (address not available).
            if (port < 0 || port > 65535) {
                port = 0;
            }
            SocketHost = address;
            SocketPort = static_cast<uint16_t>(port);
            SocketService = service;
            // A redirect to where the settings already point needs no new write.
            if (permanent &&
                !SameEndpoint(StoredSettings, address, static_cast<uint32_t>(port), service)) {
                StoredSettings.Address = address;
                StoredSettings.RemotePort = static_cast<uint32_t>(port);
                StoredSettings.Service = service;
                if (SaveSettings(StoredSettings) != 0) {
                    throw EOrvoError("Errore nella scrittura nel registro.");
                }
            }
            OpenSocket();
        } else {
            throw EOrvoError("Errore di comunicazione con il server");
        }
    } catch (const std::exception& e) {
        // A refused or unusable login: offline and idle, the settings and a new attempt at hand.
        FailAttempt(e.what());
    }
}

// --- close ----------------------------------------------------------------------------------

void TMainForm::FormClose() {
    if (Terminating) {
        return;
    }
    Terminating = true;
    FeedbackBeep();
    ReplyHandler.Clear();
    if (ActiveSocket != nullptr) {
        try {
            CList message;
            message.AddValue("OPERATION", "DISCONNECT");
            Pause(0);
            WriteText(ActiveSocket, message.Encode());
            ActiveSocket = nullptr;
            Pause(0);
        } catch (...) {
            // Closing goes on whatever became of the DISCONNECT: the server sees the close.
        }
        ActiveSocket = nullptr;
    }
}
