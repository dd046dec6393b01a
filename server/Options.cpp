#include "server/Options.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <functional>
#include <limits>

#ifndef ORVO_SERVER_VERSION
#define ORVO_SERVER_VERSION "0"
#endif

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

// Which mode an option belongs to: a server option makes no sense with --create-*, and the
// reverse; --db names the catalogue served, imported into or exported.
enum class Group { Serve, Db, Create, Csv, Any };

struct OptionRow {
    const char* Name;
    const char* Value; // null: a flag
    const char* Help;
    Group Kind;
    // Stores the value; false when it is not acceptable, and Problem says why.
    std::function<bool(const std::string&, ServerOptions&)> Apply;
    const char* Problem;
};

// A number option in [min, max].
template <typename T>
std::function<bool(const std::string&, ServerOptions&)> Number(T ServerOptions::*field,
                                                               long long min, long long max) {
    return [=](const std::string& text, ServerOptions& o) {
        auto n = ToNumber(text);
        if (!n || *n < min || *n > max) {
            return false;
        }
        o.*field = static_cast<T>(*n);
        return true;
    };
}

std::function<bool(const std::string&, ServerOptions&)> Text(std::string ServerOptions::*field,
                                                             bool mayBeEmpty) {
    return [=](const std::string& text, ServerOptions& o) {
        o.*field = text;
        return mayBeEmpty || !text.empty();
    };
}

// One row an option: adding one is adding a row (and its field in ServerOptions).
const std::vector<OptionRow>& OptionRows() {
    static const std::vector<OptionRow> rows = {
        {"listen", "ADDR", "address to listen on (127.0.0.1)", Group::Serve,
         Text(&ServerOptions::Listen, false), "needs an address"},
        {"port", "N", "port (10241; 0 picks a free one)", Group::Serve,
         Number(&ServerOptions::Port, 0, 65535), "needs a number from 0 to 65535"},
        {"db", "FILE", "catalogue file, opened read-only (default: the sample, in memory)",
         Group::Db, Text(&ServerOptions::DbFile, false), "needs a file name"},
        {"max-clients", "N", "sessions at once (500)", Group::Serve,
         Number(&ServerOptions::MaxClients, 1, 100000), "needs a number from 1 to 100000"},
        {"per-address", "N", "sessions at once from one client address (64)", Group::Serve,
         Number(&ServerOptions::PerAddress, 1, 100000), "needs a number from 1 to 100000"},
        {"workers", "N", "queries running at once on the processor (one per core)", Group::Serve,
         Number(&ServerOptions::Workers, 1, 256), "needs a number from 1 to 256"},
        // The client refuses batches above 1024 rows.
        {"batch", "N", "rows per batch (1024)", Group::Serve,
         Number(&ServerOptions::Batch, 1, 1024), "needs a number from 1 to 1024"},
        {"query-timeout", "MS", "processor time for a whole query (30000)", Group::Serve,
         Number(&ServerOptions::QueryTimeoutMs, 1, 3600000),
         "needs a number of milliseconds from 1 to 3600000"},
        {"batch-timeout", "MS", "processor time for one batch (5000)", Group::Serve,
         Number(&ServerOptions::BatchTimeoutMs, 1, 3600000),
         "needs a number of milliseconds from 1 to 3600000"},
        {"knock", "S", "KNOCK an idle session after S seconds (60; 0: never)", Group::Serve,
         Number(&ServerOptions::KnockSeconds, 0, 86400),
         "needs a number of seconds from 0 to 86400"},
        {"knock-timeout", "S",
         "close a session that leaves a KNOCK or a message unanswered S seconds (60; 0: never)",
         Group::Serve, Number(&ServerOptions::KnockTimeoutSeconds, 0, 86400),
         "needs a number of seconds from 0 to 86400"},
        {"cache-size", "MIB", "SQLite page cache and sorting memory, all queries together (64)",
         Group::Serve, Number(&ServerOptions::CacheMiB, 1, 65536),
         "needs a number of MiB from 1 to 65536"},
        {"mmap-size", "MIB", "catalogue bytes read through memory mapping (1024; 0: none)",
         Group::Serve, Number(&ServerOptions::MmapMiB, 0, 1048576),
         "needs a number of MiB from 0 to 1048576"},
        {"site", "URL", "site link sent at login", Group::Serve, Text(&ServerOptions::Site, true),
         "needs a URL"},
        {"mail", "ADDR", "mail address sent at login", Group::Serve,
         Text(&ServerOptions::Mail, true), "needs an address"},
        {"online", "URL", "registration link sent at login", Group::Serve,
         Text(&ServerOptions::Online, true), "needs a URL"},
        {"redirect", "ADDR:PORT[:always]", "send every client to another server", Group::Serve,
         [](const std::string& text, ServerOptions& o) {
             o.Redirect = ParseRedirect(text);
             return o.Redirect.has_value();
         },
         "needs ADDR:PORT[:always] with a port from 1 to 65535"},
        {"verbose", nullptr, "log sessions and queries on standard error", Group::Any,
         [](const std::string&, ServerOptions& o) { return o.Verbose = true; }, ""},
        {"create-sample", "FILE", "write the sample catalogue to a new file", Group::Create,
         [](const std::string& text, ServerOptions& o) {
             o.RunMode = ServerOptions::Mode::CreateSample;
             o.CreateFile = text;
             return !text.empty();
         },
         "needs a file name"},
        {"create-large", "FILE", "write a synthetic catalogue of --works N works", Group::Create,
         [](const std::string& text, ServerOptions& o) {
             o.RunMode = ServerOptions::Mode::CreateLarge;
             o.CreateFile = text;
             return !text.empty();
         },
         "needs a file name"},
        {"import", "DIR", "build a new --db FILE from CSV files, one per table", Group::Csv,
         [](const std::string& text, ServerOptions& o) {
             o.RunMode = ServerOptions::Mode::Import;
             o.CsvDir = text;
             return !text.empty();
         },
         "needs a directory"},
        {"export", "DIR", "write every table of --db FILE as CSV files in DIR", Group::Csv,
         [](const std::string& text, ServerOptions& o) {
             o.RunMode = ServerOptions::Mode::Export;
             o.CsvDir = text;
             return !text.empty();
         },
         "needs a directory"},
        {"works", "N", "works in the synthetic catalogue", Group::Create,
         Number(&ServerOptions::Works, 1, 50000000), "needs a number from 1 to 50000000"},
        {"seed", "S", "seed of the synthetic catalogue (1)", Group::Create,
         Number(&ServerOptions::Seed, 0, std::numeric_limits<long long>::max()),
         "needs a non-negative number"},
    };
    return rows;
}

std::string NameOf(const std::string& arg) {
    size_t start = arg.find_first_not_of('-');
    size_t end = arg.find('=');
    return start == std::string::npos ? std::string() : arg.substr(start, end - start);
}

} // namespace

std::string VersionText() {
    return std::string("orvo-server ") + ORVO_SERVER_VERSION + "\n";
}

std::string UsageText() {
    std::string text =
        "usage: orvo-server [OPTION...]               serve a catalogue\n"
        "       orvo-server --create-sample FILE\n"
        "       orvo-server --create-large FILE --works N [--seed S]\n"
        "       orvo-server --import DIR --db FILE   (CSV files, one per table, into a new FILE)\n"
        "       orvo-server --export DIR --db FILE   (every table of FILE as CSV files in DIR)\n"
        "Options take their value as the next argument or after '=' (--port 10241, "
        "--port=10241):\n";
    for (const OptionRow& row : OptionRows()) {
        std::string left = std::string("  --") + row.Name;
        if (row.Value != nullptr) {
            left += std::string(" ") + row.Value;
        }
        left.resize(std::max<size_t>(left.size() + 1, 32), ' ');
        text += left + row.Help + "\n";
    }
    text += "  --help                        this text\n"
            "  --version                     the version\n"
            "Text travels as Windows-1252; a catalogue character it cannot hold is sent as '?'.\n";
    return text;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments result;
    auto fail = [&](const std::string& message) {
        result.Ok = false;
        result.Error = message;
        return result;
    };

    QCommandLineParser parser;
    // --port and -port alike; no bundles of one-letter options to misread.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    std::vector<std::pair<const OptionRow*, QCommandLineOption>> options;
    for (const OptionRow& row : OptionRows()) {
        QCommandLineOption option(QString::fromLatin1(row.Name));
        if (row.Value != nullptr) {
            option.setValueName(QString::fromLatin1(row.Value));
        }
        parser.addOption(option);
        options.emplace_back(&row, option);
    }
    QCommandLineOption help(QStringList{"help", "h"});
    QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);

    // A value option at the very end has no value: said in the option's own words.
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-' || arg.find('=') != std::string::npos) {
            continue;
        }
        for (const OptionRow& row : OptionRows()) {
            if (row.Value != nullptr && NameOf(arg) == row.Name && i + 1 == args.size()) {
                return fail(std::string("--") + row.Name + " " + row.Problem);
            }
        }
    }
    QStringList list{QStringLiteral("orvo-server")};
    for (const std::string& arg : args) {
        list << QString::fromLocal8Bit(arg.data(), static_cast<qsizetype>(arg.size()));
    }
    if (!parser.parse(list)) {
        for (const QString& name : parser.unknownOptionNames()) {
            return fail("unknown argument --" + name.toStdString());
        }
        return fail(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail("unexpected argument " + parser.positionalArguments().first().toStdString());
    }
    if (parser.isSet(help)) {
        result.Help = result.Ok = true;
        return result;
    }
    if (parser.isSet(version)) {
        result.Version = result.Ok = true;
        return result;
    }

    ServerOptions& o = result.Options;
    bool sawServe = false, sawDb = false, sawWorks = false, sawSeed = false, sawMode = false;
    for (const auto& [row, option] : options) {
        if (!parser.isSet(option)) {
            continue;
        }
        const std::string name = std::string("--") + row->Name;
        const std::string value = row->Value != nullptr ? parser.value(option).toStdString() : "";
        if (row->Kind == Group::Csv || NameOf(name).rfind("create-", 0) == 0) {
            if (sawMode) {
                return fail(name +
                            ": only one of --create-sample, --create-large, --import and --export");
            }
            sawMode = true;
        }
        if (!row->Apply(value, o)) {
            return fail(name + " " + row->Problem);
        }
        sawServe = sawServe || row->Kind == Group::Serve;
        sawDb = sawDb || row->Kind == Group::Db;
        sawWorks = sawWorks || NameOf(name) == "works";
        sawSeed = sawSeed || NameOf(name) == "seed";
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
    if (csv && sawServe) {
        return fail("--import and --export take no server options but --db");
    }
    if (o.RunMode != ServerOptions::Mode::Serve && !csv && (sawServe || sawDb)) {
        return fail("--create-sample and --create-large take no server options");
    }
    result.Ok = true;
    return result;
}
