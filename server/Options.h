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
    int MaxClients = 32;
    int Batch = 1024;
    int QueryTimeoutMs = 5000;
    int KnockSeconds = 0;
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
    std::string Error; // one line naming the argument
    ServerOptions Options;
};

// args excludes the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& args);
std::string UsageText();
