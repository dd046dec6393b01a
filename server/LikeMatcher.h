#pragma once
// A catalogue LIKE pattern compiled once and matched against many texts without allocating.
//
// '*' and '%' match any run of characters, '?' and '_' exactly one; the escape makes the next
// pattern character literal. Letters match regardless of case for ASCII and for the letters
// Windows-1252 holds in both cases, but an accented letter never matches its plain one.
//
// Characters are UTF-8 code points. A byte that does not begin a well-formed sequence (a stray
// continuation byte, a truncated sequence, an overlong form, a surrogate) stands for itself, so
// broken text matches the same broken bytes and nothing else.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LikePattern {
public:
    // The empty pattern, which matches only the empty text.
    LikePattern() : segments(1) {}
    // Compiles a UTF-8 pattern; escape is a code point, or 0 for none. The storage of an
    // earlier pattern is reused.
    void Compile(std::string_view pattern, char32_t escape);
    // Whether the last Compile was given exactly these.
    bool CompiledFrom(std::string_view pattern, char32_t escape) const {
        return escape == sourceEscape && pattern == source;
    }
    char32_t Escape() const { return sourceEscape; }

    bool Matches(std::string_view text) const;

    // How many patterns this thread has compiled: a statement should cost one per pattern.
    static uint64_t Compilations() { return compilations; }

private:
    // A run of tokens between two '*': each token stands for one character, either a folded
    // literal or AnyOne.
    struct Segment {
        uint32_t Begin = 0;
        uint32_t End = 0;
        bool AllAscii = false; // every token an ASCII literal, so one byte each
    };
    static constexpr char32_t AnyOne = 0xFFFFFFFF;

    bool MatchAt(const Segment& s, const unsigned char* text, size_t size, size_t at,
                 size_t& end) const;
    bool FindFrom(const Segment& s, const unsigned char* text, size_t size, size_t from,
                  size_t& end) const;
    bool MatchSuffix(const Segment& s, const unsigned char* text, size_t size, size_t from) const;

    std::vector<char32_t> tokens;
    // Split at the stars: one segment means no star at all; otherwise the first is anchored at
    // the start, the last at the end, and either may be empty.
    std::vector<Segment> segments;
    std::string source;
    char32_t sourceEscape = 0;
    static thread_local uint64_t compilations;
};

// Decodes the character at text[0] (size > 0), setting its length in bytes. Ill-formed bytes
// decode, one at a time, to values above the Unicode range.
char32_t DecodeCatalogueChar(const unsigned char* text, size_t size, size_t& length);

// The case folding of the catalogue's LIKE.
char32_t FoldCatalogueCase(char32_t c);
