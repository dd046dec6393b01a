#include "server/Options.h"

#include <charconv>
#include <limits>

namespace {

std::optional<long long> ToNumber(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<RedirectTarget> ParseRedirect(std::string text) {
    RedirectTarget target;
    const std::string always = ":always";
    if (text.size() > always.size() &&
        text.compare(text.size() - always.size(), always.size(), always) == 0) {
        target.Always = true;
        text.resize(text.size() - always.size());
    }
    auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return std::nullopt;
    }
    auto port = ToNumber(text.substr(colon + 1));
    if (!port || *port < 1 || *port > 65535) {
        return std::nullopt;
    }
    target.Address = text.substr(0, colon);
    target.Port = static_cast<int>(*port);
    return target;
}

} // namespace

std::string UsageText() {
    return "usage: orvo-server [--listen ADDR] [--port N] [--db FILE] [--max-clients N] [--batch "
           "N]\n"
           "                   [--query-timeout MS] [--knock S] [--site URL] [--mail ADDR]\n"
           "                   [--online URL] [--redirect ADDR:PORT[:always]] [--verbose]\n"
           "       orvo-server --create-sample FILE\n"
           "       orvo-server --create-large FILE --works N [--seed S]\n"
           "       orvo-server --import DIR --db FILE   (CSV files, one per table, into a new "
           "FILE)\n"
           "       orvo-server --export DIR --db FILE   (every table of FILE as CSV files in "
           "DIR)\n"
           "Text travels as Windows-1252; a catalogue character it cannot hold is sent as '?'.\n";
}

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments result;
    ServerOptions& o = result.Options;
    bool sawWorks = false;
    bool sawSeed = false;
    bool sawServeOption = false;
    bool sawDb = false;
    const std::string onlyOneMode =
        ": only one of --create-sample, --create-large, --import and --export";
    auto fail = [&](const std::string& message) {
        result.Ok = false;
        result.Error = message;
        return result;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto needValue = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](long long min, long long max, long long& out) {
            std::string text;
            if (!needValue(text)) {
                return false;
            }
            auto n = ToNumber(text);
            if (!n || *n < min || *n > max) {
                return false;
            }
            out = *n;
            return true;
        };
        long long n = 0;
        std::string text;
        if (arg == "--listen") {
            if (!needValue(o.Listen) || o.Listen.empty()) {
                return fail("--listen needs an address");
            }
            sawServeOption = true;
        } else if (arg == "--port") {
            if (!number(0, 65535, n)) {
                return fail("--port needs a number from 0 to 65535");
            }
            o.Port = static_cast<int>(n);
            sawServeOption = true;
        } else if (arg == "--db") {
            if (!needValue(o.DbFile) || o.DbFile.empty()) {
                return fail("--db needs a file name");
            }
            sawDb = true;
        } else if (arg == "--max-clients") {
            if (!number(1, 100000, n)) {
                return fail("--max-clients needs a number from 1 to 100000");
            }
            o.MaxClients = static_cast<int>(n);
            sawServeOption = true;
        } else if (arg == "--batch") {
            // The client refuses batches above 1024 rows.
            if (!number(1, 1024, n)) {
                return fail("--batch needs a number from 1 to 1024");
            }
            o.Batch = static_cast<int>(n);
            sawServeOption = true;
        } else if (arg == "--query-timeout") {
            if (!number(1, 3600000, n)) {
                return fail("--query-timeout needs a number of milliseconds from 1 to 3600000");
            }
            o.QueryTimeoutMs = static_cast<int>(n);
            sawServeOption = true;
        } else if (arg == "--knock") {
            if (!number(0, 86400, n)) {
                return fail("--knock needs a number of seconds from 0 to 86400");
            }
            o.KnockSeconds = static_cast<int>(n);
            sawServeOption = true;
        } else if (arg == "--site") {
            if (!needValue(o.Site)) {
                return fail("--site needs a URL");
            }
            sawServeOption = true;
        } else if (arg == "--mail") {
            if (!needValue(o.Mail)) {
                return fail("--mail needs an address");
            }
            sawServeOption = true;
        } else if (arg == "--online") {
            if (!needValue(o.Online)) {
                return fail("--online needs a URL");
            }
            sawServeOption = true;
        } else if (arg == "--redirect") {
            if (!needValue(text)) {
                return fail("--redirect needs ADDR:PORT[:always]");
            }
            o.Redirect = ParseRedirect(text);
            if (!o.Redirect) {
                return fail("--redirect needs ADDR:PORT[:always] with a port from 1 to 65535");
            }
            sawServeOption = true;
        } else if (arg == "--verbose") {
            o.Verbose = true;
        } else if (arg == "--import" || arg == "--export") {
            if (o.RunMode != ServerOptions::Mode::Serve) {
                return fail(arg + onlyOneMode);
            }
            if (!needValue(o.CsvDir) || o.CsvDir.empty()) {
                return fail(arg + " needs a directory");
            }
            o.RunMode =
                arg == "--import" ? ServerOptions::Mode::Import : ServerOptions::Mode::Export;
        } else if (arg == "--create-sample" || arg == "--create-large") {
            if (o.RunMode != ServerOptions::Mode::Serve) {
                return fail(arg + onlyOneMode);
            }
            if (!needValue(o.CreateFile) || o.CreateFile.empty()) {
                return fail(arg + " needs a file name");
            }
            o.RunMode = arg == "--create-sample" ? ServerOptions::Mode::CreateSample
                                                 : ServerOptions::Mode::CreateLarge;
        } else if (arg == "--works") {
            if (!number(1, 50000000, n)) {
                return fail("--works needs a number from 1 to 50000000");
            }
            o.Works = n;
            sawWorks = true;
        } else if (arg == "--seed") {
            if (!number(0, std::numeric_limits<long long>::max(), n)) {
                return fail("--seed needs a non-negative number");
            }
            o.Seed = static_cast<uint64_t>(n);
            sawSeed = true;
        } else {
            return fail("unknown argument " + arg);
        }
    }

    if (o.RunMode == ServerOptions::Mode::CreateLarge && !sawWorks) {
        return fail("--create-large needs --works N");
    }
    if (o.RunMode != ServerOptions::Mode::CreateLarge && (sawWorks || sawSeed)) {
        return fail(std::string(sawWorks ? "--works" : "--seed") + " goes with --create-large");
    }
    const bool csv =
        o.RunMode == ServerOptions::Mode::Import || o.RunMode == ServerOptions::Mode::Export;
    if (csv && !sawDb) {
        return fail("--import and --export need --db FILE");
    }
    if (csv && sawServeOption) {
        return fail("--import and --export take no server options but --db");
    }
    if (o.RunMode != ServerOptions::Mode::Serve && !csv && (sawServeOption || sawDb)) {
        return fail("--create-sample and --create-large take no server options");
    }
    result.Ok = true;
    return result;
}
