#pragma once
// The catalogue as the server serves it: one read-only SQLite connection, hardened so that the
// SQL fragments clients send can only read the seven catalogue tables.

#include <chrono>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class Catalogue {
public:
    using Clock = std::chrono::steady_clock;

    // Texts of the limits, shared with the tests.
    static constexpr int MaxSqlBytes = 64 * 1024;
    static constexpr int MaxPatternBytes = 1000;
    static constexpr int MaxValueBytes = 256 * 1024;
    static constexpr int MaxColumns = 256; // the client refuses more

    // Opens an existing catalogue file read-only. On failure returns null and sets error.
    static std::unique_ptr<Catalogue> OpenFile(const std::string& path, std::string& error);
    // An in-memory, read-only copy of the bundled sample.
    static std::unique_ptr<Catalogue> OpenSample(std::string& error);
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    sqlite3* Handle() const { return db; }

    struct Prepared {
        sqlite3_stmt* Statement = nullptr; // owned by the caller when set
        std::string Error;                 // Windows-1252, for the client, when not
    };
    // Compiles one SELECT under the authorizer. sql is UTF-8.
    Prepared Prepare(const std::string& sql);

    // While armed, the progress handler interrupts any statement still running at the deadline.
    void ArmDeadline(Clock::time_point deadline);
    void Disarm() { armed = false; }
    bool DeadlinePassed() const { return deadlineHit; }

private:
    explicit Catalogue(sqlite3* handle) : db(handle) {}
    bool Harden(std::string& error);
    static int Authorize(void* self, int action, const char* a, const char* b, const char* dbName,
                         const char* trigger);
    static int Progress(void* self);

    sqlite3* db = nullptr;
    std::string denial; // why the authorizer refused the statement being prepared
    bool armed = false;
    bool deadlineHit = false;
    Clock::time_point deadline{};
};

// An SQLite error message (UTF-8) in Italian where it is a common one, as Windows-1252.
std::string ItalianSqlError(const std::string& message);

// The seven catalogue tables, as the schema names them.
extern const char* const CatalogueTables[7];
