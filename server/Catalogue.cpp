#include "server/Catalogue.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "core/Cp1252.h"
#include "server/CatalogueBuilder.h"
#include "server/CatalogueVfs.h"
#include "server/Wildcard.h"

const char* const CatalogueTables[7] = {"Classi",   "Autori",      "Editori", "Opere",
                                        "Catalogo", "Provenienza", "Presenza"};

namespace {

// Plain functions a search may reasonably use: none of them reads outside its arguments, writes,
// or grows text beyond the value limit.
const char* const AllowedFunctions[] = {
    "like",   "lower",  "upper",     "abs",  "coalesce", "ifnull", "nullif",
    "length", "substr", "substring", "trim", "ltrim",    "rtrim",  "instr",
    "round",  "count",  "min",       "max",  "sum",      "total",  "avg"};

bool EqualsNoCase(const char* a, const char* b) {
    return a != nullptr && b != nullptr && sqlite3_stricmp(a, b) == 0;
}

bool IsCatalogueTable(const char* name) {
    return std::any_of(std::begin(CatalogueTables), std::end(CatalogueTables),
                       [&](const char* t) { return EqualsNoCase(t, name); });
}

bool IsAllowedFunction(const char* name) {
    return std::any_of(std::begin(AllowedFunctions), std::end(AllowedFunctions),
                       [&](const char* f) { return EqualsNoCase(f, name); });
}

bool OnlyBlanks(const char* p) {
    for (; p != nullptr && *p != '\0'; ++p) {
        if (!std::isspace(static_cast<unsigned char>(*p))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string ItalianSqlError(const std::string& message) {
    // SQLite's own words for the mistakes a hand-written fragment makes most often; anything
    // else keeps its original text after an Italian lead.
    struct Rule {
        const char* Prefix;
        const char* Italian;
    };
    static const Rule Rules[] = {
        {"no such column: ", "colonna inesistente: "},
        {"no such table: ", "tabella inesistente: "},
        {"no such function: ", "funzione inesistente: "},
        {"ambiguous column name: ", "nome di colonna ambiguo: "},
        {"wrong number of arguments to function ", "numero di argomenti errato per la funzione "},
        {"misuse of aggregate: ", "uso errato della funzione di aggregazione: "},
        {"ESCAPE expression must be a single character",
         "il carattere di ESCAPE deve essere uno solo"},
        {"unrecognized token: ", "simbolo non riconosciuto: "},
        {"incomplete input", "richiesta incompleta"},
        {"too many columns in result set", "il risultato avrebbe pi\xF9 di 256 colonne"},
        {"LIKE or GLOB pattern too complex", "modello di ricerca troppo lungo"},
        {"string or blob too big", "valore troppo lungo"},
        {"interrupted", "richiesta interrotta"},
        {"out of memory", "memoria insufficiente"},
        {"database or disk is full", "spazio di lavoro esaurito"},
    };
    for (const Rule& rule : Rules) {
        size_t n = std::strlen(rule.Prefix);
        if (message.compare(0, n, rule.Prefix) == 0) {
            return rule.Italian + Utf8ToCp1252(message.substr(n));
        }
    }
    // near "X": syntax error
    const std::string syntax = ": syntax error";
    if (message.rfind("near ", 0) == 0 && message.size() > syntax.size() &&
        message.compare(message.size() - syntax.size(), syntax.size(), syntax) == 0) {
        return "errore di sintassi vicino a " +
               Utf8ToCp1252(message.substr(5, message.size() - 5 - syntax.size()));
    }
    return Utf8ToCp1252(message);
}

std::unique_ptr<Catalogue> Catalogue::OpenFile(const std::string& path, std::string& error,
                                               const CatalogueSettings& settings) {
    std::unique_ptr<Catalogue> catalogue(new Catalogue);
    catalogue->settings = settings;
    catalogue->path = path;
    catalogue->vfs =
        CatalogueVfs::Create(path, static_cast<long long>(settings.MmapMiB) << 20, error);
    if (!catalogue->vfs) {
        return nullptr;
    }
    std::unique_ptr<CatalogueReader> reader = catalogue->Open(error);
    if (!reader) {
        return nullptr;
    }
    sqlite3* handle = reader->Handle();
    std::string missing;
    for (const char* table : CatalogueTables) {
        // Looked up without SQL: the authorizer would refuse a read of the schema table.
        int rc = sqlite3_table_column_metadata(handle, "main", table, nullptr, nullptr, nullptr,
                                               nullptr, nullptr, nullptr);
        if (rc == SQLITE_ERROR) {
            missing += missing.empty() ? table : std::string(", ") + table;
        } else if (rc != SQLITE_OK) {
            error = "cannot read the catalogue " + path + ": " + sqlite3_errmsg(handle);
            return nullptr;
        }
    }
    if (!missing.empty()) {
        error = "the catalogue " + path + " lacks the table(s) " + missing;
        return nullptr;
    }
    catalogue->Return(std::move(reader));
    return catalogue;
}

std::unique_ptr<Catalogue> Catalogue::OpenSample(std::string& error,
                                                 const CatalogueSettings& settings) {
    // Built once in a scratch connection; every reader then reads the same image, handed to it
    // read-only, so no statement can change what clients read and the copy is not repeated.
    sqlite3* scratch = nullptr;
    sqlite3_open_v2(":memory:", &scratch, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (scratch == nullptr || !WriteSampleCatalogue(scratch, error)) {
        if (error.empty()) {
            error = "cannot build the sample catalogue";
        }
        sqlite3_close(scratch);
        return nullptr;
    }
    sqlite3_int64 size = 0;
    unsigned char* image = sqlite3_serialize(scratch, "main", &size, 0);
    sqlite3_close(scratch);
    if (image == nullptr) {
        error = "cannot copy the sample catalogue";
        return nullptr;
    }
    std::unique_ptr<Catalogue> catalogue(new Catalogue);
    catalogue->settings = settings;
    catalogue->image = image;
    catalogue->imageSize = size;
    catalogue->vfs = CatalogueVfs::Create({}, 0, error);
    if (!catalogue->vfs) {
        return nullptr;
    }
    std::unique_ptr<CatalogueReader> reader = catalogue->Open(error);
    if (!reader) {
        return nullptr;
    }
    catalogue->Return(std::move(reader));
    return catalogue;
}

Catalogue::~Catalogue() {
    // Readers before the file system they read through.
    idle.clear();
    sqlite3_free(image);
}

std::unique_ptr<CatalogueReader> Catalogue::Open(std::string& error) {
    sqlite3* handle = nullptr;
    // Each reader is used by one thread at a time, so SQLite's own locking is not needed.
    const int flags = SQLITE_OPEN_NOMUTEX;
    int rc =
        image != nullptr
            ? sqlite3_open_v2(":memory:", &handle, flags | SQLITE_OPEN_READWRITE, vfs->VfsName())
            : sqlite3_open_v2(path.c_str(), &handle, flags | SQLITE_OPEN_READONLY, vfs->VfsName());
    std::unique_ptr<CatalogueReader> reader(new CatalogueReader(handle));
    if (rc != SQLITE_OK) {
        error = "cannot open the catalogue " + (image != nullptr ? std::string("sample") : path) +
                ": " + (handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
        return nullptr;
    }
    if (image != nullptr && sqlite3_deserialize(handle, "main", image, imageSize, imageSize,
                                                SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
        error = "cannot load the sample catalogue";
        return nullptr;
    }
    if (!reader->Harden(settings, error)) {
        return nullptr;
    }
    return reader;
}

std::unique_ptr<CatalogueReader> Catalogue::Checkout(std::string& error) {
    {
        std::lock_guard lock(mutex);
        if (!idle.empty()) {
            std::unique_ptr<CatalogueReader> reader = std::move(idle.back());
            idle.pop_back();
            return reader;
        }
    }
    return Open(error);
}

void Catalogue::Return(std::unique_ptr<CatalogueReader> reader) {
    if (!reader) {
        return;
    }
    reader->SetControl(nullptr);
    std::unique_lock lock(mutex);
    if (idle.size() < MaxIdleReaders) {
        idle.push_back(std::move(reader));
        return;
    }
    lock.unlock();
    // Closed outside the lock: closing unmaps and frees its cache.
    reader.reset();
}

CatalogueReader::~CatalogueReader() {
    sqlite3_close_v2(db);
}

bool CatalogueReader::Harden(const CatalogueSettings& settings, std::string& error) {
    // Few small allocations per statement here: a small lookaside keeps hundreds of readers from
    // each holding the default 120 KiB of it.
    sqlite3_db_config(db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 256, 64);
    char* message = nullptr;
    // The catalogue's pages come through the mapping; the cache holds the rest, and its size
    // is also what a sort keeps in memory before it spills to a temporary file. A sixteenth of
    // the budget each: a few hostile sorts cannot take it all from the other queries.
    const long long cacheKiB = std::max(1024LL, settings.CacheMiB * 1024LL / 16);
    std::string pragmas = "PRAGMA cache_size = -" + std::to_string(cacheKiB) +
                          "; PRAGMA mmap_size = " + std::to_string(settings.MmapMiB * 1048576LL) +
                          "; PRAGMA query_only = 1";
    if (sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        error = std::string("cannot make the catalogue read-only: ") +
                (message != nullptr ? message : "");
        sqlite3_free(message);
        return false;
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, Catalogue::MaxSqlBytes);
    sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, Catalogue::MaxPatternBytes);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, Catalogue::MaxValueBytes);
    sqlite3_limit(db, SQLITE_LIMIT_COLUMN, Catalogue::MaxColumns);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db, SQLITE_LIMIT_EXPR_DEPTH, 200);
    sqlite3_limit(db, SQLITE_LIMIT_COMPOUND_SELECT, 20);
    sqlite3_limit(db, SQLITE_LIMIT_FUNCTION_ARG, 16);
    if (RegisterCatalogueLike(db) != SQLITE_OK) {
        error = std::string("cannot install the catalogue LIKE: ") + sqlite3_errmsg(db);
        return false;
    }
    sqlite3_set_authorizer(db, &CatalogueReader::Authorize, this);
    // Often enough that a slice ends within a fraction of a millisecond of its time.
    sqlite3_progress_handler(db, 1000, &CatalogueReader::Progress, this);
    return true;
}

int CatalogueReader::Authorize(void* self, int action, const char* a, const char* b,
                               const char* dbName, const char* /*trigger*/) {
    auto* catalogue = static_cast<CatalogueReader*>(self);
    auto deny = [&](std::string why) {
        if (catalogue->denial.empty()) {
            catalogue->denial = std::move(why);
        }
        return SQLITE_DENY;
    };
    switch (action) {
    case SQLITE_SELECT:
        return SQLITE_OK;
    case SQLITE_READ:
        if (dbName != nullptr && std::strcmp(dbName, "main") != 0) {
            return deny("si pu\xF2 leggere solo il catalogo.");
        }
        if (IsCatalogueTable(a)) {
            return SQLITE_OK;
        }
        // Names come from the catalogue file (UTF-8); the reason goes to the client.
        return deny("la tabella " + Utf8ToCp1252(a != nullptr ? a : "") +
                    " non fa parte del catalogo.");
    case SQLITE_FUNCTION:
        if (IsAllowedFunction(b)) {
            return SQLITE_OK;
        }
        return deny("la funzione " + Utf8ToCp1252(b != nullptr ? b : "") + " non \xE8 ammessa.");
    case SQLITE_PRAGMA:
        return deny("i comandi PRAGMA non sono ammessi.");
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        return deny("non \xE8 ammesso collegare altri database.");
    case SQLITE_RECURSIVE:
        return deny("le ricerche ricorsive non sono ammesse.");
    default:
        return deny("il catalogo si pu\xF2 solo consultare.");
    }
}

int CatalogueReader::Progress(void* self) {
    auto* reader = static_cast<CatalogueReader*>(self);
    return reader->control != nullptr ? reader->control->Tick() : 0;
}

CatalogueReader::Prepared CatalogueReader::Prepare(const std::string& sql) {
    Prepared result;
    denial.clear();
    if (sql.size() > static_cast<size_t>(Catalogue::MaxSqlBytes)) {
        result.Error = "Richiesta troppo lunga.";
        return result;
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), 0, &stmt, &tail);
    // The authorizer's Italian reason carries Windows-1252 bytes already; SQLite's own messages
    // are UTF-8 and are converted.
    if (rc != SQLITE_OK) {
        if (!denial.empty()) {
            result.Error = "Richiesta non consentita: " + denial;
        } else if (rc == SQLITE_TOOBIG) {
            result.Error = "Richiesta troppo lunga.";
        } else {
            result.Error = "Errore nella richiesta: " + ItalianSqlError(sqlite3_errmsg(db));
        }
        sqlite3_finalize(stmt);
        return result;
    }
    const char* end = sql.data() + sql.size();
    std::string rest(tail != nullptr ? tail : end, end);
    if (!OnlyBlanks(rest.c_str()) || rest.find('\0') != std::string::npos) {
        sqlite3_finalize(stmt);
        result.Error = "Richiesta non consentita: \xE8 ammessa una sola istruzione.";
        return result;
    }
    if (stmt == nullptr) {
        result.Error = "Richiesta vuota.";
        return result;
    }
    if (!sqlite3_stmt_readonly(stmt)) {
        sqlite3_finalize(stmt);
        result.Error = "Richiesta non consentita: il catalogo si pu\xF2 solo consultare.";
        return result;
    }
    result.Statement = stmt;
    return result;
}
