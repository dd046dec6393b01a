#pragma once
// The catalogue's LIKE, installed in place of SQLite's: see LikePattern for the rules.

#include <string_view>

#include "server/LikeMatcher.h"

struct sqlite3;

// Both texts are UTF-8. escape is a code point that makes the next pattern character literal,
// or 0 for none. Compiles the pattern on every call: for one-off matches.
bool WildcardMatch(std::string_view pattern, std::string_view text, char32_t escape = 0);

// Replaces like() with 2 and 3 arguments on this connection. Returns an SQLite result code.
int RegisterCatalogueLike(sqlite3* db);
