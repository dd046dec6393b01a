#include "server/Wildcard.h"

#include <sqlite3.h>

#include <new>

namespace {

std::string_view ValueText(sqlite3_value* v) {
    const unsigned char* p = sqlite3_value_text(v);
    if (p == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))};
}

// One per registration. A statement's pattern is normally a constant, which SQLite lets us keep
// compiled as auxiliary data on the argument. A pattern that changes from row to row loses that
// data after every call, so it is compiled into scratch instead, whose storage is reused: no row
// allocates, and a pattern seen twice in a row is handed to SQLite once, in case it is a
// constant after all.
struct LikeState {
    LikePattern Scratch;
    bool HandedOut = false;
};

const LikePattern* Compiled(sqlite3_context* ctx, LikeState& state, std::string_view pattern,
                            char32_t escape) {
    LikePattern& scratch = state.Scratch;
    if (!scratch.CompiledFrom(pattern, escape)) {
        scratch.Compile(pattern, escape);
        state.HandedOut = false;
    } else if (!state.HandedOut) {
        state.HandedOut = true;
        // SQLite may free the copy at once; only the scratch is used below.
        sqlite3_set_auxdata(ctx, 0, new LikePattern(scratch),
                            [](void* p) { delete static_cast<LikePattern*>(p); });
    }
    return &scratch;
}

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        // A NULL anywhere makes the answer NULL, before any complaint about the others.
        for (int k = 0; k < argc; ++k) {
            if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
                sqlite3_result_null(ctx);
                return;
            }
        }
        auto* compiled = static_cast<const LikePattern*>(sqlite3_get_auxdata(ctx, 0));
        std::string_view pattern;
        if (compiled == nullptr) {
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
        if (compiled == nullptr || compiled->Escape() != escape) {
            if (compiled != nullptr) {
                pattern = ValueText(argv[0]);
            }
            compiled =
                Compiled(ctx, *static_cast<LikeState*>(sqlite3_user_data(ctx)), pattern, escape);
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
        // SQLite destroys the state with the function, also when registering fails.
        rc = sqlite3_create_function_v2(db, "like", arguments, flags, new LikeState, LikeFunction,
                                        nullptr, nullptr,
                                        [](void* p) { delete static_cast<LikeState*>(p); });
        if (rc != SQLITE_OK) {
            break;
        }
    }
    return rc;
}
