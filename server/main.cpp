// orvo-server: the catalogue server the client talks to.

#include <QCoreApplication>
#include <QSocketNotifier>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

#include "server/Catalogue.h"
#include "server/CatalogueBuilder.h"
#include "server/CatalogueCsv.h"
#include "server/Options.h"
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

int Serve(const ServerOptions& options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // SQLite's share of the memory budget: a hostile sort or join fails with an error instead
    // of growing the process.
    sqlite3_soft_heap_limit64(48LL << 20);
    sqlite3_hard_heap_limit64(64LL << 20);
    std::string error;
    std::unique_ptr<Catalogue> catalogue = options.DbFile.empty()
                                               ? Catalogue::OpenSample(error)
                                               : Catalogue::OpenFile(options.DbFile, error);
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
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("%s", UsageText().c_str());
        return 0;
    }
    ParsedArguments parsed = ParseArguments(args);
    if (!parsed.Ok) {
        // One line, so that whoever started the server sees the argument at fault.
        std::fprintf(stderr, "orvo-server: %s (see --help)\n", parsed.Error.c_str());
        return 2;
    }
    const ServerOptions& options = parsed.Options;
    std::string error;
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
