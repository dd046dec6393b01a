// The catalogue's compiled LIKE against the plain matcher it replaced: the same answer for every
// pattern, text and escape, and a matcher reused for a second pattern forgets the first.

#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server/LikeMatcher.h"
#include "server/Wildcard.h"
#include "tests/server/ReferenceLike.h"

namespace {
// Escapes a client may give: none, the usual ones, a wildcard itself, a letter that folds, and
// characters of two, three and four bytes.
constexpr char32_t Escapes[] = {0,    U'\\', U'!', U'*', U'%',   U'?',
                                U'_', U'a',  U'A', 0xE9, 0x20AC, 0x1F600};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const char32_t escape = Escapes[data[0] % (sizeof Escapes / sizeof Escapes[0])];
    FuzzParts parts(FuzzText(data + 1, size - 1));
    const std::string_view pattern = parts.Next();
    const std::string_view text = parts.Next();
    const std::string_view earlier = parts.Next();

    const bool expected = ReferenceWildcardMatch(pattern, text, escape);
    LikePattern compiled;
    compiled.Compile(earlier, 0);
    compiled.Compile(pattern, escape);
    FuzzCheck(compiled.CompiledFrom(pattern, escape), "the matcher knows what it was given");
    FuzzCheck(compiled.Matches(text) == expected, "the compiled pattern answers as the plain one");
    FuzzCheck(WildcardMatch(pattern, text, escape) == expected,
              "a one-off match answers as the plain one");
    return 0;
}
