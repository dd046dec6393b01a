#include "server/LikeMatcher.h"

#include <array>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr char32_t BrokenByteBase = 0x110000;

constexpr std::array<unsigned char, 256> MakeLatinFold() {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
        bool upper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
        t[static_cast<size_t>(c)] = static_cast<unsigned char>(upper ? c + 32 : c);
    }
    return t;
}
// Code points below 256 fold within that range.
constexpr std::array<unsigned char, 256> LatinFold = MakeLatinFold();

constexpr std::array<unsigned char, 256> MakeByteFold() {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) {
        t[static_cast<size_t>(b)] = static_cast<unsigned char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
    }
    return t;
}
// For raw bytes: only ASCII letters fold, a byte from 0x80 up is part of a longer sequence.
constexpr std::array<unsigned char, 256> ByteFold = MakeByteFold();

inline bool Continuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

inline size_t NextChar(const unsigned char* text, size_t size, size_t at) {
    if (text[at] < 0x80) {
        return at + 1;
    }
    size_t length = 0;
    DecodeCatalogueChar(text + at, size - at, length);
    return at + length;
}

// The first position from `at` holding the byte a or the byte b, or size.
size_t FindEitherByte(const unsigned char* text, size_t size, size_t at, unsigned char a,
                      unsigned char b) {
    if (a == b) {
        const void* hit = at < size ? std::memchr(text + at, a, size - at) : nullptr;
        return hit != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - text)
                              : size;
    }
#ifdef __SSE2__
    if (size >= 16) {
        const __m128i wantA = _mm_set1_epi8(static_cast<char>(a));
        const __m128i wantB = _mm_set1_epi8(static_cast<char>(b));
        auto hitsAt = [&](size_t block) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + block));
            return static_cast<unsigned>(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB))));
        };
        for (; at + 16 <= size; at += 16) {
            if (unsigned hits = hitsAt(at); hits != 0) {
                return at + static_cast<size_t>(__builtin_ctz(hits));
            }
        }
        if (at < size) {
            // The last, partial block: the sixteen bytes that end the text, less those seen.
            size_t block = size - 16;
            unsigned hits = hitsAt(block) >> (at - block);
            return hits != 0 ? at + static_cast<size_t>(__builtin_ctz(hits)) : size;
        }
        return size;
    }
#endif
    for (; at < size; ++at) {
        if (text[at] == a || text[at] == b) {
            return at;
        }
    }
    return size;
}

} // namespace

char32_t DecodeCatalogueChar(const unsigned char* p, size_t size, size_t& length) {
    unsigned char b = p[0];
    length = 1;
    if (b < 0x80) {
        return b;
    }
    // The ranges of well-formed UTF-8: the second byte's bounds exclude overlong forms,
    // surrogates and values past U+10FFFF.
    if (b >= 0xC2 && b <= 0xDF) {
        if (size >= 2 && Continuation(p[1])) {
            length = 2;
            return (char32_t(b & 0x1F) << 6) | (p[1] & 0x3F);
        }
    } else if (b >= 0xE0 && b <= 0xEF) {
        unsigned char lo = b == 0xE0 ? 0xA0 : 0x80;
        unsigned char hi = b == 0xED ? 0x9F : 0xBF;
        if (size >= 3 && p[1] >= lo && p[1] <= hi && Continuation(p[2])) {
            length = 3;
            return (char32_t(b & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        }
    } else if (b >= 0xF0 && b <= 0xF4) {
        unsigned char lo = b == 0xF0 ? 0x90 : 0x80;
        unsigned char hi = b == 0xF4 ? 0x8F : 0xBF;
        if (size >= 4 && p[1] >= lo && p[1] <= hi && Continuation(p[2]) && Continuation(p[3])) {
            length = 4;
            return (char32_t(b & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                   (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        }
    }
    return BrokenByteBase + b;
}

char32_t FoldCatalogueCase(char32_t c) {
    if (c < 0x100) {
        return LatinFold[c];
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

thread_local uint64_t LikePattern::compilations = 0;

void LikePattern::Compile(std::string_view pattern, char32_t escape) {
    ++compilations;
    tokens.clear();
    segments.clear();
    source.assign(pattern);
    sourceEscape = escape;

    const auto* p = reinterpret_cast<const unsigned char*>(pattern.data());
    const size_t size = pattern.size();
    Segment open;
    auto close = [&] {
        open.End = static_cast<uint32_t>(tokens.size());
        open.AllAscii = true;
        for (uint32_t k = open.Begin; k < open.End; ++k) {
            open.AllAscii = open.AllAscii && tokens[k] < 0x80;
        }
        segments.push_back(open);
        open = Segment{};
        open.Begin = static_cast<uint32_t>(tokens.size());
    };
    size_t at = 0;
    while (at < size) {
        size_t length = 0;
        char32_t c = DecodeCatalogueChar(p + at, size - at, length);
        at += length;
        if (escape != 0 && c == escape && at < size) {
            tokens.push_back(FoldCatalogueCase(DecodeCatalogueChar(p + at, size - at, length)));
            at += length;
        } else if (c == U'*' || c == U'%') {
            // A run of stars is one star.
            bool afterStar = !segments.empty() && open.Begin == tokens.size();
            if (!afterStar) {
                close();
            }
        } else if (c == U'?' || c == U'_') {
            tokens.push_back(AnyOne);
        } else {
            tokens.push_back(FoldCatalogueCase(c));
        }
    }
    close();
}

bool LikePattern::MatchAt(const Segment& s, const unsigned char* text, size_t size, size_t at,
                          size_t& end) const {
    for (uint32_t k = s.Begin; k < s.End; ++k) {
        if (at >= size) {
            return false;
        }
        char32_t token = tokens[k];
        if (token < 0x80) {
            // An ASCII letter can only be one ASCII byte: no decoding needed.
            if (ByteFold[text[at]] != token) {
                return false;
            }
            ++at;
        } else if (token == AnyOne) {
            at = NextChar(text, size, at);
        } else {
            size_t length = 0;
            if (FoldCatalogueCase(DecodeCatalogueChar(text + at, size - at, length)) != token) {
                return false;
            }
            at += length;
        }
    }
    end = at;
    return true;
}

bool LikePattern::FindFrom(const Segment& s, const unsigned char* text, size_t size, size_t from,
                           size_t& end) const {
    char32_t first = tokens[s.Begin];
    if (first < 0x80) {
        // Every ASCII byte begins a character, so the candidates are found byte by byte.
        auto lower = static_cast<unsigned char>(first);
        auto upper = static_cast<unsigned char>(lower >= 'a' && lower <= 'z' ? lower - 32 : lower);
        for (size_t at = FindEitherByte(text, size, from, lower, upper); at < size;
             at = FindEitherByte(text, size, at + 1, lower, upper)) {
            if (MatchAt(s, text, size, at, end)) {
                return true;
            }
        }
        return false;
    }
    for (size_t at = from; at < size; at = NextChar(text, size, at)) {
        if (MatchAt(s, text, size, at, end)) {
            return true;
        }
    }
    return false;
}

bool LikePattern::MatchSuffix(const Segment& s, const unsigned char* text, size_t size,
                              size_t from) const {
    size_t count = s.End - s.Begin;
    size_t end = 0;
    if (s.AllAscii) {
        // Only ASCII bytes can match, and an ASCII byte always begins a character.
        return size - from >= count && MatchAt(s, text, size, size - count, end);
    }
    size_t available = 0;
    for (size_t at = from; at < size; at = NextChar(text, size, at)) {
        ++available;
    }
    if (available < count) {
        return false;
    }
    size_t at = from;
    for (size_t skip = available - count; skip > 0; --skip) {
        at = NextChar(text, size, at);
    }
    return MatchAt(s, text, size, at, end);
}

bool LikePattern::Matches(std::string_view subject) const {
    const auto* text = reinterpret_cast<const unsigned char*>(subject.data());
    const size_t size = subject.size();
    size_t at = 0;
    if (!MatchAt(segments.front(), text, size, 0, at)) {
        return false;
    }
    if (segments.size() == 1) {
        return at == size;
    }
    for (size_t k = 1; k + 1 < segments.size(); ++k) {
        // The leftmost place leaves the most room for what follows.
        if (!FindFrom(segments[k], text, size, at, at)) {
            return false;
        }
    }
    const Segment& last = segments.back();
    return last.Begin == last.End || MatchSuffix(last, text, size, at);
}
