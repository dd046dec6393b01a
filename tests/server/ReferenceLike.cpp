#include "tests/server/ReferenceLike.h"

#include <sqlite3.h>

#include <vector>

namespace {

// Decodes UTF-8; a byte that does not start a well-formed sequence (overlong forms, surrogates
// and values past U+10FFFF included) stands for itself above the Unicode range, so broken text
// still matches itself and nothing else, and never the character it would spell.
std::vector<char32_t> DecodeUtf8(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < text.size()) {
        unsigned char b = byte(i);
        int extra = b < 0x80             ? 0
                    : (b & 0xE0) == 0xC0 ? 1
                    : (b & 0xF0) == 0xE0 ? 2
                    : (b & 0xF8) == 0xF0 ? 3
                                         : -1;
        bool ok = extra >= 0;
        char32_t cp = extra <= 0 ? b : (b & (0x3F >> extra));
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + static_cast<size_t>(k) >= text.size() ||
                (byte(i + static_cast<size_t>(k)) & 0xC0) != 0x80) {
                ok = false;
            } else {
                cp = (cp << 6) | (byte(i + static_cast<size_t>(k)) & 0x3F);
            }
        }
        static constexpr char32_t Shortest[4] = {0, 0x80, 0x800, 0x10000};
        if (ok && extra > 0 &&
            (cp < Shortest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            ok = false;
        }
        if (!ok) {
            out.push_back(0x110000 + b);
            ++i;
        } else {
            out.push_back(cp);
            i += static_cast<size_t>(extra) + 1;
        }
    }
    return out;
}

enum class TokenKind { Any, One, Literal };
struct Token {
    TokenKind Kind;
    char32_t Folded;
};

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int k = 0; k < argc; ++k) {
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    sqlite3* db = sqlite3_context_db_handle(ctx);
    int patternBytes = sqlite3_value_bytes(argv[0]);
    if (patternBytes > sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1)) {
        sqlite3_result_error(ctx, "LIKE or GLOB pattern too complex", -1);
        return;
    }
    auto text = [](sqlite3_value* v) {
        const unsigned char* p = sqlite3_value_text(v);
        return std::string_view(reinterpret_cast<const char*>(p),
                                static_cast<size_t>(sqlite3_value_bytes(v)));
    };
    char32_t escape = 0;
    if (argc == 3) {
        std::vector<char32_t> e = DecodeUtf8(text(argv[2]));
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e[0];
    }
    sqlite3_result_int(ctx, ReferenceWildcardMatch(text(argv[0]), text(argv[1]), escape) ? 1 : 0);
}

} // namespace

namespace {

char32_t ReferenceFold(char32_t c) {
    if (c >= U'A' && c <= U'Z') {
        return c + 32;
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return c + 32;
    }
    switch (c) {
    case 0x0160: // S caron
    case 0x0152: // OE
    case 0x017D: // Z caron
        return c + 1;
    case 0x0178: // Y diaeresis
        return 0x00FF;
    default:
        return c;
    }
}

} // namespace

bool ReferenceWildcardMatch(std::string_view patternText, std::string_view subject,
                            char32_t escape) {
    std::vector<Token> pattern;
    {
        std::vector<char32_t> raw = DecodeUtf8(patternText);
        pattern.reserve(raw.size());
        for (size_t i = 0; i < raw.size(); ++i) {
            char32_t c = raw[i];
            if (escape != 0 && c == escape && i + 1 < raw.size()) {
                pattern.push_back({TokenKind::Literal, ReferenceFold(raw[++i])});
            } else if (c == U'*' || c == U'%') {
                // Runs of stars are one star: keeps the backtracking below linear in practice.
                if (pattern.empty() || pattern.back().Kind != TokenKind::Any) {
                    pattern.push_back({TokenKind::Any, 0});
                }
            } else if (c == U'?' || c == U'_') {
                pattern.push_back({TokenKind::One, 0});
            } else {
                pattern.push_back({TokenKind::Literal, ReferenceFold(c)});
            }
        }
    }
    std::vector<char32_t> text = DecodeUtf8(subject);

    size_t p = 0;
    size_t t = 0;
    size_t starP = SIZE_MAX;
    size_t starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() &&
            (pattern[p].Kind == TokenKind::One || (pattern[p].Kind == TokenKind::Literal &&
                                                   pattern[p].Folded == ReferenceFold(text[t])))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p].Kind == TokenKind::Any) {
            starP = p++;
            starT = t;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p].Kind == TokenKind::Any) {
        ++p;
    }
    return p == pattern.size();
}

int RegisterReferenceLike(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function(db, "like", 2, flags, nullptr, LikeFunction, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_function(db, "like", 3, flags, nullptr, LikeFunction, nullptr, nullptr);
    }
    return rc;
}
