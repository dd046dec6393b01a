#pragma once
// The catalogue as the server serves it: a source of read-only SQLite connections ("readers"),
// each hardened so that the SQL fragments clients send can only read the seven catalogue tables.
// Every running query has a reader of its own, so queries step in parallel on worker threads;
// readers are kept for the next query once their statement is done.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CatalogueVfs;
struct sqlite3;
struct sqlite3_stmt;

struct CatalogueSettings {
    // SQLite's memory for caching pages and sorting, in MiB, for all queries together: the
    // process-wide soft heap limit, with a hard limit a little above it. One query may use a
    // sixteenth of it (at least 1 MiB).
    int CacheMiB = 64;
    // How much of the catalogue file is read through memory mapping, in MiB: pages come straight
    // from the system's file cache, so a title-ordered scan that jumps around a large file costs
    // no more per row than one over a small file.
    int MmapMiB = 1024;
};

// What the progress handler asks while a statement steps.
class StepControl {
public:
    virtual ~StepControl() = default;
    // Nonzero interrupts the statement.
    virtual int Tick() = 0;
};

class CatalogueReader {
public:
    ~CatalogueReader();
    CatalogueReader(const CatalogueReader&) = delete;
    CatalogueReader& operator=(const CatalogueReader&) = delete;

    sqlite3* Handle() const { return db; }

    struct Prepared {
        sqlite3_stmt* Statement = nullptr; // owned by the caller when set
        std::string Error;                 // Windows-1252, for the client, when not
    };
    // Compiles one SELECT under the authorizer. sql is UTF-8.
    Prepared Prepare(const std::string& sql);
    // Consulted by the progress handler while set.
    void SetControl(StepControl* c) { control = c; }

private:
    friend class Catalogue;
    explicit CatalogueReader(sqlite3* handle) : db(handle) {}
    bool Harden(const CatalogueSettings& settings, std::string& error);
    static int Authorize(void* self, int action, const char* a, const char* b, const char* dbName,
                         const char* trigger);
    static int Progress(void* self);

    sqlite3* db = nullptr;
    std::string denial; // why the authorizer refused the statement being prepared
    StepControl* control = nullptr;
};

class Catalogue {
public:
    // Texts of the limits, shared with the tests.
    static constexpr int MaxSqlBytes = 64 * 1024;
    static constexpr int MaxPatternBytes = 1000;
    static constexpr int MaxValueBytes = 256 * 1024;
    static constexpr int MaxColumns = 256; // the client refuses more
    // Readers kept open for the next queries; more than that are closed when their query ends.
    static constexpr size_t MaxIdleReaders = 16;

    // Opens an existing catalogue file read-only. On failure returns null and sets error.
    static std::unique_ptr<Catalogue> OpenFile(const std::string& path, std::string& error,
                                               const CatalogueSettings& settings = {});
    // An in-memory, read-only copy of the bundled sample.
    static std::unique_ptr<Catalogue> OpenSample(std::string& error,
                                                 const CatalogueSettings& settings = {});
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // A reader of its own for one query; null and error set if none can be opened. Thread-safe.
    std::unique_ptr<CatalogueReader> Checkout(std::string& error);
    // Takes a reader back once its statement is finalized. Thread-safe.
    void Return(std::unique_ptr<CatalogueReader> reader);

private:
    Catalogue() = default;
    std::unique_ptr<CatalogueReader> Open(std::string& error);

    CatalogueSettings settings;
    std::string path;                  // empty: the sample image
    std::unique_ptr<CatalogueVfs> vfs; // the file system readers see, and its one mapping
    unsigned char* image = nullptr;    // the sample, shared read-only by every reader
    long long imageSize = 0;
    std::mutex mutex;
    std::vector<std::unique_ptr<CatalogueReader>> idle;
};

// An SQLite error message (UTF-8) in Italian where it is a common one, as Windows-1252.
std::string ItalianSqlError(const std::string& message);

// The seven catalogue tables, as the schema names them.
extern const char* const CatalogueTables[7];
