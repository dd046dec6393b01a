#include "core/UOrvoCCommon.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "core/Cp1252.h"

TRegistryInfo StoredSettings;
TRegistryInfo SessionSettings;
bool Idle = false;
bool Terminating = false;
bool CancelRequested = false;
bool MemoryRecoveryPending = false;
std::string ServerName;
int ServerVersion = 0;
std::string SiteLink;
std::string MailLink;
std::string OnlineLink;
uint32_t ContextCounter = 0;
StringArray GenreNames;
std::unique_ptr<CMatrix> CentresCache;

void ResetSessionState() {
    GenreNames.clear();
    CentresCache.reset();
    ServerName.clear();
    ServerVersion = 0;
    SiteLink = DefaultSiteLink;
    MailLink = DefaultMailLink;
    OnlineLink.clear();
    MemoryRecoveryPending = false;
    Terminating = false;
    ContextCounter = 0;
}

void ForgetServer() {
    ServerName.clear();
    ServerVersion = 0;
    SiteLink.clear();
    MailLink.clear();
    OnlineLink.clear();
}

uint32_t NextContext() {
    if (ContextCounter == 0) {
        ContextCounter = 1;
    }
    return ContextCounter++;
}

std::string EscapeQuotes(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 4);
    for (char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    return out;
}

bool HasWildcards(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

bool HasSignificantChars(const std::string& text, int minimum) {
    if (minimum <= 0) {
        return true;
    }
    int count = 0;
    for (unsigned char c : TrimControl(text)) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<unsigned char>(c - 'a' + 'A');
        }
        bool significant = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        switch (c) {
        case 0xE8:
        case 0xE9:
        case 0xE0:
        case 0xF9:
        case 0xF2:
        case 0x27:
        case 0xE7:
        case 0xEC:
            significant = true;
            break;
        default:
            break;
        }
        if (significant && ++count >= minimum) {
            return true;
        }
    }
    return false;
}

std::string BoolText(bool value) {
    return value ? "true" : "false";
}

std::string TrimControl(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 0x20) {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 0x20) {
        --last;
    }
    return std::string(text.substr(first, last - first));
}

std::optional<long long> StrToIntOpt(std::string_view text) {
    // Leading blanks are skipped as the runtime does; anything after the number is refused.
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) {
        return std::nullopt;
    }
    unsigned long long magnitude = 0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || ptr != last) {
        return std::nullopt;
    }
    // 32-bit integers, as the runtime's conversion gives.
    if (base == 10 && magnitude > (negative ? 2147483648ULL : 2147483647ULL)) {
        return std::nullopt;
    }
    if (base == 16 && magnitude > 0xFFFFFFFFULL) {
        return std::nullopt;
    }
    long long value = static_cast<long long>(magnitude);
    if (base == 16 && !negative) {
        value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    }
    return negative ? -value : value;
}

std::string InvalidIntegerText(const std::string& text) {
    return "'" + text + "' is not a valid integer value";
}

Date ParseServerDate(const std::string& text) {
    auto part = [&](size_t from, size_t length) -> std::optional<long long> {
        if (text.size() < from + length) {
            return std::nullopt;
        }
        return StrToIntOpt(text.substr(from, length));
    };
    auto y = part(1, 4);
    auto m = part(5, 2);
    auto d = part(7, 2);
    if (!y || !m || !d) {
        return ZeroDate;
    }
    for (long long v : {*y, *m, *d}) {
        if (v < 0 || v > 65535) {
            return ZeroDate;
        }
    }
    // Checked before building: the calendar types leave out-of-range fields unspecified.
    if (*y < 1 || *y > 9999 || *m < 1 || *m > 12 || *d < 1 || *d > 31) {
        return ZeroDate;
    }
    Date date{std::chrono::year{static_cast<int>(*y)},
              std::chrono::month{static_cast<unsigned>(*m)},
              std::chrono::day{static_cast<unsigned>(*d)}};
    return date.ok() ? date : ZeroDate;
}

std::string FormatShortDate(const Date& d) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02u%c%02u%c%04d", static_cast<unsigned>(d.day()),
                  DateSeparator, static_cast<unsigned>(d.month()), DateSeparator,
                  static_cast<int>(d.year()));
    return buffer;
}

VersionFields SplitVersion(uint32_t version) {
    return {static_cast<int>((version >> 12) & 0xF), static_cast<int>((version >> 8) & 0xF),
            static_cast<int>((version >> 4) & 0xF), static_cast<int>(version & 0xF)};
}

std::string ProgramStageWord(int stage) {
    switch (stage) {
    case 0:
        return "";
    case 1:
        return " pre-alpha";
    case 2:
        return " alpha";
    case 3:
        return "beta";
    default:
        return " (sconosciuta)";
    }
}

std::string ServerStageWord(int stage) {
    return stage == 1 ? std::string(" pre alpha") : ProgramStageWord(stage);
}

namespace {
std::string VersionDigits(const VersionFields& v) {
    return std::to_string(v.Major) + "." + std::to_string(v.Minor) + "." +
           std::to_string(v.Release);
}
} // namespace

std::string AboutText(uint32_t programVersion, bool connected, const std::string& serverName,
                      int serverVersion) {
    VersionFields program = SplitVersion(programVersion);
    std::string text = "Dravel ver. " + VersionDigits(program) + ProgramStageWord(program.Stage);
    text += "\r\nServer remoto: ";
    if (connected) {
        VersionFields server = SplitVersion(static_cast<uint32_t>(serverVersion));
        text += serverName + " ver. " + VersionDigits(server) + ServerStageWord(server.Stage);
    } else {
        text += "(non contattato)";
    }
    return text;
}

namespace {
bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    if (text.size() < n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}
} // namespace

std::string PercentEncode(std::string_view bytes, std::string_view plain) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (alnum || (c != 0 && plain.find(static_cast<char>(c)) != std::string_view::npos)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

std::optional<std::string> SafeShellLink(const std::string& target) {
    std::string link = TrimControl(target);
    if (StartsWithNoCase(link, "mailto:")) {
        std::string address = TrimControl(link.substr(7));
        if (address.empty()) {
            return std::nullopt;
        }
        // Only the address may pass; '?', '&', '%', blanks and line breaks are encoded so the
        // server's text cannot smuggle in headers, a body or attachments.
        return "mailto:" + PercentEncode(Cp1252ToUtf8(address), "@.-_+~");
    }
    if (StartsWithNoCase(link, "http://") || StartsWithNoCase(link, "https://")) {
        for (unsigned char c : link) {
            if (c <= 0x20 || c == 0x7F) {
                return std::nullopt;
            }
        }
        return Cp1252ToUtf8(link);
    }
    return std::nullopt;
}
