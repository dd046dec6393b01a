#pragma once
// The display-free half of the shared unit: session-wide state, constants and the small text,
// date and version routines every window uses. All text is Windows-1252 bytes.
// The window half (socket, reply routine, window instances, beeps) is ui/UOrvoCCommonWin.h.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/CMatrix.h"
#include "core/Settings.h"

// --- constants --------------------------------------------------------------------------------
inline constexpr uint32_t ProgramVersion = 515;  // 2.0.3
inline constexpr uint32_t ProtocolVersion = 513; // 2.0.1
inline constexpr int32_t MemoryRecoveryThreshold = 262144;
inline constexpr const char* DefaultSiteLink = "https://www.example.org/";
inline constexpr const char* DefaultMailLink = "info@example.org";
inline constexpr const char* ApplicationTitle = "Archivio del Orvo";

// --- session-wide state -----------------------------------------------------------------------
extern TRegistryInfo StoredSettings;
extern TRegistryInfo SessionSettings;
extern bool Idle;
extern bool Terminating;
extern bool CancelRequested;
extern bool MemoryRecoveryPending;
extern std::string ServerName;
extern int ServerVersion;
extern std::string SiteLink;
extern std::string MailLink;
extern std::string OnlineLink;
extern uint32_t ContextCounter;
extern StringArray GenreNames;
// The table of all centres, fetched once per run by the list command.
extern std::unique_ptr<CMatrix> CentresCache;

// Steps 1 to 6 of the session initialisation: everything but loading the settings and creating
// the dialogs (the window half does those).
void ResetSessionState();
// What a server told at its acceptance (identity, version, links) belongs to that connection
// only: forgotten before every new attempt and after a failed one.
void ForgetServer();

// --- shared routines --------------------------------------------------------------------------
uint32_t NextContext();
std::string EscapeQuotes(const std::string& text);
bool HasWildcards(const std::string& text);
bool HasSignificantChars(const std::string& text, int minimum);
std::string BoolText(bool value);
// Leading and trailing bytes of value 0x20 or less removed.
std::string TrimControl(std::string_view text);
// Every byte but ASCII letters, digits and the bytes of plain as %XX (upper-case hexadecimal).
std::string PercentEncode(std::string_view bytes, std::string_view plain = "-._~");
// A trimmed count or edition that says nothing: empty, or the server's "0" for none.
inline bool EmptyOrZero(std::string_view trimmed) {
    return trimmed.empty() || trimmed == "0";
}
inline std::string CleanFieldText(std::string_view text) {
    return TrimControl(text);
}
// Whole-text integer conversion with the runtime's rules (optional sign, decimal digits, or a
// leading '$' for hexadecimal); nullopt when the text is not one.
std::optional<long long> StrToIntOpt(std::string_view text);
// The runtime's conversion message: "'%s' is not a valid integer value".
std::string InvalidIntegerText(const std::string& text);

// --- dates ------------------------------------------------------------------------------------
using Date = std::chrono::year_month_day;
inline constexpr Date ZeroDate{std::chrono::year{1899}, std::chrono::December,
                               std::chrono::day{30}};
Date ParseServerDate(const std::string& text);
inline bool IsZeroDate(const Date& d) {
    return d == ZeroDate;
}
// The program's short date format "dd/MM/yyyy".
inline constexpr const char* ShortDateFormat = "dd/MM/yyyy";
inline constexpr char DateSeparator = '/';
std::string FormatShortDate(const Date& d);

// --- versions ---------------------------------------------------------------------------------
struct VersionFields {
    int Stage, Major, Minor, Release;
};
VersionFields SplitVersion(uint32_t version);
std::string ProgramStageWord(int stage);
std::string ServerStageWord(int stage);
// "Dravel ver. 2.0.3" + "\r\n" + "Server remoto: ..." (the About box text).
std::string AboutText(uint32_t programVersion, bool connected, const std::string& serverName,
                      int serverVersion);

// --- links ------------------------------------------------------------------------------------
// The address (UTF-8) to hand to the desktop for a link target: http(s) links as they are,
// "mailto:" with the address percent-encoded so it cannot add headers; nullopt for anything else
// (a file: URL, a path, a program).
std::optional<std::string> SafeShellLink(const std::string& target);
