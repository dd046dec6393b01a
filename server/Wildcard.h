#pragma once
// The catalogue's LIKE: '*' and '%' match any run, '?' and '_' one character; letters match
// regardless of case for ASCII and for the letters Windows-1252 holds in both cases, but an
// accented letter never matches its plain one (the client's users type what they mean).

#include <string_view>

struct sqlite3;

// Both texts are UTF-8. escape is a code point that makes the next pattern character literal,
// or 0 for none.
bool WildcardMatch(std::string_view pattern, std::string_view text, char32_t escape = 0);

// The case folding used by WildcardMatch, exposed for tests.
char32_t FoldCatalogueCase(char32_t c);

// Replaces like() with 2 and 3 arguments on this connection. Returns an SQLite result code.
int RegisterCatalogueLike(sqlite3* db);
