#include "server/Wildcard.h"

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <memory>

namespace {

std::string_view ValueText(sqlite3_value* v) {
    const unsigned char* p = sqlite3_value_text(v);
    if (p == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))};
}

// A compiled pattern and what is known of the call site it was last handed to.
struct CachedPattern {
    LikePattern Pattern;
    uint64_t LastUse = 0;
    bool HandedOut = false; // given to SQLite as auxiliary data...
    bool Kept = false;      // ...and found there again on a later row
};
using CachedHandle = std::shared_ptr<CachedPattern>;

// Compiled patterns, one set per registration (so per connection).
//
// A constant pattern is compiled once per statement: SQLite keeps it as auxiliary data on the
// argument from one row to the next. SQLite drops that data after every row when the pattern
// is not a constant (LIKE between two columns), so handing it over on every row would allocate
// on every row. Instead a pattern is first compiled into this cache, whose entries reuse their
// storage, and handed over only when it is met again without having been kept from an earlier
// hand-over: a constant is handed over from its second row (or its first, in a later
// statement); a pattern that changes from row to row is not handed over again.
class PatternCache {
public:
    PatternCache() {
        for (CachedHandle& entry : entries) {
            entry = std::make_shared<CachedPattern>();
        }
    }

    const LikePattern* Find(sqlite3_context* ctx, std::string_view pattern, char32_t escape) {
        ++clock;
        CachedHandle* found = nullptr;
        CachedHandle* victim = nullptr;
        for (CachedHandle& entry : entries) {
            if (entry->Pattern.CompiledFrom(pattern, escape) && entry->LastUse != 0) {
                found = &entry;
                break;
            }
            // One held by SQLite must keep its pattern.
            if (entry.use_count() == 1 && (!victim || entry->LastUse < (*victim)->LastUse)) {
                victim = &entry;
            }
        }
        if (found == nullptr) {
            if (victim == nullptr) {
                // Every entry is held by a live statement: compile into one more.
                if (!spare || spare.use_count() > 1) {
                    spare = std::make_shared<CachedPattern>();
                }
                victim = &spare;
            }
            CachedPattern& fresh = **victim;
            fresh.Pattern.Compile(pattern, escape);
            fresh.HandedOut = false;
            fresh.LastUse = clock;
            return &fresh.Pattern;
        }
        CachedPattern& entry = **found;
        entry.LastUse = clock;
        if (!entry.HandedOut || entry.Kept) {
            entry.HandedOut = true;
            entry.Kept = false;
            sqlite3_set_auxdata(ctx, 0, new CachedHandle(*found),
                                [](void* p) { delete static_cast<CachedHandle*>(p); });
        }
        return &entry.Pattern;
    }

private:
    std::array<CachedHandle, 8> entries;
    CachedHandle spare;
    uint64_t clock = 0;
};

// The pattern SQLite kept for this call site, if any.
CachedPattern* Kept(sqlite3_context* ctx) {
    auto* handle = static_cast<CachedHandle*>(sqlite3_get_auxdata(ctx, 0));
    return handle != nullptr ? handle->get() : nullptr;
}

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // Every row after the first of a constant pattern without ESCAPE: only the text to read.
    if (argc == 2) {
        if (CachedPattern* kept = Kept(ctx)) {
            kept->Kept = true;
            if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
                sqlite3_result_null(ctx);
            } else {
                sqlite3_result_int(ctx, kept->Pattern.Matches(ValueText(argv[1])) ? 1 : 0);
            }
            return;
        }
    }
    try {
        // A NULL anywhere makes the answer NULL, before any complaint about the others.
        for (int k = 0; k < argc; ++k) {
            if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
                sqlite3_result_null(ctx);
                return;
            }
        }
        CachedPattern* kept = Kept(ctx);
        std::string_view pattern;
        if (kept == nullptr) {
            pattern = ValueText(argv[0]);
            sqlite3* db = sqlite3_context_db_handle(ctx);
            if (pattern.size() >
                static_cast<size_t>(sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1))) {
                sqlite3_result_error(ctx, "LIKE or GLOB pattern too complex", -1);
                return;
            }
        }
        char32_t escape = 0;
        if (argc == 3) {
            std::string_view e = ValueText(argv[2]);
            size_t length = 0;
            if (!e.empty()) {
                escape = DecodeCatalogueChar(reinterpret_cast<const unsigned char*>(e.data()),
                                             e.size(), length);
            }
            if (e.empty() || length != e.size()) {
                sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
                return;
            }
        }
        const LikePattern* compiled = nullptr;
        if (kept != nullptr && kept->Pattern.Escape() == escape) {
            kept->Kept = true;
            compiled = &kept->Pattern;
        } else {
            compiled = static_cast<PatternCache*>(sqlite3_user_data(ctx))
                           ->Find(ctx, ValueText(argv[0]), escape);
        }
        sqlite3_result_int(ctx, compiled->Matches(ValueText(argv[1])) ? 1 : 0);
    } catch (...) {
        sqlite3_result_error_nomem(ctx);
    }
}

} // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text, char32_t escape) {
    LikePattern compiled;
    compiled.Compile(pattern, escape);
    return compiled.Matches(text);
}

int RegisterCatalogueLike(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = SQLITE_OK;
    for (int arguments : {2, 3}) {
        // SQLite destroys the cache with the function, also when registering fails; patterns
        // still held by statements live on until those let them go.
        rc = sqlite3_create_function_v2(db, "like", arguments, flags, new PatternCache,
                                        LikeFunction, nullptr, nullptr,
                                        [](void* p) { delete static_cast<PatternCache*>(p); });
        if (rc != SQLITE_OK) {
            break;
        }
    }
    return rc;
}
