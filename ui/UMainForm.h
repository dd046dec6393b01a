#pragma once
// The main window, one class over five files, each in the folder whose windows it uses:
//   ui/UMainFormLayout.cpp                  layout, enabling, busy guard, window events, the
//                                           way back after a failure, and the link, exit,
//                                           settings and About commands
//   session/UMainFormConnection.cpp         the socket, its events, the handshake, the close
//   session/UMainFormExchange.cpp           the receive path and the query exchange
//   search/UMainFormSearchReply.cpp         the works search reply and the memory recovery
//   search/UMainFormCatalogueCommands.cpp   the works search and centres list commands
// Each group below names the file that defines it. The other windows use the public part only;
// tests reach the private state through tests/support/MainFormProbe.h.

#include <QAbstractSocket>
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/CList.h"
#include "core/CMatrix.h"
#include "core/ConnectionMessages.h"
#include "ui/KeyboardAccess.h"
#include "ui/UOrvoCCommonWin.h"

class QAction;
class QMenu;
class QPushButton;
class QTcpSocket;
class QTimer;
class TFormRisultatiRicerca;
struct QueryTexts;

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // A server that never ends a message must not exhaust memory.
    static constexpr size_t MaxReceiveBuffer = 128u * 1024u * 1024u;
    // The bound of each step of a connection attempt: the connection itself, the server's
    // greeting, its verdict on the login, and each of these again after a redirect.
    static constexpr int ConnectTimeoutMs = 20000;
    // The limits in force; tests lower them to stay fast.
    static inline size_t ReceiveLimit = MaxReceiveBuffer;
    // The taken bytes at the front of the receive buffer worth moving the rest for.
    static constexpr size_t CompactAt = 64u * 1024u;
    // The receive buffer's room kept once it is empty.
    static constexpr size_t KeptRoom = 4u * 1024u * 1024u;
    static inline int ConnectTimeout = ConnectTimeoutMs;

    explicit TMainForm(QWidget* parent = nullptr); // ui/UMainFormLayout.cpp
    ~TMainForm() override;

    // --- what the other windows use: queries (session/UMainFormExchange.cpp) ---
    // Sends a query and returns its context number at once (0: nothing was sent); the caller
    // has registered its reply routine in ReplyHandler before.
    uint32_t SendQuery(const QueryTexts& Query);
    // Sends a query and waits in the modal wait dialog until its rows are in Results: the
    // context number, or 0 when it failed (QueryStatus then says how) or was cancelled.
    uint32_t RunQuery(const QueryTexts& Query);
    // The wait dialog's "&Annulla" while a reply routine is registered.
    void SendAbort();
    // The OPERATION of the last message received, "" before the first one.
    std::string LastReplyOperation() const;
    // The rows of the last query; whoever takes them moves them out.
    std::unique_ptr<CMatrix> Results;
    // The outcome of the last synchronous query: 0 success, 2 error, 11 cancelled. The search
    // dialog records the outcome of its genre loading here too.
    int QueryStatus = 0;

    // --- what the other windows use: the busy check (ui/UMainFormLayout.cpp) ---
    // TimerCheck hides the main window at every tick while another window is in charge; a
    // window that gives the main window back stops it first.
    void StartBusyCheck();
    void StopBusyCheck();
    // The command that gets the focus when this window is next active (at once when it is):
    // the one whose window is closing, or the first command once the login is accepted.
    void FocusCommand(QWidget* command);

    // --- what the settings dialog uses (ui/UMainFormLayout.cpp) ---
    // After the connection settings were changed: when the program is neither connected nor
    // connecting, asks whether to connect with them now.
    void OfferReconnect();

    // --- the results browser of the last search (search/UMainFormSearchReply.cpp) ---
    QPointer<TFormRisultatiRicerca> CurrentResults;

    // --- components (ui/UMainFormLayout.cpp) ---
    // Two names do not match their captions: ButtonAutore is "&Ricerca opere", ButtonEMail is
    // "Visualizza i &Centri" (ARCHITECTURE.md lists every such name).
    QPushButton* ButtonAutore = nullptr;
    QPushButton* ButtonEMail = nullptr;
    QPushButton* ButtonSitoVek = nullptr;
    QPushButton* ButtonEMailOrvo = nullptr;
    QPushButton* ButtonOnLine = nullptr;
    QPushButton* ButtonChiudi = nullptr;
    QMenu* MenuImpostazioni = nullptr;
    QAction* ModificaMenu = nullptr;
    // "&Riconnetti" (F5): enabled exactly when neither connected nor connecting.
    QAction* RiconnettiMenu = nullptr;
    QAction* MenuInformazioni = nullptr;

public slots:
    // --- commands (search/UMainFormCatalogueCommands.cpp) ---
    void ButtonAutoreClick();
    void ButtonEMailClick();
    // --- commands (ui/UMainFormLayout.cpp) ---
    void ButtonSitoVekClick();
    void ButtonEMailOrvoClick();
    void ButtonOnLineClick();
    void ButtonChiudiClick();
    void MenuModificaClick();
    void MenuRiconnettiClick();
    void MenuInformazioniClick();
    void TimerCheckTimer();

    // --- socket events (session/UMainFormConnection.cpp, the read in UMainFormExchange.cpp) ---
    void ClientSocketConnect();
    void ClientSocketDisconnect();
    // E may be set to 0 to mark the error handled.
    void ClientSocketError(int& E);
    void ClientSocketRead();

protected:
    // --- window events (ui/UMainFormLayout.cpp) ---
    void showEvent(QShowEvent* event) override;   // FormShow
    void hideEvent(QHideEvent* event) override;   // FormHide
    void changeEvent(QEvent* event) override;     // FormActivate
    void closeEvent(QCloseEvent* event) override; // FormClose

private:
    friend class TMainFormProbe;

    // --- layout, enabling, the busy guard, the way back (ui/UMainFormLayout.cpp) ---
    void FormShow();
    void FormHide();
    void FormActivate();
    void EnableCommands(bool Connected);
    // The busy guard: when Idle is false hides the window, processes pending messages and
    // returns true (the command must stop).
    bool BusyGuard();
    void HideWhileBusy();
    // The program is idle again, with the main window in charge.
    void ReturnToIdle();
    // Where every failed command and reply routine of this window comes back to: nobody waits
    // for a reply any more, the wait dialog goes, the user reads text, the main window is back.
    void Recover(const std::string& text);
    // The three link commands: the link opens in the user's program, or silently does not.
    void OpenLink(TLinkLabel& link);
    // F10 opens the menu, as in the desktop's other programs (a bare Alt is not always seen).
    void OpenMenu();

    // The first enabled command takes the keyboard, in the main window made active.
    void FocusFirstCommand();
    // "&Riconnetti" follows the connection's state.
    void UpdateReconnect();

    // --- creation, the socket, the handshake, the close (session/UMainFormConnection.cpp) ---
    void FormCreate();
    // A connection attempt from scratch towards the endpoint of SessionSettings, with the wait
    // dialog up: start-up and "&Riconnetti" both come here.
    void StartConnection();
    // Where every attempt that ends without acceptance comes back to: the connection and all
    // it left behind are forgotten, the wait dialog goes, the program is idle and may
    // reconnect, and the user reads text (nothing when it is empty).
    void FailAttempt(const std::string& text, const std::string& title = "Errore");
    // Closes the socket and drops whatever the last connection left: received bytes, the
    // last reply, pending requests, timers, the links and the server's identity.
    void ForgetConnection();
    // The login was accepted: commands on, wait dialog gone, acknowledgement sent.
    void CompleteAcceptance();
    // The three link commands disabled and their targets gone until an acceptance sets them.
    void ClearLinks();
    void FormClose();
    void OpenSocket();
    void CloseSocket();
    // Writes bytes to a connection; the count written is not examined.
    static void WriteText(QTcpSocket* socket, const std::string& text);
    void OnSocketError(QAbstractSocket::SocketError error);
    // Runs the error event for an error number; when the handler leaves it unhandled nothing
    // more is shown (the user has already seen its number).
    void DeliverSocketError(int code);
    void ConnectTimeoutExpired();
    void HandleHandshakeReply(CList& M);

    // --- the receive path and the query exchange (session/UMainFormExchange.cpp) ---
    // Takes the first complete message off ReceiveBuffer (false when there is none). text
    // views the buffer: valid until the next read appends to it.
    bool TakeMessage(std::string_view& text);
    void HandleMessageText(std::string_view text);
    // Drops the messages already taken from the front of ReceiveBuffer, when that is cheap.
    void CompactReceiveBuffer();
    void QueueRead();
    void ReplaceLastReply(std::unique_ptr<CList> reply);
    void HandleQueryReply(CList& M);
    void EndExchange(bool Interrupted, bool Failed);
    // An exchange that went wrong: the wait dialog goes, and its reply routine ends it as
    // failed or, with none, the main window is back.
    void FailExchange();
    // An error the receive path cannot recover from: the user is told and the program ends.
    void Abandon(const std::string& text) noexcept;
    void QueryDone(bool Interrupted, bool Failed);
    void SendReceived();

    // --- the works search reply, the memory recovery (search/UMainFormSearchReply.cpp) ---
    void SearchDone(bool Interrupted, bool Failed);
    void RecoverMemory();

    // --- state ---
    QTcpSocket* ClientSocket = nullptr;
    QTimer* TimerCheck = nullptr;
    // Bounds each step of the handshake; restarted at every step.
    QTimer* ConnectTimer = nullptr;
    TReturnCommand ReturnCommand;
    TLinkLabel LMDSimpleLabelSito;
    TLinkLabel LMDSimpleLabelMail;
    TLinkLabel LMDSimpleLabelOnLine;
    // The socket's endpoint: a host name (set only by a redirect) wins over the numeric address,
    // a service name over the port.
    std::string SocketHost;
    std::string SocketAddress;
    uint16_t SocketPort = 0;
    std::string SocketService;
    // Bumped by every open and close, so a queued error of an older attempt is dropped.
    unsigned SocketGeneration = 0;
    // A connection attempt is running: from its start to its acceptance or failure.
    bool Connecting = false;
    // Set while we close the socket ourselves: the disconnect that follows is ours, not the
    // server's.
    bool ClosingSocket = false;
    RedirectCounter Redirects;

    std::unique_ptr<CList> LastReply; // nullptr until the first message
    bool RequestPending = false;
    bool AbortPending = false;
    std::string ReceiveBuffer;
    int32_t BytesReceived = 0;
    // Where the messages not yet taken start: taking one moves this, not the bytes after it.
    size_t ReadPos = 0;
    // Bytes from ReadPos on known to hold no terminator.
    size_t ScanPos = 0;
    // Bytes moved to the front of ReceiveBuffer, so far: at most once each, however many
    // messages a read brings.
    uint64_t BytesMoved = 0;
    bool ReadQueued = false;
    int ReadDepth = 0;
    // Replies replaced while a handler may still be looking at them; released when the
    // outermost read handler returns.
    std::vector<std::unique_ptr<CList>> RetiredReplies;
    // Set when QueryDone ran for the running RunQuery (possibly before its wait dialog is up).
    bool RunQueryFinished = false;
};

// The socket error numbers shown to the user, as on the original platform.
int SocketErrorCode(QAbstractSocket::SocketError error);
