// orvo-server under load, against real child servers over loopback: throughput with many
// clients, latency of a short query beside long ones, a burst of connections, memory with many
// streaming clients, and the cost per row as the catalogue grows. Every figure comes with its
// floor from the same run (the same query on SQLite alone, in one thread) and, with
// --baseline BINARY, the same load against another build of the server.
//
//   orvo_server_load_bench [--runs N] [--dir DIR] [--baseline BINARY] [--memory-clients N]
//                          [SCENARIO...]
//   SCENARIO: throughput latency burst memory perrow (default: all)

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <thread>

#include "bench/server/BenchClient.h"
#include "server/Wildcard.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::Client;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Summary {
    double Min = 0, Median = 0, Max = 0;
};
Summary Summarise(std::vector<double> v) {
    if (v.empty()) {
        return {};
    }
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}
double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Client i's own loopback address, so the per-address limit sees many readers.
std::string Source(int i) {
    return "127.0.0." + std::to_string(2 + i % 200);
}

const std::string MareWhere = std::string("(Catalogo.Disponibile <> false ) AND ") +
                              bench::WorksJoin + " AND (Opere.Titolo LIKE '*Il mare*')";
const char* const ShortSelect = "ClasseNome"; // 12 genres in a synthetic catalogue
const char* const ShortFrom = "Classi";

struct Setup {
    QString Dir;
    int Runs = 3;
    int MemoryClients = 200;
    std::vector<std::pair<std::string, QString>> Servers; // name, binary
};

QString Catalogue(const Setup& setup, long long works) {
    QString file = QDir(setup.Dir).filePath(QString("large-%1.db").arg(works));
    if (!QFile::exists(file)) {
        std::printf("(building %s)\n", file.toStdString().c_str());
        std::fflush(stdout);
        QProcess::execute(setup.Servers.front().second,
                          {"--create-large", file, "--works", QString::number(works)});
    }
    return file;
}

// SQLite alone, one thread, with the server's LIKE: seconds for one run of the query, and rows.
std::pair<double, long> Alone(const QString& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toStdString().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    RegisterCatalogueLike(db);
    sqlite3_stmt* stmt = nullptr;
    // The same cache and mapping as the server's defaults, warmed by a first run.
    sqlite3_exec(db, "PRAGMA cache_size = -65536; PRAGMA mmap_size = 1073741824", nullptr, nullptr,
                 nullptr);
    sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
    }
    sqlite3_reset(stmt);
    auto start = Clock::now();
    long rows = 0;
    size_t bytes = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        ++rows;
        for (int j = 0; j < sqlite3_column_count(stmt); ++j) {
            sqlite3_column_text(stmt, j);
            bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, j));
        }
    }
    double s = Seconds(Clock::now() - start);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return {s, rows + static_cast<long>(bytes * 0)};
}

std::string Sql(const char* select, const char* from, const std::string& where, const char* order) {
    return std::string("SELECT ") + select + " FROM " + from + " WHERE " + where + " ORDER BY " +
           order;
}

// --- throughput -------------------------------------------------------------------------------

void Throughput(const Setup& setup) {
    QString file = Catalogue(setup, 100000);
    std::vector<double> alone;
    long rows = 0;
    for (int r = 0; r < setup.Runs; ++r) {
        auto [s, n] =
            Alone(file, Sql(bench::WorksSelect, bench::WorksFrom, MareWhere, "Opere.Titolo"));
        alone.push_back(1 / s);
        rows = n;
    }
    Summary floor = Summarise(alone);
    std::printf("\n== throughput: the \"Il mare\" title search (%ld rows) on 100,000 works, "
                "at least 40 queries a run, %d runs\n",
                rows, setup.Runs);
    std::printf("SQLite alone, one thread: %.1f queries/s (min %.1f)\n", floor.Median, floor.Min);
    std::printf("%-10s %8s %10s %10s %9s %9s %10s %8s\n", "server", "clients", "req/s med",
                "req/s min", "p50 ms", "p99 ms", "cpu ms/req", "x alone");
    // Both servers run side by side and take turns, run by run, so that whatever else loads
    // the machine weighs on both alike.
    std::vector<std::unique_ptr<bench::Child>> servers;
    for (const auto& [name, binary] : setup.Servers) {
        servers.push_back(std::make_unique<bench::Child>());
        if (!bench::StartServer(*servers.back(), binary, {"--db", file, "--max-clients", "1000"})) {
            std::printf("%s did not start\n", name.c_str());
            return;
        }
    }
    for (int clients : {1, 10, 50, 200}) {
        // Every client runs the same number of queries, enough for 40 in all: the rate is what
        // was done over the time until the last one ended, whatever the order.
        const int each = std::max(2, 40 / clients);
        std::vector<std::vector<double>> rates(servers.size()), latencies(servers.size()),
            cpu(servers.size());
        for (int r = 0; r < setup.Runs; ++r) {
            for (size_t k = 0; k < servers.size(); ++k) {
                const int port = servers[k]->Port;
                const qint64 pid = servers[k]->Process.processId();
                std::atomic<long> done{0};
                std::mutex mutex;
                std::vector<std::thread> threads;
                std::barrier start(clients + 1);
                for (int i = 0; i < clients; ++i) {
                    threads.emplace_back([&, i] {
                        Client c(port, Source(i), 300000);
                        bool in = c.Login() == "ACCEPTED";
                        start.arrive_and_wait();
                        for (int q = 0; in && q < each; ++q) {
                            auto t0 = Clock::now();
                            auto result = c.Query(bench::WorksSelect, bench::WorksFrom, MareWhere,
                                                  "Opere.Titolo");
                            if (!result.Error.empty()) {
                                break;
                            }
                            ++done;
                            std::lock_guard lock(mutex);
                            latencies[k].push_back(Seconds(Clock::now() - t0) * 1000);
                        }
                    });
                }
                start.arrive_and_wait();
                double cpu0 = bench::CpuSeconds(pid);
                auto began = Clock::now();
                for (auto& t : threads) {
                    t.join();
                }
                rates[k].push_back(static_cast<double>(done) / Seconds(Clock::now() - began));
                cpu[k].push_back((bench::CpuSeconds(pid) - cpu0) * 1000 /
                                 static_cast<double>(std::max(1L, done.load())));
            }
        }
        for (size_t k = 0; k < servers.size(); ++k) {
            Summary s = Summarise(rates[k]);
            std::printf("%-10s %8d %10.1f %10.1f %9.0f %9.0f %10.1f %8.2f",
                        setup.Servers[k].first.c_str(), clients, s.Median, s.Min,
                        Percentile(latencies[k], 0.5), Percentile(latencies[k], 0.99),
                        Summarise(cpu[k]).Median, s.Median / floor.Median);
            if (k > 0) {
                std::printf("   %s/%s %.2f", setup.Servers[0].first.c_str(),
                            setup.Servers[k].first.c_str(),
                            Summarise(rates[0]).Median / std::max(1e-9, s.Median));
            }
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    for (auto& server : servers) {
        server->Process.terminate();
        server->Process.waitForFinished(10000);
    }
}

// --- latency ----------------------------------------------------------------------------------

// Latencies (ms) of the short query, probed every interval while load() runs in other threads.
std::vector<double> Probe(int port, int probes, std::chrono::milliseconds interval,
                          double* loginMs) {
    auto t0 = Clock::now();
    Client c(port, Source(199), 300000);
    c.Login();
    if (loginMs != nullptr) {
        *loginMs = Seconds(Clock::now() - t0) * 1000;
    }
    std::vector<double> out;
    for (int i = 0; i < probes; ++i) {
        auto a = Clock::now();
        auto r = c.Query(ShortSelect, ShortFrom);
        out.push_back(Seconds(Clock::now() - a) * 1000);
        if (!r.Error.empty() || r.Rows != 12) {
            std::printf("  (short query: %s, %ld rows)\n", r.Error.c_str(), r.Rows);
        }
        std::this_thread::sleep_for(interval);
    }
    return out;
}

void Latency(const Setup& setup) {
    QString big = Catalogue(setup, 1000000);
    QString mid = Catalogue(setup, 100000);
    std::printf("\n== latency of a 12-row query (ms), %d runs\n", setup.Runs);
    std::printf("%-10s %-34s %8s %8s %8s %8s\n", "server", "beside", "p50", "p99", "max", "login");
    for (const auto& [name, binary] : setup.Servers) {
        // One client scanning the whole 1,000,000-work catalogue in title order, over and over.
        for (int r = 0; r < setup.Runs; ++r) {
            bench::Child server;
            bench::StartServer(server, binary, {"--db", big});
            std::atomic<bool> stop{false};
            std::thread scanner([&] {
                Client c(server.Port, Source(1), 300000);
                c.Login();
                while (!stop) {
                    c.Query(bench::WorksSelect, bench::WorksFrom, bench::WorksJoin, "Opere.Titolo");
                }
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            std::vector<double> ms =
                Probe(server.Port, 200, std::chrono::milliseconds(20), nullptr);
            stop = true;
            server.Process.terminate();
            server.Process.waitForFinished(10000);
            scanner.join();
            std::printf("%-10s %-34s %8.1f %8.1f %8.1f %8s\n", name.c_str(),
                        "a scan of 1,000,000 works", Percentile(ms, 0.5), Percentile(ms, 0.99),
                        Summarise(ms).Max, "");
            std::fflush(stdout);
        }
        // Four clients each running a sorted 3-way cross join of the works, again and again.
        for (int r = 0; r < setup.Runs; ++r) {
            bench::Child server;
            bench::StartServer(server, binary, {"--db", mid});
            std::atomic<bool> stop{false};
            std::vector<std::thread> heavy;
            for (int i = 0; i < 4; ++i) {
                heavy.emplace_back([&, i] {
                    Client c(server.Port, Source(10 + i), 300000);
                    c.Login();
                    while (!stop) {
                        if (c.Query("a.Titolo, b.Titolo, c.Titolo", "Opere a, Opere b, Opere c", "",
                                    "a.Descrizione, b.Descrizione, c.Descrizione")
                                .Error == "closed") {
                            break;
                        }
                    }
                });
            }
            std::this_thread::sleep_for(std::chrono::seconds(1));
            double login = 0;
            std::vector<double> ms = Probe(server.Port, 5, std::chrono::milliseconds(200), &login);
            stop = true;
            server.Process.terminate();
            server.Process.waitForFinished(10000);
            for (auto& t : heavy) {
                t.join();
            }
            std::printf("%-10s %-34s %8.1f %8.1f %8.1f %8.1f\n", name.c_str(),
                        "4 sorted 3-way cross joins", Percentile(ms, 0.5), Percentile(ms, 0.99),
                        Summarise(ms).Max, login);
            std::fflush(stdout);
        }
    }
}

// --- burst ------------------------------------------------------------------------------------

void Burst(const Setup& setup) {
    const int n = 500;
    std::printf("\n== a burst of %d connections at once, each waiting up to 20 s for its answer\n",
                n);
    std::printf("%-10s %-16s %9s %7s %8s %8s %12s\n", "server", "options", "ACCEPTED", "BUSY",
                "closed", "silent", "slowest ms");
    for (const auto& [name, binary] : setup.Servers) {
        for (const QStringList& extra : {QStringList{}, QStringList{"--max-clients", "100"}}) {
            for (int r = 0; r < setup.Runs; ++r) {
                bench::Child server;
                bench::StartServer(server, binary, extra);
                std::atomic<int> accepted{0}, busy{0}, closed{0}, silent{0};
                std::mutex mutex;
                double slowest = 0;
                std::barrier start(n);
                std::vector<std::thread> threads;
                std::vector<std::unique_ptr<Client>> kept(n);
                for (int i = 0; i < n; ++i) {
                    threads.emplace_back([&, i] {
                        start.arrive_and_wait();
                        auto t0 = Clock::now();
                        kept[i] = std::make_unique<Client>(server.Port, Source(i % 50), 20000);
                        std::string op = kept[i]->Ok() ? kept[i]->Login() : "";
                        double ms = Seconds(Clock::now() - t0) * 1000;
                        if (op == "ACCEPTED") {
                            ++accepted;
                        } else if (op == "BUSY") {
                            ++busy;
                        } else if (ms < 19000) {
                            ++closed;
                        } else {
                            ++silent;
                        }
                        std::lock_guard lock(mutex);
                        slowest = std::max(slowest, ms);
                    });
                }
                for (auto& t : threads) {
                    t.join();
                }
                server.Process.terminate();
                server.Process.waitForFinished(10000);
                std::printf("%-10s %-16s %9d %7d %8d %8d %12.0f\n", name.c_str(),
                            extra.isEmpty() ? "defaults" : extra.join(' ').toStdString().c_str(),
                            accepted.load(), busy.load(), closed.load(), silent.load(), slowest);
                std::fflush(stdout);
            }
        }
    }
}

// --- memory -----------------------------------------------------------------------------------

void Memory(const Setup& setup) {
    QString file = Catalogue(setup, 100000);
    const int clients = setup.MemoryClients;
    std::printf("\n== server peak memory, %d clients each streaming the 100,000 works (heap and "
                "file: the largest RssAnon and RssFile seen)\n",
                clients);
    std::printf("%-10s %10s %10s %10s %10s %12s %10s\n", "server", "idle MB", "peak MB", "heap MB",
                "file MB", "rows each", "seconds");
    for (const auto& [name, binary] : setup.Servers) {
        for (int r = 0; r < std::min(setup.Runs, 2); ++r) {
            bench::Child server;
            bench::StartServer(server, binary, {"--db", file, "--max-clients", "1000"});
            long idle = bench::MemoryKiB(server.Process.processId());
            std::atomic<long> least{1L << 40};
            std::vector<std::thread> threads;
            auto t0 = Clock::now();
            for (int i = 0; i < clients; ++i) {
                threads.emplace_back([&, i] {
                    Client c(server.Port, Source(i), 600000);
                    c.Login();
                    auto result = c.Query(bench::WorksSelect, bench::WorksFrom, bench::WorksJoin,
                                          "Opere.Titolo");
                    long seen = least.load();
                    while (result.Rows < seen && !least.compare_exchange_weak(seen, result.Rows)) {
                    }
                });
            }
            // What the peak is made of: the process's own memory and the catalogue's pages.
            std::atomic<bool> over{false};
            long anon = 0, mapped = 0;
            std::thread sampler([&] {
                while (!over) {
                    anon = std::max(anon, bench::MemoryKiB(server.Process.processId(), "RssAnon:"));
                    mapped =
                        std::max(mapped, bench::MemoryKiB(server.Process.processId(), "RssFile:"));
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            });
            for (auto& t : threads) {
                t.join();
            }
            over = true;
            sampler.join();
            double s = Seconds(Clock::now() - t0);
            long peak = bench::MemoryKiB(server.Process.processId());
            server.Process.terminate();
            server.Process.waitForFinished(10000);
            std::printf("%-10s %10.1f %10.1f %10.1f %10.1f %12ld %10.1f\n", name.c_str(),
                        idle / 1024.0, peak / 1024.0, anon / 1024.0, mapped / 1024.0, least.load(),
                        s);
            std::fflush(stdout);
        }
    }
}

// --- per row ----------------------------------------------------------------------------------

void PerRow(const Setup& setup) {
    std::printf("\n== cost per row of the title-ordered scan of every work, %d runs (median)\n",
                setup.Runs);
    std::printf("%-10s %10s %14s %14s %12s\n", "server", "works", "server us/row", "alone us/row",
                "rows/s");
    std::map<std::string, std::map<long long, double>> cost;
    std::map<long long, double> alone;
    for (long long works : {10000LL, 1000000LL}) {
        QString file = Catalogue(setup, works);
        std::vector<double> a;
        for (int r = 0; r < setup.Runs; ++r) {
            auto [s, n] = Alone(
                file, Sql(bench::WorksSelect, bench::WorksFrom, bench::WorksJoin, "Opere.Titolo"));
            a.push_back(s / static_cast<double>(n) * 1e6);
        }
        alone[works] = Summarise(a).Median;
        for (const auto& [name, binary] : setup.Servers) {
            bench::Child server;
            bench::StartServer(server, binary, {"--db", file});
            std::vector<double> us, rates;
            for (int r = 0; r < setup.Runs; ++r) {
                Client c(server.Port, Source(1), 300000);
                c.Login();
                // A million rows a measurement whatever the catalogue, so the system's 10 ms
                // ticks of processor time weigh alike.
                const long long repeats = std::max(1LL, 1000000 / works);
                double cpu0 = bench::CpuSeconds(server.Process.processId());
                auto t0 = Clock::now();
                long rows = 0;
                for (long long k = 0; k < repeats; ++k) {
                    rows += c.Query(bench::WorksSelect, bench::WorksFrom, bench::WorksJoin,
                                    "Opere.Titolo")
                                .Rows;
                }
                double wall = Seconds(Clock::now() - t0);
                double cpu = bench::CpuSeconds(server.Process.processId()) - cpu0;
                us.push_back(cpu / static_cast<double>(std::max(1L, rows)) * 1e6);
                rates.push_back(static_cast<double>(rows) / wall);
            }
            server.Process.terminate();
            server.Process.waitForFinished(10000);
            cost[name][works] = Summarise(us).Median;
            std::printf("%-10s %10lld %14.2f %14.2f %12.0f\n", name.c_str(), works,
                        Summarise(us).Median, alone[works], Summarise(rates).Median);
            std::fflush(stdout);
        }
    }
    for (const auto& [name, byWorks] : cost) {
        std::printf("%-10s per-row cost 1,000,000 / 10,000 works: %.2fx (SQLite alone, with "
                    "the same mapping: %.2fx)\n",
                    name.c_str(), byWorks.at(1000000) / byWorks.at(10000),
                    alone[1000000] / alone[10000]);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Setup setup;
    setup.Dir = QDir::temp().filePath("orvo-load-bench");
    setup.Servers.emplace_back("now", QStringLiteral(ORVO_SERVER_BINARY));
    std::vector<std::string> scenarios;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            setup.Runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--memory-clients" && i + 1 < argc) {
            setup.MemoryClients = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dir" && i + 1 < argc) {
            setup.Dir = argv[++i];
        } else if (arg == "--baseline" && i + 1 < argc) {
            setup.Servers.emplace_back("baseline", argv[++i]);
        } else {
            scenarios.push_back(arg);
        }
    }
    if (scenarios.empty()) {
        scenarios = {"throughput", "latency", "burst", "memory", "perrow"};
    }
    QDir().mkpath(setup.Dir);
    const std::map<std::string, std::function<void(const Setup&)>> table = {
        {"throughput", Throughput},
        {"latency", Latency},
        {"burst", Burst},
        {"memory", Memory},
        {"perrow", PerRow}};
    std::printf("cores: %u; catalogues in %s\n", std::thread::hardware_concurrency(),
                setup.Dir.toStdString().c_str());
    for (const std::string& s : scenarios) {
        auto it = table.find(s);
        if (it == table.end()) {
            std::fprintf(stderr, "unknown scenario %s\n", s.c_str());
            return 2;
        }
        it->second(setup);
    }
    return 0;
}
