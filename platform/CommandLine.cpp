#include "platform/CommandLine.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#ifndef DRAVEL_VERSION
#error "DRAVEL_VERSION must come from the build"
#endif

namespace {

// Qt's own options, as QGuiApplication and QApplication take them; a value follows the
// ones marked, as the next argument or after '='.
struct QtOption {
    std::string_view Name;
    bool TakesValue;
};
constexpr std::array<QtOption, 24> QtOptions{{
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"reverse", false},
    {"session", true},         {"style", true},
    {"stylesheet", true},      {"widgetcount", false},
    {"display", true},         {"geometry", true},
    {"title", true},           {"name", true},
    {"visual", true},          {"ncols", true},
    {"cmap", false},           {"im", true},
    {"inputstyle", true},      {"nograb", false},
    {"dograb", false},         {"sync", false},
}};

const QtOption* FindQtOption(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-') {
        return nullptr;
    }
    // Qt accepts both -style and --style.
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    arg = arg.substr(0, arg.find('='));
    auto it = std::find_if(QtOptions.begin(), QtOptions.end(),
                           [arg](const QtOption& o) { return o.Name == arg; });
    return it == QtOptions.end() ? nullptr : &*it;
}

const char* const UsageText =
    "Uso: dravel [--help | --version] [opzioni di Qt]\n"
    "Cerca nel catalogo degli audiolibri Orvo le opere registrate e i centri che le "
    "distribuiscono.\n"
    "\n"
    "  --help       mostra questo aiuto ed esce\n"
    "  --version    mostra la versione ed esce\n"
    "\n"
    "Accetta anche le opzioni standard di Qt, come -platform NOME e -style NOME.\n"
    "Impostazioni: ~/.config/dravel/user.reg; modello per tutti gli utenti:\n"
    "/etc/xdg/dravel/machine.reg. Per i dettagli: man dravel\n";

CommandLineAnswer Stop(int status, std::string output, std::string error) {
    return CommandLineAnswer{false, status, std::move(output), std::move(error)};
}

} // namespace

std::string VersionLine() {
    return "dravel " DRAVEL_VERSION;
}

CommandLineAnswer ReadCommandLine(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return Stop(0, UsageText, "");
        }
        if (arg == "--version") {
            return Stop(0, VersionLine() + "\n", "");
        }
        const QtOption* option = FindQtOption(arg);
        if (option == nullptr) {
            return Stop(2, "", "dravel: argomento sconosciuto: " + arg + " (vedi --help)");
        }
        if (option->TakesValue && arg.find('=') == std::string::npos) {
            if (i + 1 == args.size()) {
                return Stop(2, "", "dravel: manca il valore di " + arg + " (vedi --help)");
            }
            ++i;
        }
    }
    return CommandLineAnswer{};
}

int AnswerCommandLine(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    CommandLineAnswer answer = ReadCommandLine(args);
    if (answer.OpenWindow) {
        return -1;
    }
    std::fputs(answer.Output.c_str(), stdout);
    if (!answer.Error.empty()) {
        std::fprintf(stderr, "%s\n", answer.Error.c_str());
    }
    return std::fflush(stdout) == 0 ? answer.ExitStatus : 1;
}
