#pragma once
// The server's command line.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RedirectTarget {
    std::string Address;
    int Port = 0;
    bool Always = false;
};

struct ServerOptions {
    enum class Mode { Serve, CreateSample, CreateLarge, Import, Export };
    Mode RunMode = Mode::Serve;

    std::string Listen = "127.0.0.1";
    int Port = 10241;
    std::string DbFile; // empty: the bundled sample, in memory
    // About 0.3 MB a streaming session: 500 fit in 150 MB.
    int MaxClients = 500;
    int PerAddress = 64;
    int Workers = 0; // 0: one per processor core
    int Batch = 1024;
    int QueryTimeoutMs = 30000; // processor time for a whole query
    int BatchTimeoutMs = 5000;  // processor time for one batch
    int KnockSeconds = 60;
    int KnockTimeoutSeconds = 60;
    int CacheMiB = 64;
    int MmapMiB = 1024;
    // Links handed to the client at login, as given on the command line (UTF-8).
    std::string Site;
    std::string Mail;
    std::string Online;
    std::optional<RedirectTarget> Redirect;
    bool Verbose = false;

    std::string CreateFile;
    std::string CsvDir; // --import and --export
    long long Works = 0;
    uint64_t Seed = 1;
};

struct ParsedArguments {
    bool Ok = false;
    bool Help = false;    // --help: print UsageText() and stop
    bool Version = false; // --version: print VersionText() and stop
    std::string Error;    // one line naming the argument
    ServerOptions Options;
};

// args excludes the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& args);
std::string UsageText();
std::string VersionText();
