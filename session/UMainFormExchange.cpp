// The main window's receive path and query exchange: socket bytes to messages, the replies of
// an exchange, QUERY, RECEIVED and ABORT, and the synchronous query with its outcome.
#include <QMetaObject>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include "core/CatalogueQuery.h"
#include "core/OrvoError.h"
#include "platform/Desktop.h"
#include "ui/UFormAttendere.h"
#include "ui/UMainForm.h"

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
        RetiredReplies.push_back(std::move(LastReply));
    }
    LastReply = std::move(reply);
}

std::string TMainForm::LastReplyOperation() const {
    return LastReply != nullptr ? LastReply->GetValue("OPERATION") : std::string();
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
        // What the handlers below could not take leaves the stream out of step: no way back.
        Abandon(e.what());
    } catch (...) {
        // As above, for a failure that carries no text.
        Abandon("Errore interno imprevisto");
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

void TMainForm::Abandon(const std::string& text) noexcept {
    ActiveSocket = nullptr;
    try {
        ShowError(text, "Errore interno");
    } catch (...) {
        // The program ends all the same; only the explanation is lost.
    }
    Terminating = true;
    CloseSocket();
    TerminateApplication();
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
        // The focus was on the only command enabled before the login: "&Esci".
        FocusCommand(ButtonAutore);
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
            FailExchange();
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
        // A reply that cannot be stored or is not understood fails the exchange, not the
        // session: the request stays pending, as nothing says the server is done with it.
        ShowError(e.what());
        FailExchange();
    }
}

void TMainForm::FailExchange() {
    HideWait();
    if (ReplyHandler) {
        ReplyHandler.Call(true, true);
    } else {
        ReturnToIdle();
    }
}

uint32_t TMainForm::SendQuery(const QueryTexts& Query) {
    if (ActiveSocket == nullptr || Terminating) {
        return 0;
    }
    uint32_t k = NextContext();
    std::string text;
    {
        CList query;
        query.AddValue("OPERATION", "QUERY");
        query.AddValue("CONTEXT", std::to_string(k));
        query.AddValue("SELECT", Query.Select);
        query.AddValue("FROM", Query.From);
        if (!Query.Where.empty()) {
            query.AddValue("WHERE", Query.Where);
        }
        if (!Query.OrderBy.empty()) {
            query.AddValue("ORDERBY", Query.OrderBy);
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

uint32_t TMainForm::RunQuery(const QueryTexts& Query) {
    RunQueryFinished = false;
    ReplyHandler.Set(this,
                     [this](bool interrupted, bool failed) { QueryDone(interrupted, failed); });
    uint32_t k = SendQuery(Query);
    if (k == 0) {
        ReplyHandler.Clear();
        ShowError("Impossibile contattare il server.");
        return 0;
    }
    if (FormAttendere->isVisible()) {
        // Hiding allows cancelling again; the query keeps whatever was in force.
        bool allowed = FormAttendere->CancelAllowed();
        FormAttendere->hide();
        FormAttendere->AllowCancel(allowed);
    }
    FormAttendere->SetText("Richiesta dati...");
    // The whole reply may already have been handled inside SendQuery's pauses; a modal wait
    // with nobody left to close it would never end.
    if (!RunQueryFinished) {
        FormAttendere->ShowModal();
    }
    return QueryStatus != 0 ? 0 : k;
}

void TMainForm::QueryDone(bool Interrupted, bool Failed) {
    QueryStatus = 0;
    ReplyHandler.Clear();
    RunQueryFinished = true;
    if (Failed) {
        const std::string op = LastReplyOperation();
        std::string text;
        if (op == "ACCESSDENIED") {
            text = "Accesso negato.";
        } else if (op == "NOTFOUND") {
            text = "Elemento non trovato.";
        } else if (op == "MULTIPLE") {
            text = "Elemento non univoco. Impossibile procedere.";
        } else if (op == "INTERNALERROR") {
            QueryStatus = 2;
            FormAttendere->CloseDialog();
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
        FormAttendere->CloseDialog();
    } else if (Interrupted) {
        TheDesktop().MessageBox("Operazione annullata.", "Attenzione!", MsgIcon::Warning);
        QueryStatus = 11;
        FormAttendere->CloseDialog();
    } else {
        FormAttendere->CloseDialog();
    }
}
