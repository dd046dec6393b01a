#pragma once
// What the server benchmarks share: a blocking loopback client that speaks the protocol, the
// server started as a child process, and the child's memory.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/Wire.h"

namespace bench {

class Client {
public:
    // source: the loopback address to connect from ("" for any); each one is a client address
    // of its own for the server's per-address limit. timeoutMs bounds every wait.
    Client(int port, const std::string& source = {}, int timeoutMs = 30000);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    bool Ok() const { return fd >= 0; }

    bool Send(const std::vector<std::pair<std::string_view, std::string_view>>& pairs);
    // The next whole message; empty on a close or a time-out.
    std::string Receive();
    // Greeting, login and its receipt: the login reply's OPERATION ("ACCEPTED", "BUSY"...), or
    // "" when the connection closed or stayed silent.
    std::string Login();
    struct Result {
        std::string Error; // the ERROR text, or "closed"
        long Rows = 0;
    };
    // A whole query, acknowledging every message.
    Result Query(std::string_view select, std::string_view from, std::string_view where = {},
                 std::string_view order = {});
    size_t WireBytes() const { return wireBytes; }

private:
    int fd = -1;
    size_t wireBytes = 0;
    MessageFramer framer;
    std::vector<std::string> ready;
    size_t next = 0;
};

// The OPERATION of a raw message.
std::string Operation(const std::string& message);
long ItemsSent(const std::string& message);

struct Child {
    QProcess Process;
    int Port = 0;
};
// Starts binary with args and "--port 0", and reads the port it prints. False if it did not.
bool StartServer(Child& child, const QString& binary, const QStringList& args);
// VmHWM (peak) or VmRSS of a process, in KiB.
long MemoryKiB(qint64 pid, const char* field = "VmHWM:");
// Processor time (user + system) of a process so far, in seconds.
double CpuSeconds(qint64 pid);

// The works search as the client sends it.
extern const char* const WorksSelect;
extern const char* const WorksFrom;
extern const char* const WorksJoin; // the join clauses, without the availability filter

} // namespace bench
