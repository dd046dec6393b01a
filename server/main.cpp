// orvo-server: the catalogue server the client talks to.

#include <QCoreApplication>
#include <QSocketNotifier>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include "server/Catalogue.h"
#include "server/CatalogueBuilder.h"
#include "server/CatalogueCsv.h"
#include "server/Options.h"
#include "server/PartFiles.h"
#include "server/Server.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    char byte = 1;
    // Nothing else is safe here; the event loop reads the byte and quits.
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

bool InstallSignalHandlers() {
    if (::pipe(signalPipe) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

// Each session takes a socket and, while a query runs, a catalogue reader: the usual limit of
// 1024 descriptors would refuse accepts long before --max-clients.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int Serve(const ServerOptions& options, int argc, char** argv) {
    // Batches are built on many worker threads and freed on the event loop's: with an arena
    // per thread, freed memory stays scattered over arenas that each keep their share.
    mallopt(M_ARENA_MAX, 2);
    QCoreApplication app(argc, argv);
    // SQLite's share of the memory budget, for all queries together: caches give pages back
    // past the soft limit, and a hostile sort or join fails with an error at the hard one
    // instead of growing the process.
    const long long cache = static_cast<long long>(options.CacheMiB) << 20;
    sqlite3_soft_heap_limit64(cache);
    sqlite3_hard_heap_limit64(cache + (32LL << 20));
    RaiseDescriptorLimit();
    CatalogueSettings settings;
    settings.CacheMiB = options.CacheMiB;
    settings.MmapMiB = options.MmapMiB;
    std::string error;
    std::unique_ptr<Catalogue> catalogue =
        options.DbFile.empty() ? Catalogue::OpenSample(error, settings)
                               : Catalogue::OpenFile(options.DbFile, error, settings);
    if (!catalogue) {
        std::fprintf(stderr, "orvo-server: %s\n", error.c_str());
        return 1;
    }
    if (!InstallSignalHandlers()) {
        std::fprintf(stderr, "orvo-server: cannot install the signal handlers\n");
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] auto got = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });

    Server server(options, catalogue.get());
    if (!server.Listen(error)) {
        std::fprintf(stderr, "orvo-server: %s\n", error.c_str());
        return error.rfind("--listen", 0) == 0 ? 2 : 1;
    }
    std::printf("listening on %s:%u\n", server.Address().toString().toStdString().c_str(),
                static_cast<unsigned>(server.Port()));
    std::fflush(stdout);
    int rc = app.exec();
    if (options.Verbose) {
        std::fprintf(stderr, "orvo-server: stopped\n");
    }
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParsedArguments parsed = ParseArguments(args);
    if (!parsed.Ok) {
        // One line, so that whoever started the server sees the argument at fault.
        std::fprintf(stderr, "orvo-server: %s (see --help)\n", parsed.Error.c_str());
        return 2;
    }
    if (parsed.Help || parsed.Version) {
        std::printf("%s", parsed.Help ? UsageText().c_str() : VersionText().c_str());
        return 0;
    }
    const ServerOptions& options = parsed.Options;
    std::string error;
    if (options.RunMode != ServerOptions::Mode::Serve) {
        RemovePartFilesOnSignals();
    }
    switch (options.RunMode) {
    case ServerOptions::Mode::CreateSample:
        if (!CreateSampleFile(options.CreateFile, error)) {
            std::fprintf(stderr, "orvo-server: %s\n", error.c_str());
            return 1;
        }
        return 0;
    case ServerOptions::Mode::CreateLarge: {
        auto start = std::chrono::steady_clock::now();
        if (!CreateLargeFile(options.CreateFile, options.Works, options.Seed, error)) {
            std::fprintf(stderr, "orvo-server: %s\n", error.c_str());
            return 1;
        }
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
        std::printf("%lld works written to %s in %lld ms\n", options.Works,
                    options.CreateFile.c_str(), static_cast<long long>(ms));
        return 0;
    }
    case ServerOptions::Mode::Import:
    case ServerOptions::Mode::Export: {
        bool import = options.RunMode == ServerOptions::Mode::Import;
        bool ok =
            import ? ImportCatalogue(options.CsvDir, options.DbFile, std::cerr, std::cout, error)
                   : ExportCatalogue(options.DbFile, options.CsvDir, std::cerr, std::cout, error);
        if (!ok) {
            std::cerr << "orvo-server: " << error << std::endl;
            return 1;
        }
        return 0;
    }
    case ServerOptions::Mode::Serve:
        break;
    }
    return Serve(options, argc, argv);
}
