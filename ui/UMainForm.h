#pragma once
// The main window, one class over five files, each in the folder whose windows it uses:
//   ui/UMainFormLayout.cpp                  layout, enabling, busy guard, window events, and the
//                                           link, exit, settings and About commands
//   session/UMainFormConnection.cpp         the socket, its events, the handshake, the close
//   session/UMainFormExchange.cpp           the receive path and the query exchange
//   search/UMainFormSearchReply.cpp         the works search reply and the memory recovery
//   search/UMainFormCatalogueCommands.cpp   the works search and centres list commands

#include <QAbstractSocket>
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/CList.h"
#include "core/CMatrix.h"
#include "ui/UOrvoCCommonWin.h"

class QAction;
class QMenu;
class QPushButton;
class QTcpSocket;
class QTimer;
class TFormRisultatiRicerca;

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // A server that never ends a message must not exhaust memory.
    static constexpr size_t MaxReceiveBuffer = 128u * 1024u * 1024u;
    static constexpr int ConnectTimeoutMs = 20000;
    // The limits in force; tests lower them to stay fast.
    static inline size_t ReceiveLimit = MaxReceiveBuffer;
    static inline int ConnectTimeout = ConnectTimeoutMs;

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- main window (layout, enabling, busy guard) ---
    void EnableCommands(bool Connected);
    // The busy guard: when Idle is false hides the window, processes pending messages and
    // returns true (the command must stop).
    bool BusyGuard();

    // --- connection and handshake ---
    void HandleHandshakeReply(CList& M);

    // --- receive path and query exchange ---
    void HandleQueryReply(CList& M);
    void EndExchange(bool Interrupted, bool Failed);
    uint32_t SendQuery(const std::string& S, const std::string& F, const std::string& W,
                       const std::string& O);
    uint32_t RunQuery(const std::string& S, const std::string& F, const std::string& W,
                      const std::string& O);
    void QueryDone(bool Interrupted, bool Failed);
    void SendReceived();
    void SendAbort();

    // --- works search reply and memory recovery ---
    void SearchDone(bool Interrupted, bool Failed);
    void RecoverMemory();

    // --- state shared with the other windows ---
    CMatrix* Results = nullptr; // owned
    CList* LastReply = nullptr; // owned; nullptr until the first message
    int QueryStatus = 0;        // 0 success, 2 error, 11 cancelled
    bool RequestPending = false;
    bool AbortPending = false;
    std::string ReceiveBuffer;
    int32_t BytesReceived = 0;
    QPointer<TFormRisultatiRicerca> CurrentResults;

    // --- components ---
    QTcpSocket* ClientSocket = nullptr;
    QTimer* TimerCheck = nullptr;
    QTimer* ConnectTimer = nullptr;
    QPushButton* ButtonAutore = nullptr;
    QPushButton* ButtonEMail = nullptr;
    QPushButton* ButtonSitoVek = nullptr;
    QPushButton* ButtonEMailOrvo = nullptr;
    QPushButton* ButtonOnLine = nullptr;
    QPushButton* ButtonChiudi = nullptr;
    QMenu* MenuImpostazioni = nullptr;
    QAction* ModificaMenu = nullptr;
    QAction* MenuInformazioni = nullptr;
    TLinkLabel LMDSimpleLabelSito;
    TLinkLabel LMDSimpleLabelMail;
    TLinkLabel LMDSimpleLabelOnLine;

    // The socket's endpoint: a host name (set only by a redirect) wins over the numeric address,
    // a service name over the port.
    std::string SocketHost;
    std::string SocketAddress;
    uint16_t SocketPort = 0;
    std::string SocketService;
    void OpenSocket();
    void CloseSocket();
    // Writes bytes to a connection; the count written is not examined.
    static void WriteText(QTcpSocket* socket, const std::string& text);

public slots:
    void ButtonAutoreClick();
    void ButtonEMailClick();
    void ButtonSitoVekClick();
    void ButtonEMailOrvoClick();
    void ButtonOnLineClick();
    void ButtonChiudiClick();
    void MenuModificaClick();
    void MenuInformazioniClick();
    void TimerCheckTimer();

    void ClientSocketConnect();
    void ClientSocketDisconnect();
    // E may be set to 0 to mark the error handled.
    void ClientSocketError(int& E);
    void ClientSocketRead();

protected:
    void showEvent(QShowEvent* event) override;   // FormShow
    void hideEvent(QHideEvent* event) override;   // FormHide
    void changeEvent(QEvent* event) override;     // FormActivate
    void closeEvent(QCloseEvent* event) override; // FormClose

private:
    void FormCreate();
    void FormShow();
    void FormHide();
    void FormActivate();
    void FormClose();
    void OnSocketError(QAbstractSocket::SocketError error);
    // Runs the error event for an error number; when the handler leaves it unhandled nothing
    // more is shown (the user has already seen its number).
    void DeliverSocketError(int code);
    void ConnectTimeoutExpired();
    // Takes the first complete message off ReceiveBuffer (false when there is none).
    bool TakeMessage(std::string& text);
    void HandleMessageText(const std::string& text);
    void QueueRead();
    void ReplaceLastReply(std::unique_ptr<CList> reply);

    // Bytes at the front of ReceiveBuffer known to hold no terminator.
    size_t ScanPos = 0;
    bool ReadQueued = false;
    int ReadDepth = 0;
    // Replies replaced while a handler may still be looking at them; released when the
    // outermost read handler returns.
    std::vector<std::unique_ptr<CList>> RetiredReplies;
    // Bumped by every open and close, so a queued error of an older attempt is dropped.
    unsigned SocketGeneration = 0;
    // Set when QueryDone ran for the running RunQuery (possibly before its wait dialog is up).
    bool RunQueryFinished = false;
};

// The socket error numbers shown to the user, as on the original platform.
int SocketErrorCode(QAbstractSocket::SocketError error);
