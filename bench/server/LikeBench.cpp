// The catalogue's LIKE against SQLite's built-in one, on the same queries over a large synthetic
// catalogue: the compiled matcher the server installs, and the first implementation (decoding
// both texts on every row) for comparison. SQLite's LIKE is the floor: it knows only '%' and '_'
// and folds only ASCII, so each query is given to it with those wildcards, on data where the
// answers agree.
//
// Run: orvo_server_like_bench [--works N] [--runs R] [--keep DIR] [--only TEXT-IN-QUERY-NAME]

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "server/CatalogueBuilder.h"
#include "server/Wildcard.h"
#include "tests/server/ReferenceLike.h"

namespace {

struct Query {
    const char* Name;
    std::string Sql; // with the catalogue's wildcards
};

// The wildcards inside quotes become SQL's.
std::string ForSqlite(std::string sql) {
    bool quoted = false;
    for (char& c : sql) {
        if (c == '\'') {
            quoted = !quoted;
        } else if (quoted && c == '*') {
            c = '%';
        } else if (quoted && c == '?') {
            c = '_';
        }
    }
    return sql;
}

// The works search the client sends for a title, as a reader types it.
std::string WorksSearch(const std::string& pattern) {
    return "SELECT Opere.OperaId, Opere.Titolo, Opere.Edizione, Opere.Pagine, Opere.Sottotitolo, "
           "Opere.Descrizione, Catalogo.nCD, Catalogo.Cassette, Catalogo.Minuti, "
           "Catalogo.DataIncisione, Catalogo.TipoRegistrazione, Catalogo.CodOrigine, "
           "Catalogo.CatalogoId, Autori.AutoreNome, Editori.EditoreNome, Classi.ClasseNome "
           "FROM Opere, Autori, Editori, Classi, Catalogo WHERE (Catalogo.Disponibile <> 0 ) AND "
           "(Catalogo.OperaId = Opere.OperaId) AND (Autori.AutoreId = Opere.AutoreId) AND "
           "(Opere.EditoreId = Editori.EditoreId) AND (Classi.ClasseId = Opere.ClasseId) AND "
           "(Opere.Titolo LIKE '" +
           pattern + "') ORDER BY Opere.Titolo";
}

struct Variant {
    const char* Name;
    sqlite3* Db = nullptr;
    bool Builtin = false;
};

sqlite3* Open(const std::string& file, int (*install)(sqlite3*)) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", file.c_str());
        std::exit(1);
    }
    // A page cache that holds the whole catalogue: after the warm-up no variant reads the file,
    // so the times differ by the LIKE alone.
    sqlite3_exec(db, "PRAGMA cache_size = -1048576", nullptr, nullptr, nullptr);
    if (install != nullptr && install(db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot install like()\n");
        std::exit(1);
    }
    return db;
}

// The time this thread has spent on the CPU: the machine is shared, and time other processes
// take from the benchmark would otherwise count against whichever variant was running.
double CpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Steps every row; returns the row count and the time taken.
long long RunOnce(sqlite3* db, const std::string& sql, double& ms) {
    double start = CpuMs();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n%s\n", sqlite3_errmsg(db), sql.c_str());
        std::exit(1);
    }
    long long rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        ++rows;
    }
    sqlite3_finalize(stmt);
    ms = CpuMs() - start;
    return rows;
}

struct Timing {
    double Min = 0;
    double Median = 0;
};

Timing Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples.front(), samples[samples.size() / 2]};
}

} // namespace

int main(int argc, char** argv) {
    long long works = 100000;
    int runs = 9;
    std::string keep;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--works") == 0) {
            works = std::atoll(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = argv[i + 1];
        } else if (std::strcmp(argv[i], "--only") == 0) {
            only = argv[i + 1];
        }
    }
    namespace fs = std::filesystem;
    fs::path dir = keep.empty()
                       ? fs::temp_directory_path() / ("like-bench-" + std::to_string(::getpid()))
                       : fs::path(keep);
    fs::create_directories(dir);
    std::string file = (dir / ("large-" + std::to_string(works) + ".db")).string();
    if (!fs::exists(file)) {
        std::string error;
        if (!CreateLargeFile(file, works, 1, error)) {
            std::fprintf(stderr, "cannot create %s: %s\n", file.c_str(), error.c_str());
            return 1;
        }
    }

    std::vector<Variant> variants = {{"sqlite LIKE", Open(file, nullptr), true},
                                     {"first like()", Open(file, RegisterReferenceLike), false},
                                     {"compiled like()", Open(file, RegisterCatalogueLike), false}};
    const std::vector<Query> queries = {
        {"works search '*Il mare*'", WorksSearch("*Il mare*")},
        {"title scan '*Il mare*'", "SELECT OperaId FROM Opere WHERE Titolo LIKE '*Il mare*'"},
        {"title scan '*citt\xC3\xA0*'",
         "SELECT OperaId FROM Opere WHERE Titolo LIKE '*citt\xC3\xA0*'"},
        {"title scan 'la ?e*a*'", "SELECT OperaId FROM Opere WHERE Titolo LIKE 'la ?e*a*'"},
        {"description '*segreto*sera*'",
         "SELECT OperaId FROM Opere WHERE Descrizione LIKE '*segreto*sera*'"},
    };

    std::printf("catalogue: %lld works, %.1f MB; %d timed runs after one warm-up, interleaved; "
                "CPU time of the query's thread; ratios against SQLite's LIKE\n",
                works, static_cast<double>(fs::file_size(file)) / 1e6, runs);
    int status = 0;
    for (const Query& q : queries) {
        if (std::string(q.Name).find(only) == std::string::npos) {
            continue;
        }
        std::vector<std::vector<double>> samples(variants.size());
        std::vector<long long> rows(variants.size());
        for (int run = -1; run < runs; ++run) {
            for (size_t v = 0; v < variants.size(); ++v) {
                double ms = 0;
                std::string sql = variants[v].Builtin ? ForSqlite(q.Sql) : q.Sql;
                rows[v] = RunOnce(variants[v].Db, sql, ms);
                if (run >= 0) {
                    samples[v].push_back(ms);
                }
            }
        }
        std::vector<Timing> t;
        for (auto& s : samples) {
            t.push_back(Summarise(s));
        }
        std::printf("\n%s: %lld rows\n", q.Name, rows[0]);
        for (size_t v = 0; v < variants.size(); ++v) {
            std::printf("  %-16s min %7.2f ms  median %7.2f ms", variants[v].Name, t[v].Min,
                        t[v].Median);
            if (v > 0) {
                std::printf("   %5.2fx min  %5.2fx median", t[v].Min / t[0].Min,
                            t[v].Median / t[0].Median);
            }
            std::printf("\n");
        }
        if (rows[1] != rows[0] || rows[2] != rows[0]) {
            std::printf("  rows differ: %lld %lld %lld\n", rows[0], rows[1], rows[2]);
            status = 1;
        }
    }
    for (Variant& v : variants) {
        sqlite3_close(v.Db);
    }
    if (keep.empty()) {
        fs::remove_all(dir);
    }
    return status;
}
