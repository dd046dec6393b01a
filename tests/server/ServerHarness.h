#pragma once
// A server running in-process on its own thread, and a raw protocol client that talks to it
// byte for byte from the test's thread with bounded waits.

#include <QTcpSocket>
#include <QThread>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/CList.h"
#include "core/CMatrix.h"
#include "server/Options.h"
#include "server/Wire.h"

class TestServer {
public:
    enum class Source { Sample, None, File };
    explicit TestServer(ServerOptions options = {}, Source source = Source::Sample,
                        std::string file = {});
    ~TestServer();
    quint16 Port() const { return port; }

private:
    std::unique_ptr<QThread> thread;
    quint16 port = 0;
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The fixed part of the works search condition, as the client builds it.
inline const std::string WorksCondition =
    "(Catalogo.Disponibile <> false ) AND (Catalogo.OperaId = Opere.OperaId) AND "
    "(Autori.AutoreId = Opere.AutoreId) AND (Opere.EditoreId = Editori.EditoreId) AND "
    "(Classi.ClasseId = Opere.ClasseId)";
inline const std::string WorksSelect =
    "Opere.OperaId, Opere.Titolo, Opere.Edizione, Opere.Pagine, Opere.Sottotitolo, "
    "Opere.Descrizione, Catalogo.nCD, Catalogo.Cassette, Catalogo.Minuti, "
    "Catalogo.DataIncisione, Catalogo.TipoRegistrazione, Catalogo.CodOrigine, "
    "Catalogo.CatalogoId, Autori.AutoreNome, Editori.EditoreNome, Classi.ClasseNome";
inline const std::string WorksFrom = "Opere, Autori, Editori, Classi, Catalogo";

struct Exchange {
    std::string Error; // MESSAGE of an ERROR reply
    std::unique_ptr<CMatrix> Table = std::make_unique<CMatrix>();
    int Batches = 0;
    bool Complete = false; // DONE arrived
    std::vector<std::string> Column(const std::string& name) const;
};

class RawClient {
public:
    // source: the loopback address to connect from, a client address of its own.
    explicit RawClient(quint16 port, const QString& source = {});
    bool Connected() const { return socket.state() == QAbstractSocket::ConnectedState; }

    void Send(const Pairs& pairs); // written in this order
    void SendRaw(const std::string& bytes);
    void Ack() { Send({{"OPERATION", "RECEIVED"}}); }
    // The next message, or null after timeoutMs or when the server closed the connection.
    std::unique_ptr<CList> Receive(int timeoutMs = 5000);
    // Waits up to ms for anything; true if nothing came.
    bool Silent(int ms);
    // True once the server has closed the connection (within timeoutMs).
    bool WaitClosed(int timeoutMs = 5000);

    void SendLogin(const std::string& database = "OrvoDBase");
    // Greeting, login, ACCEPTED and its receipt; returns the ACCEPTED message.
    std::unique_ptr<CList> Login();
    void SendQuery(const std::string& select, const std::string& from,
                   const std::string& where = {}, const std::string& order = {});
    // A whole exchange, acknowledging every message.
    Exchange Query(const std::string& select, const std::string& from,
                   const std::string& where = {}, const std::string& order = {});

private:
    QTcpSocket socket;
    MessageFramer framer;
    std::vector<std::string> ready;
    size_t nextReady = 0;
};

std::string Op(const CList& message);
