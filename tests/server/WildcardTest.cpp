#include <gtest/gtest.h>

#include "server/Wildcard.h"

namespace {

TEST(Wildcard, StarsBacktrackAndAnchorBothEnds) {
    EXPECT_TRUE(WildcardMatch("a*b*c", "axxbyybzc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "axxbyybzcd"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_TRUE(WildcardMatch("", ""));
    EXPECT_FALSE(WildcardMatch("", "a"));
    EXPECT_FALSE(WildcardMatch("?", ""));
    EXPECT_TRUE(WildcardMatch("*%*", "anything"));
    EXPECT_TRUE(WildcardMatch("_?", "\xC3\xA0x")); // one code point each
    EXPECT_FALSE(WildcardMatch("??", "\xC3\xA0"));
}

TEST(Wildcard, EscapeMakesTheNextCharacterLiteral) {
    EXPECT_TRUE(WildcardMatch("100!%", "100%", U'!'));
    EXPECT_FALSE(WildcardMatch("100!%", "1000", U'!'));
    EXPECT_TRUE(WildcardMatch("a!*b", "a*b", U'!'));
    EXPECT_FALSE(WildcardMatch("a!*b", "axb", U'!'));
}

TEST(Wildcard, CaseFoldsOnlyLettersWindows1252HoldsInBothCases) {
    EXPECT_TRUE(WildcardMatch("\xC5\xA0KODA", "\xC5\xA1koda")); // S caron
    EXPECT_TRUE(WildcardMatch("\xC5\x92UVRE", "\xC5\x93uvre")); // OE ligature
    EXPECT_TRUE(WildcardMatch("\xC3\x98", "\xC3\xB8"));         // O stroke
    EXPECT_FALSE(WildcardMatch("\xC3\x97", "\xC3\xB7"));        // times is not divide
    EXPECT_FALSE(WildcardMatch("e", "\xC3\xA8"));
    EXPECT_FALSE(WildcardMatch("\xC3\x88", "e"));
}

} // namespace
