#pragma once
// What tests see of the main window beyond its public part: the receive path, the flags of the
// exchange, the socket, the links the handshake set, and the two routines Qt or a reply would
// otherwise have to run.

#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/CList.h"
#include "ui/UMainForm.h"

class TMainFormProbe {
public:
    explicit TMainFormProbe(TMainForm* form) : form(form) {}

    // The bytes received and not yet taken as a message.
    std::string_view ReceiveBuffer() const {
        return std::string_view(form->ReceiveBuffer).substr(form->ReadPos);
    }
    uint64_t BytesMoved() const { return form->BytesMoved; }
    int32_t BytesReceived() const { return form->BytesReceived; }
    bool RequestPending() const { return form->RequestPending; }
    bool AbortPending() const { return form->AbortPending; }
    const std::string& SocketHost() const { return form->SocketHost; }
    QAbstractSocket::SocketState SocketState() const { return form->ClientSocket->state(); }
    bool BusyCheckRunning() const { return form->TimerCheck->isActive(); }
    const TLinkLabel& SiteLink() const { return form->LMDSimpleLabelSito; }
    const TLinkLabel& MailLink() const { return form->LMDSimpleLabelMail; }
    const TLinkLabel& OnlineLink() const { return form->LMDSimpleLabelOnLine; }

    // Makes a message of these pairs the last one received.
    void SetLastReply(const std::vector<std::pair<std::string, std::string>>& pairs) {
        auto reply = std::make_unique<CList>();
        for (const auto& [name, value] : pairs) {
            reply->AddValue(name, value);
        }
        form->LastReply = std::move(reply);
    }
    void SearchDone(bool interrupted, bool failed) { form->SearchDone(interrupted, failed); }
    void RecoverMemory() { form->RecoverMemory(); }

private:
    TMainForm* form;
};
