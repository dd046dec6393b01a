#pragma once
// The catalogue LIKE as it was first written (decoding both texts into vectors on every row),
// kept as the reference the compiled matcher is checked and measured against.

#include <string_view>

struct sqlite3;

bool ReferenceWildcardMatch(std::string_view pattern, std::string_view text, char32_t escape = 0);
// Installs it as like() with 2 and 3 arguments.
int RegisterReferenceLike(sqlite3* db);
