// A works search returning the whole of a large catalogue, from the click on "&Procedi" to the
// results browser showing record 1, and the export of those works to a file. Prints the
// figures; the client's peak memory is this process's VmHWM (the server runs apart). Beside
// each search, in the same run, its floor: the same query on SQLite alone (the server's LIKE,
// cache and mapping) plus the transfer of the result's bytes over loopback.
//
//   search_bench [--runs N] [--million] [WORKS]
//     WORKS      default 101030: about one work in a hundred is not available, so the search
//                returns just over 100,000
//     --million  1010300 works (just over 1,000,000 found), and the cost per row against a
//                catalogue of 10,100 works searched the same way
//     --runs N   searches per catalogue (default 1); min and median when more

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/CatalogueQuery.h"
#include "core/Cp1252.h"
#include "core/UOrvoCCommon.h"
#include "platform/Text.h"
#include "search/UFormRicercaUtente.h"
#include "search/UFormRisultatiRicerca.h"
#include "server/Wildcard.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TestSettings.h"
#include "tests/support/WaitUntil.h"
#include "ui/UMainForm.h"

namespace {

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

int Fail(const char* what) {
    std::fprintf(stderr, "search_bench: %s\n", what);
    return 1;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::pair<double, double> MinMedian(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[(v.size() - 1) / 2]}; // the lower middle of an even count
}

// The query the client sends for "%" as the title, as the server runs it.
std::string SearchSql() {
    SearchEntries entries;
    entries.Title = "%";
    const QueryTexts q = WorksQuery(EvaluateCriteria(entries).Criteria);
    std::string sql = "SELECT " + Cp1252ToUtf8(q.Select) + " FROM " + Cp1252ToUtf8(q.From);
    if (!q.Where.empty()) {
        sql += " WHERE " + Cp1252ToUtf8(q.Where);
    }
    if (!q.OrderBy.empty()) {
        sql += " ORDER BY " + Cp1252ToUtf8(q.OrderBy);
    }
    return sql;
}

size_t Digits(long n) {
    size_t d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

struct Alone {
    double Seconds = 0;
    long Rows = 0;
    size_t WireBytes = 0; // the result as the server frames it, values in Windows-1252
};

// SQLite alone, one thread, with the server's LIKE, cache and mapping: every cell read as text.
Alone SqliteAlone(const QString& file, const std::string& sql) {
    Alone a;
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toStdString().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    RegisterCatalogueLike(db);
    sqlite3_exec(db, "PRAGMA cache_size = -65536; PRAGMA mmap_size = 1073741824", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "search_bench: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return a;
    }
    const auto start = Clock::now();
    const int cols = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        ++a.Rows;
        if ((a.Rows - 1) % 1024 == 0) {
            a.WireBytes += 48; // a batch's OPERATION, CONTEXT, ITEMSSEND and end
        }
        for (int j = 0; j < cols; ++j) {
            const auto* text = sqlite3_column_text(stmt, j);
            const int bytes = sqlite3_column_bytes(stmt, j);
            size_t chars = 0;
            for (int i = 0; i < bytes; ++i) {
                chars += (text[i] & 0xC0) != 0x80; // one Windows-1252 byte per character
            }
            a.WireBytes += Digits(j + 1) + 1 + Digits(a.Rows) + 1 + chars + 1;
        }
    }
    a.Seconds = Seconds(Clock::now() - start);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return a;
}

// Seconds to move bytes from one loopback TCP socket to another, written and read in 256 KiB
// pieces on two threads.
double LoopbackTransfer(size_t bytes) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return -1;
    }
    int sender = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(sender);
        ::close(listener);
        return -1;
    }
    int receiver = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    const auto start = Clock::now();
    std::thread writer([sender, bytes] {
        std::vector<char> piece(256 * 1024, 'x');
        size_t left = bytes;
        while (left > 0) {
            const ssize_t n = ::write(sender, piece.data(), std::min(left, piece.size()));
            if (n <= 0) {
                break;
            }
            left -= static_cast<size_t>(n);
        }
    });
    std::vector<char> piece(256 * 1024);
    size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::read(receiver, piece.data(), piece.size());
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    const double took = Seconds(Clock::now() - start);
    writer.join();
    ::close(sender);
    ::close(receiver);
    return took;
}

struct CatalogueFigures {
    long Works = 0;
    int Rows = 0;
    std::vector<double> Search;   // click to record 1, seconds
    std::vector<double> Floor;    // SQLite alone + loopback transfer
    std::vector<double> SqlOnly;  // SQLite alone
    std::vector<double> Transfer; // loopback transfer of the same bytes
    size_t WireBytes = 0;
    // VmHWM after the first search, before any floor: SQLite's mapped pages count as this
    // process's memory once the floor has run.
    double PeakMB = 0;
};

// Builds the catalogue, starts a server on it and runs the search runs times through the real
// windows, each followed by its floor; the export after the last.
int RunCatalogue(const QString& folder, long works, int runs, bool exportToo,
                 CatalogueFigures& figures) {
    figures.Works = works;
    const QString db = folder + QString("/large-%1.db").arg(works);
    QElapsedTimer clock;
    clock.start();
    if (QProcess::execute(ORVO_SERVER_PATH,
                          {"--create-large", db, "--works", QString::number(works)}) != 0) {
        return Fail("--create-large failed");
    }
    std::printf("catalogue of %ld works created in %.2f s\n", works, clock.elapsed() / 1000.0);

    QProcess server;
    server.start(ORVO_SERVER_PATH, {"--db", db, "--port", "0"});
    if (!server.waitForStarted(10000) || !WaitUntil([&] { return server.canReadLine(); }, 10000)) {
        return Fail("orvo-server did not start");
    }
    const unsigned port = QString::fromUtf8(server.readLine()).trimmed().section(':', -1).toUInt();
    TestSettings settings;
    if (!settings.Store(port)) {
        return Fail("settings not stored");
    }
    RecordingDesktop desk;

    new TMainForm;
    if (!WaitUntil([] { return ActiveSocket != nullptr && Idle; }, 10000)) {
        return Fail("no connection");
    }
    MainForm->show();
    const std::string sql = SearchSql();

    for (int run = 0; run < runs; ++run) {
        // "%" is a title of no significant characters and no "*" or "?": usable as typed, and
        // the server's LIKE takes it as any run of characters, so every available work matches.
        QElapsedTimer search;
        auto* trigger = new QTimer;
        trigger->setInterval(5);
        QObject::connect(trigger, &QTimer::timeout, [&search, trigger] {
            if (FormRicercaUtente->isVisible()) {
                trigger->stop();
                trigger->deleteLater();
                FormRicercaUtente->EditTitolo->setText("%");
                search.start();
                FormRicercaUtente->ButtonProcedi->click();
            }
        });
        trigger->start();
        // The longest stretch without the event loop turning, while the rows arrive: the
        // window must not freeze between batches.
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        qint64 longestGapEnd = 0;
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (search.isValid()) {
                const qint64 gap = sinceTick.restart();
                if (gap > longestGap) {
                    longestGap = gap;
                    longestGapEnd = search.elapsed();
                }
            } else {
                sinceTick.restart();
            }
        });
        sinceTick.start();
        ticker.start();
        MainForm->ButtonAutore->click();
        auto shown = [] {
            TFormRisultatiRicerca* b = MainForm->CurrentResults;
            return b != nullptr && b->isVisible() && b->Record == 1 &&
                   !b->MemoOpera->toPlainText().isEmpty();
        };
        if (!WaitUntil(shown, 600000)) {
            return Fail("the results browser did not show");
        }
        const double searchSeconds = search.elapsed() / 1000.0;
        ticker.stop();
        TFormRisultatiRicerca* browser = MainForm->CurrentResults;
        figures.Rows = browser->Table.RowCount();
        std::printf("search %d: %d works, click on \"&Procedi\" to record 1 in %.3f s; longest "
                    "pause of the event loop %lld ms, ending %lld ms after the click\n",
                    run + 1, figures.Rows, searchSeconds, static_cast<long long>(longestGap),
                    static_cast<long long>(longestGapEnd));
        std::printf("client peak memory (VmHWM) after the search: %.1f MB\n",
                    PeakKilobytes() / 1024.0);
        if (run == 0) {
            figures.PeakMB = PeakKilobytes() / 1024.0;
        }
        std::fflush(stdout);

        if (exportToo && run + 1 == runs) {
            const QString file = folder + "/risultati.txt";
            desk.SaveReplies = {file.toStdString()};
            QElapsedTimer exportClock;
            exportClock.start();
            browser->ButtonSalva->click();
            const double exportSeconds = exportClock.elapsed() / 1000.0;
            const bool saved = !desk.Boxes.empty() && desk.Last().Text == "File salvato.";
            std::printf("export: %d works, %lld bytes in %.3f s (%s)\n", figures.Rows,
                        static_cast<long long>(QFileInfo(file).size()), exportSeconds,
                        saved ? "File salvato." : "FAILED");
            std::printf("client peak memory (VmHWM) after the export: %.1f MB%s\n",
                        PeakKilobytes() / 1024.0,
                        run == 0 ? "" : " (floors' mapped pages included)");
            QFile::remove(file);
            if (!saved) {
                return 1;
            }
        }
        browser->ButtonChiudi->click();
        if (!WaitUntil([] { return MainForm->CurrentResults == nullptr && Idle; }, 10000)) {
            return Fail("the browser did not close");
        }

        const Alone alone = SqliteAlone(db, sql);
        const double transfer = LoopbackTransfer(alone.WireBytes);
        if (alone.Rows != figures.Rows || transfer < 0) {
            return Fail("the floor did not measure the same result");
        }
        figures.WireBytes = alone.WireBytes;
        figures.Search.push_back(searchSeconds);
        figures.SqlOnly.push_back(alone.Seconds);
        figures.Transfer.push_back(transfer);
        figures.Floor.push_back(alone.Seconds + transfer);
        std::printf("floor %d: SQLite alone %.3f s + loopback transfer of %.1f MB %.3f s = "
                    "%.3f s; search / floor %.2fx\n",
                    run + 1, alone.Seconds, alone.WireBytes / 1e6, transfer,
                    alone.Seconds + transfer, searchSeconds / (alone.Seconds + transfer));
        std::fflush(stdout);
    }
    delete MainForm;
    server.terminate();
    server.waitForFinished(5000);
    QFile::remove(db);
    return 0;
}

void Summary(const CatalogueFigures& f) {
    const auto [searchMin, searchMedian] = MinMedian(f.Search);
    const auto [floorMin, floorMedian] = MinMedian(f.Floor);
    const auto [sqlMin, sqlMedian] = MinMedian(f.SqlOnly);
    const auto [moveMin, moveMedian] = MinMedian(f.Transfer);
    std::printf("\n%ld works (%d found, %.1f MB on the wire), %zu runs:\n", f.Works, f.Rows,
                f.WireBytes / 1e6, f.Search.size());
    std::printf("  click to record 1           min %8.3f s  median %8.3f s\n", searchMin,
                searchMedian);
    std::printf("  floor: SQLite + transfer    min %8.3f s  median %8.3f s\n", floorMin,
                floorMedian);
    std::printf("    SQLite alone              min %8.3f s  median %8.3f s\n", sqlMin, sqlMedian);
    std::printf("    loopback transfer         min %8.3f s  median %8.3f s\n", moveMin, moveMedian);
    std::printf("  search / floor (medians) %.2fx; per row %.2f us (floor %.2f us)\n",
                searchMedian / floorMedian, searchMedian / f.Rows * 1e6,
                floorMedian / f.Rows * 1e6);
    std::printf("  client peak memory after the first search: %.1f MB\n", f.PeakMB);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", work.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", (work.path() + "/machine").toUtf8());
    QApplication app(argc, argv);
    long works = 101030;
    int runs = 1;
    bool million = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--million") {
            million = true;
            works = 1010300;
        } else {
            works = std::atol(argv[i]);
        }
    }
    CatalogueFigures small;
    if (million && RunCatalogue(work.path(), 10100, runs, false, small) != 0) {
        return 1;
    }
    CatalogueFigures large;
    if (RunCatalogue(work.path(), works, runs, true, large) != 0) {
        return 1;
    }
    if (million) {
        Summary(small);
    }
    Summary(large);
    if (million) {
        const double perRowSmall = MinMedian(small.Search).second / small.Rows;
        const double perRowLarge = MinMedian(large.Search).second / large.Rows;
        const double floorSmall = MinMedian(small.Floor).second / small.Rows;
        const double floorLarge = MinMedian(large.Floor).second / large.Rows;
        std::printf("\nper-row cost, %ld / %ld works: search %.2fx, floor %.2fx\n", large.Works,
                    small.Works, perRowLarge / perRowSmall, floorLarge / floorSmall);
    }
    return 0;
}
