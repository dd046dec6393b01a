// The main window's connection: opening, handshake, socket events, the receive path, the query
// exchange and the disconnect at close.
#include <QApplication>
#include <QHostAddress>
#include <QMetaObject>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include "core/OrvoError.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "ui/UFormAttendere.h"
#include "ui/UFormImpostazioni.h"
#include "ui/UMainForm.h"

namespace {
void ShowError(const std::string& text, const char* title = "Errore") {
    TheDesktop().MessageBox(text, title, MsgIcon::Error);
}

long long ToInteger(const std::string& text) {
    std::optional<long long> value = StrToIntOpt(text);
    if (!value) {
        throw EOrvoError(InvalidIntegerText(text));
    }
    return *value;
}

// The wait dialog, when there is one (it goes with the main window).
TFormAttendere* Wait() {
    return FormAttendere;
}

void HideWait() {
    if (Wait() != nullptr) {
        Wait()->hide();
    }
}

void SetWaitText(const std::string& text) {
    if (Wait() != nullptr) {
        Wait()->SetText(text);
    }
}
} // namespace

// --- creation and the socket ----------------------------------------------------------------

void TMainForm::FormCreate() {
    Idle = true;
    MemoryRecoveryPending = false;
    BytesReceived = 0;

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

    EnableCommands(false);

    Results = new CMatrix;
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
        SocketHost.clear();
        SocketAddress = SessionSettings.Address;
        SocketPort = static_cast<uint16_t>(SessionSettings.RemotePort);
        SocketService = TrimControl(SessionSettings.Service);
        OpenSocket();
        FormAttendere->SetText("Ricerca del server in corso...");
        FormAttendere->ShowModeless();
        FormAttendere->ButtonAnnulla->setEnabled(false);
    } catch (const std::exception& e) {
        ShowError(e.what());
        ShowSettingsDialog(1, this);
        TerminateApplication();
    }
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
    // Bytes of a connection that is being closed belong to nobody: a later connection must
    // not see them, and no further message of this one may be acted on.
    ReceiveBuffer.clear();
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
    }
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
    if (ClientSocket->state() == QAbstractSocket::ConnectedState) {
        return;
    }
    ++SocketGeneration;
    ClientSocket->abort();
    DeliverSocketError(10060);
}

void TMainForm::DeliverSocketError(int code) {
    int E = code;
    try {
        ClientSocketError(E);
    } catch (...) {
    }
}

void TMainForm::ClientSocketConnect() {
    ConnectTimer->stop();
    if (Terminating) {
        return;
    }
    try {
        SetWaitText("Server rilevato, in attesa di risposta...");
        if (Wait() != nullptr) {
            Wait()->activateWindow();
            Wait()->setFocus();
        }
    } catch (...) {
        ShowError("Errore durante la connessione.");
    }
}

void TMainForm::ClientSocketDisconnect() {
    try {
        bool timerWasRunning = TimerCheck->isActive();
        EnableCommands(false);
        if (ActiveSocket == nullptr) {
            return;
        }
        ActiveSocket = nullptr;
        if (Terminating) {
            return;
        }
        ShowError("Disconnessione con il server.");
        if (Wait() != nullptr && Wait()->isVisible()) {
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
        ShowError(e.what());
    } catch (...) {
    }
}

void TMainForm::ClientSocketError(int& E) {
    if (Terminating) {
        E = 0;
        return;
    }
    if (LastReply != nullptr) {
        LastReply->SetValue("OPERATION", "INTERNALERROR");
    }
    if (Wait() != nullptr) {
        Wait()->CloseDialog();
    }
    ShowError("Errore numero " + std::to_string(E) + " durante la connessione.");
    if (ReplyHandler) {
        ReplyHandler.Call(true, true);
    } else {
        Idle = true;
        E = 0;
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
            std::string text = TrimControl(M.GetValue("MESSAGE"));
            if (text.empty()) {
                text = "Errore di comunicazione con il server";
            }
            ShowError(text);
            HideWait();
            CloseSocket();
            Idle = true;
        } else if (op == "ACCESSDENIED") {
            ShowError("Nome utente o password errati", "Accesso negato");
            HideWait();
            CloseSocket();
            Idle = true;
        } else if (op == "BUSY") {
            CloseSocket();
            if (TheDesktop().MessageBox("Riprovare a connettersi?", "Server occupato",
                                        MsgIcon::Error, MsgButtons::YesNo) == MsgAnswer::Yes) {
                OpenSocket();
            } else {
                HideWait();
                Idle = true;
            }
        } else if (op == "DBNOTFOUND") {
            CloseSocket();
            ShowError("Il database cercato non \xE8 gestito da questo server");
            HideWait();
            Idle = true;
        } else if (op == "DBNOTREADY") {
            CloseSocket();
            ShowError("Il database cercato non \xE8 al momento disponibile");
            HideWait();
            Idle = true;
        } else if (op == "REDIRECT") {
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
            if (permanent) {
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
        CloseSocket();
        ShowError(e.what());
        HideWait();
        Idle = true;
    }
}

// --- receive path ---------------------------------------------------------------------------

void TMainForm::QueueRead() {
    if (ReadQueued) {
        return;
    }
    ReadQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            ReadQueued = false;
            ClientSocketRead();
        },
        Qt::QueuedConnection);
}

bool TMainForm::TakeMessage(std::string& text) {
    size_t end = ReceiveBuffer.find('\x02', ScanPos);
    if (end == std::string::npos) {
        ScanPos = ReceiveBuffer.size();
        return false;
    }
    if (end + 1 == ReceiveBuffer.size()) {
        // The usual case, one message: hand the buffer over without copying it.
        text.clear();
        text.swap(ReceiveBuffer);
    } else {
        text.assign(ReceiveBuffer, 0, end + 1);
        ReceiveBuffer.erase(0, end + 1);
    }
    ScanPos = 0;
    return true;
}

void TMainForm::ReplaceLastReply(std::unique_ptr<CList> reply) {
    if (LastReply != nullptr) {
        // A handler further up the stack may still hold the old reply.
        RetiredReplies.emplace_back(LastReply);
    }
    LastReply = reply.release();
}

void TMainForm::ClientSocketRead() {
    if (Terminating) {
        return;
    }
    ++ReadDepth;
    try {
        QByteArray bytes = ClientSocket->readAll();
        ReceiveBuffer.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        bytes.clear();
        std::string text;
        if (TakeMessage(text)) {
            HandleMessageText(text);
        } else if (ReceiveBuffer.size() > ReceiveLimit) {
            ReceiveBuffer.clear();
            ReceiveBuffer.shrink_to_fit();
            ScanPos = 0;
            throw EOrvoError("Errore nella ricezione dei dati.");
        }
    } catch (const std::exception& e) {
        ActiveSocket = nullptr;
        ShowError(e.what(), "Errore interno");
        Terminating = true;
        CloseSocket();
        TerminateApplication();
    } catch (...) {
        ActiveSocket = nullptr;
        ShowError("Errore interno imprevisto", "Errore interno");
        Terminating = true;
        CloseSocket();
        TerminateApplication();
    }
    --ReadDepth;
    if (ReadDepth == 0) {
        RetiredReplies.clear();
    }
    // One message per turn of the loop: further ones (and bytes Qt will not announce again
    // while this handler ran) are taken up by a queued read.
    if (!Terminating && (ReceiveBuffer.find('\x02', ScanPos) != std::string::npos ||
                         (ClientSocket->state() == QAbstractSocket::ConnectedState &&
                          ClientSocket->bytesAvailable() > 0))) {
        QueueRead();
    }
}

void TMainForm::HandleMessageText(const std::string& text) {
    auto reply = std::make_unique<CList>();
    int decoded = reply->Decode(text);
    ReplaceLastReply(std::move(reply));
    if (decoded != 0) {
        throw EOrvoError("Errore nella ricezione dei dati.");
    }
    const auto L = static_cast<int64_t>(text.size());
    if (ActiveSocket != nullptr) {
        int64_t total = static_cast<int64_t>(BytesReceived) + L;
        if (total > MemoryRecoveryThreshold) {
            BytesReceived = 0;
            MemoryRecoveryPending = true;
        } else {
            BytesReceived = static_cast<int32_t>(total);
        }
        HandleQueryReply(*LastReply);
        return;
    }
    HandleHandshakeReply(*LastReply);
    if (ActiveSocket != nullptr) {
        EnableCommands(true);
        HideWait();
        Idle = true;
        TimerCheck->start();
        SendReceived();
    }
}

// --- query exchange -------------------------------------------------------------------------

// A reply that ends the exchange: acknowledged, then the reply routine decides what is shown
// next; without one the program is simply idle again.
void TMainForm::EndExchange(bool Interrupted, bool Failed) {
    SendReceived();
    RequestPending = false;
    HideWait();
    if (ReplyHandler) {
        ReplyHandler.Call(Interrupted, Failed);
    } else {
        Idle = true;
    }
}

void TMainForm::HandleQueryReply(CList& M) {
    if (Terminating || ActiveSocket == nullptr) {
        return;
    }
    const std::string op = TrimControl(M.GetValue("OPERATION"));
    try {
        if (op == "QUERYRESULT" || op == "QUERYITEM") {
            // The table reads the kind exactly: a batch recognised here must not be refused
            // there for its blanks.
            M.SetValue("OPERATION", op);
        }
        if (op == "KNOCK") {
            if (!RequestPending) {
                SendReceived();
            }
        } else if (op == "ERROR") {
            RequestPending = false;
            SendReceived();
            HideWait();
            if (ReplyHandler) {
                ReplyHandler.Call(true, true);
            } else {
                Idle = true;
                show();
            }
        } else if (op == "QUERYRESULT") {
            if (AbortPending) {
                return;
            }
            SetWaitText("Ricezione dati...");
            Results->Clear();
            int r = Results->AddFromMessage(M);
            SendReceived();
            if (r != 0) {
                throw EOrvoError("Errore nella ricezione dei dati.");
            }
        } else if (op == "QUERYITEM") {
            if (AbortPending) {
                return;
            }
            int r = Results->AddFromMessage(M);
            SendReceived();
            SetWaitText("Record ricevuti: " + std::to_string(Results->RowCount()));
            if (r == 10) {
                RequestPending = false;
                if (ReplyHandler) {
                    HideWait();
                    ReplyHandler.Call(false, false);
                }
            } else if (r != 0) {
                throw EOrvoError("Errore nella ricezione dei dati.");
            }
        } else if (op == "ACCESSDENIED" || op == "NOTFOUND" || op == "MULTIPLE" || op == "BUSY") {
            if (AbortPending) {
                return;
            }
            EndExchange(true, true);
        } else if (op == "ABORTOK") {
            AbortPending = false;
            EndExchange(true, false);
        } else if (op == "OK") {
            EndExchange(false, false);
        } else {
            throw EOrvoError("Messaggio del server non riconosciuto.");
        }
    } catch (const std::exception& e) {
        ShowError(e.what());
        HideWait();
        if (ReplyHandler) {
            ReplyHandler.Call(true, true);
        } else {
            Idle = true;
            show();
        }
    }
}

uint32_t TMainForm::SendQuery(const std::string& S, const std::string& F, const std::string& W,
                              const std::string& O) {
    if (ActiveSocket == nullptr || Terminating) {
        return 0;
    }
    uint32_t k = NextContext();
    std::string text;
    {
        CList query;
        query.AddValue("OPERATION", "QUERY");
        query.AddValue("CONTEXT", std::to_string(k));
        query.AddValue("SELECT", S);
        query.AddValue("FROM", F);
        if (!W.empty()) {
            query.AddValue("WHERE", W);
        }
        if (!O.empty()) {
            query.AddValue("ORDERBY", O);
        }
        text = query.Encode();
    }
    Pause(0);
    Results->Clear();
    WriteText(ActiveSocket, text);
    // Pending before the pause: a reply handled inside it ends the exchange, and setting the
    // flag afterwards would leave it standing with no request out, so KNOCK went unanswered.
    RequestPending = true;
    Pause(0);
    return k;
}

void TMainForm::SendReceived() {
    if (ActiveSocket == nullptr) {
        return;
    }
    CList message;
    message.AddValue("OPERATION", "RECEIVED");
    Pause(0);
    WriteText(ActiveSocket, message.Encode());
    Pause(0);
}

void TMainForm::SendAbort() {
    if (ActiveSocket == nullptr || Terminating) {
        return;
    }
    CList message;
    message.AddValue("OPERATION", "ABORT");
    Pause(100);
    WriteText(ActiveSocket, message.Encode());
    SetWaitText("Annullamento in corso...");
    RequestPending = true;
    AbortPending = true;
    Pause(100);
}

uint32_t TMainForm::RunQuery(const std::string& S, const std::string& F, const std::string& W,
                             const std::string& O) {
    RunQueryFinished = false;
    ReplyHandler.Set(this,
                     [this](bool interrupted, bool failed) { QueryDone(interrupted, failed); });
    uint32_t k = SendQuery(S, F, W, O);
    if (k == 0) {
        ReplyHandler.Clear();
        ShowError("Impossibile contattare il server.");
        return 0;
    }
    if (Wait()->isVisible()) {
        bool enabled = Wait()->ButtonAnnulla->isEnabled();
        Wait()->hide();
        Wait()->ButtonAnnulla->setEnabled(enabled);
    }
    Wait()->SetText("Richiesta dati...");
    // The whole reply may already have been handled inside SendQuery's pauses; a modal wait
    // with nobody left to close it would never end.
    if (!RunQueryFinished) {
        Wait()->ShowModal();
    }
    return QueryStatus != 0 ? 0 : k;
}

void TMainForm::QueryDone(bool Interrupted, bool Failed) {
    QueryStatus = 0;
    ReplyHandler.Clear();
    RunQueryFinished = true;
    if (Failed) {
        const std::string op = LastReply != nullptr ? LastReply->GetValue("OPERATION") : "";
        std::string text;
        if (op == "ACCESSDENIED") {
            text = "Accesso negato.";
        } else if (op == "NOTFOUND") {
            text = "Elemento non trovato.";
        } else if (op == "MULTIPLE") {
            text = "Elemento non univoco. Impossibile procedere.";
        } else if (op == "INTERNALERROR") {
            QueryStatus = 2;
            Wait()->CloseDialog();
            return;
        } else if (op == "ERROR") {
            std::string m = TrimControl(LastReply->GetValue("MESSAGE"));
            text = m.empty() ? "Operazione fallita."
                             : "Operazione fallita. Messaggio del server:\r\n" + m;
        } else {
            text = "Operazione fallita.";
        }
        ShowError(text);
        QueryStatus = 2;
        Wait()->CloseDialog();
    } else if (Interrupted) {
        TheDesktop().MessageBox("Operazione annullata.", "Attenzione!", MsgIcon::Warning);
        QueryStatus = 11;
        Wait()->CloseDialog();
    } else {
        Wait()->CloseDialog();
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
        }
        ActiveSocket = nullptr;
    }
}
