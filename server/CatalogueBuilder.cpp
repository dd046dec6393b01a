#include "server/CatalogueBuilder.h"
#include "server/PartFiles.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <unistd.h>
#include <vector>

extern const char* const SampleCatalogueSql;

const char* const CatalogueTablesSql = R"SQL(
CREATE TABLE Classi(ClasseId INTEGER PRIMARY KEY, ClasseNome TEXT);
CREATE TABLE Autori(AutoreId INTEGER PRIMARY KEY, AutoreNome TEXT);
CREATE TABLE Editori(EditoreId INTEGER PRIMARY KEY, EditoreNome TEXT);
CREATE TABLE Opere(OperaId INTEGER PRIMARY KEY, Titolo TEXT, Sottotitolo TEXT,
                   Edizione INTEGER, Pagine INTEGER, Descrizione TEXT,
                   AutoreId INTEGER, EditoreId INTEGER, ClasseId INTEGER);
CREATE TABLE Catalogo(CatalogoId INTEGER PRIMARY KEY, OperaId INTEGER, nCD INTEGER,
                      Cassette INTEGER, Minuti INTEGER, DataIncisione TEXT,
                      AnnoIncisione INTEGER, TipoRegistrazione TEXT, CodOrigine TEXT,
                      Disponibile BOOLEAN NOT NULL DEFAULT 1 CHECK (Disponibile IN (0, 1)));
CREATE TABLE Provenienza(ProvenienzaId INTEGER PRIMARY KEY, RagioneSociale TEXT,
                         Indirizzo TEXT, Localita TEXT, CAP TEXT, Provincia TEXT,
                         Telefono TEXT, FAX TEXT, EMail TEXT,
                         CentroOrvo BOOLEAN NOT NULL DEFAULT 0 CHECK (CentroOrvo IN (0, 1)));
CREATE TABLE Presenza(CatalogoId INTEGER, ProvenienzaId INTEGER,
                      PRIMARY KEY (CatalogoId, ProvenienzaId));
)SQL";

// The works search reads every column of Opere in title order, and every column of Catalogo for
// each work. Indexes that carry those columns keep the whole scan in index order; with bare
// indexes each row costs a jump into the tables, and on a large catalogue those jumps miss every
// cache, so the cost per row grew with the catalogue. The price is disk space, which a catalogue
// that is written once and read all day can afford. Built after the rows, in one pass each.
const char* const CatalogueIndexesSql = R"SQL(
CREATE INDEX OpereTitolo ON Opere(Titolo, OperaId, AutoreId, EditoreId, ClasseId, Edizione,
                                  Pagine, Sottotitolo, Descrizione);
CREATE INDEX CatalogoOpera ON Catalogo(OperaId, CatalogoId, Disponibile, nCD, Cassette, Minuti,
                                       DataIncisione, AnnoIncisione, TipoRegistrazione,
                                       CodOrigine);
CREATE INDEX PresenzaProvenienza ON Presenza(ProvenienzaId);
)SQL";

namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

bool Exec(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        error = message != nullptr ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        return false;
    }
    return true;
}

// Flushes a file, or a directory's entries, to the disk.
bool SyncToDisk(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (!ok) {
        error = "cannot sync " + path + " to disk: " + std::strerror(errno);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

// Writes into path.part with fill, then renames it into place.
bool BuildFile(const std::string& path, std::string& error,
               const std::function<bool(sqlite3*, std::string&)>& fill) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        error = path + " already exists";
        return false;
    }
    std::string part = path + ".part";
    std::filesystem::remove(part, ec);
    const PartFile unfinished(part);
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(part.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    DbHandle db(raw);
    bool ok = rc == SQLITE_OK;
    if (!ok) {
        error = "cannot create " + part + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    }
    ok = ok && Exec(raw, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;", error);
    ok = ok && Exec(raw, "BEGIN", error) && Exec(raw, CatalogueTablesSql, error) &&
         fill(raw, error) && Exec(raw, CatalogueIndexesSql, error) && Exec(raw, "COMMIT", error);
    ok = ok && Exec(raw, "PRAGMA journal_mode = DELETE", error);
    db.reset();
    // Written without syncing for speed, so synced once whole: a crash after the rename must
    // not leave a catalogue with pages missing.
    ok = ok && SyncToDisk(part, error);
    if (ok) {
        std::filesystem::rename(part, path, ec);
        if (ec) {
            error = "cannot rename " + part + " to " + path + ": " + ec.message();
            ok = false;
        }
    }
    if (!ok) {
        std::filesystem::remove(part, ec);
        return false;
    }
    return SyncToDisk(std::filesystem::absolute(path, ec).parent_path().string(), error);
}

// splitmix64: small, fast and the same on every platform.
class Random {
public:
    explicit Random(unsigned long long seed) : state(seed) {}
    unsigned long long Next() {
        unsigned long long z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    long long Below(long long n) {
        return static_cast<long long>(Next() % static_cast<unsigned long long>(n));
    }
    long long Between(long long lo, long long hi) { return lo + Below(hi - lo + 1); }
    bool Percent(int p) { return Below(100) < p; }
    template <size_t N> std::string_view Pick(const std::array<std::string_view, N>& words) {
        return words[static_cast<size_t>(Below(static_cast<long long>(N)))];
    }

private:
    unsigned long long state;
};

const std::array<std::string_view, 12> Genres = {"Narrativa",  "Poesia",
                                                 "Teatro",     "Libri per ragazzi",
                                                 "Saggistica", "Memorie e lettere",
                                                 "Storia",     "Viaggi",
                                                 "Gialli",     "Fiabe",
                                                 "Filosofia",  "Scienze"};
const std::array<std::string_view, 32> FirstNames = {
    "Anna",   "Marco",   "Giulia",  "Luca",    "Francesca", "Paolo",    "Chiara",   "Andrea",
    "Elena",  "Giorgio", "Sara",    "Matteo",  "Lucia",     "Nicolò",   "Beatrice", "Davide",
    "Silvia", "Fabio",   "Alessia", "Stefano", "Marta",     "Riccardo", "Ilaria",   "Tommaso",
    "Laura",  "Simone",  "Irene",   "Pietro",  "Caterina",  "Michele",  "Noemi",    "Gianluca"};
const std::array<std::string_view, 32> LastNames = {
    "Rossi",  "Bianchi",  "Ferrari", "Esposito", "Romano",  "Colombo", "Ricci",   "Marino",
    "Greco",  "Bruno",    "Gallo",   "Conti",    "De Luca", "Mancini", "Costa",   "Giordano",
    "Rizzo",  "Lombardi", "Moretti", "Barbieri", "Fontana", "Santoro", "Mariani", "Rinaldi",
    "Caruso", "Ferrara",  "Galli",   "Martini",  "Leone",   "Longo",   "Gentile", "D'Angelo"};
const std::array<std::string_view, 48> Words = {
    "mare",    "città",    "notte",    "giardino", "viaggio", "memoria", "silenzio", "ombra",
    "fiume",   "montagna", "lettera",  "voce",     "estate",  "inverno", "sogno",    "porto",
    "stella",  "campagna", "strada",   "finestra", "isola",   "tempo",   "cuore",    "vento",
    "casa",    "bosco",    "ritorno",  "segreto",  "pioggia", "luce",    "confine",  "piazza",
    "libertà", "speranza", "famiglia", "paese",    "guerra",  "pace",    "amicizia", "nebbia",
    "perché",  "sera",     "alba",     "treno",    "scuola",  "lago",    "collina",  "caffè"};
const std::array<std::string_view, 16> Joins = {
    "del",  "della", "di",       "nel",      "sulla", "tra le", "dopo la",  "verso il",
    "e il", "e la",  "sotto il", "oltre il", "dei",   "delle",  "lungo il", "dentro la"};
const std::array<std::string_view, 12> Cities = {"Torino",  "Milano",   "Genova", "Bologna",
                                                 "Firenze", "Roma",     "Napoli", "Bari",
                                                 "Palermo", "Cagliari", "Forlì",  "Venezia"};
const std::array<std::string_view, 12> Provinces = {"TO", "MI", "GE", "BO", "FI", "RM",
                                                    "NA", "BA", "PA", "CA", "FC", "VE"};

std::string Capitalised(std::string_view word) {
    std::string out(word);
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') {
        out[0] = static_cast<char>(out[0] - 32);
    }
    return out;
}

std::string Title(Random& r) {
    static const std::array<std::string_view, 6> Articles = {"Il", "La", "Le", "I", "Lo", "Una"};
    std::string t = r.Percent(50) ? std::string(r.Pick(Articles)) + " " + std::string(r.Pick(Words))
                                  : Capitalised(r.Pick(Words));
    int parts = static_cast<int>(r.Between(0, 3));
    for (int i = 0; i < parts; ++i) {
        t += " ";
        t += r.Pick(Joins);
        t += " ";
        t += r.Pick(Words);
    }
    return t;
}

std::string Sentence(Random& r, size_t maxBytes) {
    std::string s = Capitalised(r.Pick(Words));
    while (s.size() < maxBytes) {
        std::string_view next = r.Percent(30) ? r.Pick(Joins) : r.Pick(Words);
        if (s.size() + next.size() + 2 > maxBytes) {
            break;
        }
        s += r.Percent(8) ? ", " : " ";
        s += next;
    }
    s += ".";
    return s;
}

std::string Description(Random& r) {
    size_t target = static_cast<size_t>(r.Between(40, 200));
    std::string d = Sentence(r, target / 2);
    while (d.size() + 12 < target) {
        d += r.Percent(15) ? "\n" : " ";
        d += Sentence(r, target - d.size() - 1);
        if (r.Percent(10) && d.size() + 20 < target) {
            d += " L'opera è letta per intero.";
        }
    }
    return d;
}

class Inserter {
public:
    Inserter(sqlite3* db, const char* sql) : db(db) {
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    }
    ~Inserter() { sqlite3_finalize(stmt); }
    Inserter& Int(long long v) {
        sqlite3_bind_int64(stmt, ++column, v);
        return *this;
    }
    Inserter& Text(const std::string& v) {
        sqlite3_bind_text(stmt, ++column, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Inserter& Null() {
        sqlite3_bind_null(stmt, ++column);
        return *this;
    }
    bool Run(std::string& error) {
        column = 0;
        int rc = stmt != nullptr ? sqlite3_step(stmt) : SQLITE_ERROR;
        if (stmt != nullptr) {
            sqlite3_reset(stmt);
        }
        if (rc != SQLITE_DONE) {
            error = sqlite3_errmsg(db);
            return false;
        }
        return true;
    }

private:
    sqlite3* db;
    sqlite3_stmt* stmt = nullptr;
    int column = 0;
};

bool FillLarge(sqlite3* db, long long works, unsigned long long seed, std::string& error) {
    Random r(seed);
    long long authors = std::max(1LL, works / 20);
    long long publishers = std::max(1LL, works / 200);
    long long centres = std::max(10LL, works / 2000);

    Inserter genre(db, "INSERT INTO Classi VALUES (?, ?)");
    for (size_t i = 0; i < Genres.size(); ++i) {
        if (!genre.Int(static_cast<long long>(i) + 1).Text(std::string(Genres[i])).Run(error)) {
            return false;
        }
    }
    Inserter author(db, "INSERT INTO Autori VALUES (?, ?)");
    for (long long i = 1; i <= authors; ++i) {
        std::string name = std::string(r.Pick(FirstNames)) + " " + std::string(r.Pick(LastNames));
        if (!author.Int(i).Text(name).Run(error)) {
            return false;
        }
    }
    Inserter publisher(db, "INSERT INTO Editori VALUES (?, ?)");
    for (long long i = 1; i <= publishers; ++i) {
        std::string name = "Edizioni " + Capitalised(r.Pick(Words)) + " " + std::to_string(i);
        if (!publisher.Int(i).Text(name).Run(error)) {
            return false;
        }
    }
    Inserter centre(db, "INSERT INTO Provenienza VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (long long i = 1; i <= centres + 1; ++i) {
        size_t city = static_cast<size_t>(r.Below(static_cast<long long>(Cities.size())));
        std::string name =
            i == 1 ? std::string("Sede centrale del Servizio Orvo")
                   : "Centro Orvo " + std::to_string(i) + " di " + std::string(Cities[city]);
        std::string mail = "centro" + std::to_string(i) + "@example.org";
        std::string phone = "0" + std::to_string(r.Between(10, 99)) + " 555" +
                            std::to_string(r.Between(1000, 9999));
        centre.Int(i).Text(name).Text("Via " + Capitalised(r.Pick(Words)) + " " +
                                      std::to_string(r.Between(1, 200)));
        centre.Text(std::string(Cities[city])).Text(std::to_string(r.Between(10000, 98999)));
        centre.Text(std::string(Provinces[city])).Text(phone).Text(r.Percent(50) ? phone : "");
        centre.Text(r.Percent(90) ? mail : "").Int(r.Percent(95) || i == 1 ? 1 : 0);
        if (!centre.Run(error)) {
            return false;
        }
    }

    Inserter work(db, "INSERT INTO Opere VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Inserter item(db, "INSERT INTO Catalogo VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Inserter holding(db, "INSERT OR IGNORE INTO Presenza VALUES (?, ?)");
    static const std::array<std::string_view, 3> Kinds = {"Amatoriale", "Professionale", ""};
    static const std::array<std::string_view, 6> Codes = {"NA", "PO", "TE", "RA", "SA", "ME"};
    for (long long i = 1; i <= works; ++i) {
        work.Int(i).Text(Title(r));
        if (r.Percent(30)) {
            work.Text(Sentence(r, 60));
        } else {
            work.Null();
        }
        work.Int(r.Percent(10) ? 0 : r.Between(1900, 2024));
        if (r.Percent(5)) {
            work.Null();
        } else {
            work.Int(r.Percent(2) ? 0 : r.Between(40, 1200));
        }
        work.Text(Description(r)).Int(r.Between(1, authors)).Int(r.Between(1, publishers));
        work.Int(r.Between(1, static_cast<long long>(Genres.size())));
        if (!work.Run(error)) {
            return false;
        }

        item.Int(i).Int(i);
        if (r.Percent(20)) {
            item.Null();
        } else {
            item.Int(r.Between(1, 6));
        }
        item.Int(r.Percent(25) ? 0 : r.Between(1, 20)).Int(r.Between(30, 2400));
        if (r.Percent(10)) {
            item.Text("000000000").Int(0);
        } else {
            long long year = r.Between(1970, 2025);
            char date[16];
            std::snprintf(date, sizeof date, "0%04lld%02lld%02lld", year, r.Between(1, 12),
                          r.Between(1, 28));
            item.Text(date).Int(year);
        }
        char code[24];
        std::snprintf(code, sizeof code, "%s-%06lld", std::string(r.Pick(Codes)).c_str(), i);
        item.Text(std::string(r.Pick(Kinds))).Text(code).Int(r.Percent(1) ? 0 : 1);
        if (!item.Run(error)) {
            return false;
        }

        long long holders = r.Percent(10) ? 0 : r.Between(1, 3);
        for (long long h = 0; h < holders; ++h) {
            if (!holding.Int(i).Int(r.Between(2, centres + 1)).Run(error)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool WriteSampleCatalogue(sqlite3* db, std::string& error) {
    return Exec(db, "BEGIN", error) && Exec(db, CatalogueTablesSql, error) &&
           Exec(db, SampleCatalogueSql, error) && Exec(db, CatalogueIndexesSql, error) &&
           Exec(db, "COMMIT", error);
}

bool BuildCatalogueFile(const std::string& path, std::string& error,
                        const std::function<bool(sqlite3*, std::string&)>& fill) {
    return BuildFile(path, error, fill);
}

bool CreateSampleFile(const std::string& path, std::string& error) {
    return BuildFile(path, error,
                     [](sqlite3* db, std::string& e) { return Exec(db, SampleCatalogueSql, e); });
}

bool CreateLargeFile(const std::string& path, long long works, unsigned long long seed,
                     std::string& error) {
    return BuildFile(path, error,
                     [&](sqlite3* db, std::string& e) { return FillLarge(db, works, seed, e); });
}
