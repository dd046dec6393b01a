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

#include <cstdlib>
#include <new>
#include <random>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "tests/server/ReferenceLike.h"

// Counts this program's C++ allocations (SQLite's own go through malloc and are not counted).
namespace {
thread_local long allocations = 0;
}
void* operator new(size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
// The library's temporary buffers use the no-throw form: it must meet the same free().
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

// Characters chosen to meet every path: ASCII letters of both cases, wildcards and the escapes
// as text, two-, three- and four-byte letters with and without a case partner, and broken bytes
// (a stray continuation byte, a truncated lead, a byte UTF-8 never uses).
const std::vector<std::string> Alphabet = {"a",
                                           "b",
                                           "A",
                                           "B",
                                           " ",
                                           "*",
                                           "?",
                                           "%",
                                           "_",
                                           "!",
                                           "\xC3\xA0",
                                           "\xC3\x80",
                                           "\xC3\xA8",
                                           "\xC5\xA1",
                                           "\xC5\xA0",
                                           "\xC5\xB8",
                                           "\xC3\xBF",
                                           "\xE2\x82\xAC",
                                           "\xF0\x9F\x98\x80",
                                           "\x80",
                                           "\xC3",
                                           "\xFF"};

std::string RandomText(std::mt19937& rng, size_t maxChars) {
    std::string out;
    for (size_t n = rng() % (maxChars + 1); n > 0; --n) {
        out += Alphabet[rng() % Alphabet.size()];
    }
    return out;
}

// Half the patterns are cut from the text with some characters turned into wildcards, so that
// matches are as common as misses.
std::string RandomPattern(std::mt19937& rng, const std::string& text) {
    if (rng() % 2 == 0) {
        return RandomText(rng, 6);
    }
    static const char* const Wild[] = {"*", "?", "%", "_", "!", "!*"};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned roll = rng() % 10;
        if (roll == 0) {
            out += Wild[rng() % 6];
        } else if (roll == 1 && i + 1 < text.size()) {
            out += "*";
            i += rng() % 3;
        } else if (roll == 2 && text[i] >= 'a' && text[i] <= 'z') {
            out += static_cast<char>(text[i] - 32);
        } else {
            out += text[i];
        }
    }
    return out;
}

TEST(Wildcard, AgreesWithTheReferenceOnRandomPatternsAndTexts) {
    std::mt19937 rng(20240611);
    const char32_t Escapes[] = {0, U'!', U'*', 0xE0};
    int matched = 0;
    const int cases = 200000;
    for (int i = 0; i < cases; ++i) {
        // Long texts too, so that searches run over whole blocks of bytes and a partial one.
        std::string text = RandomText(rng, i % 4 == 0 ? 48 : 12);
        std::string pattern = RandomPattern(rng, text);
        char32_t escape = Escapes[rng() % 4];
        bool expected = ReferenceWildcardMatch(pattern, text, escape);
        ASSERT_EQ(WildcardMatch(pattern, text, escape), expected)
            << "pattern [" << pattern << "] text [" << text << "] escape " << uint32_t(escape);
        matched += expected ? 1 : 0;
    }
    EXPECT_GT(matched, cases / 10);
    EXPECT_LT(matched, cases * 4 / 5);
}

TEST(Wildcard, IllFormedBytesMatchOnlyThemselves) {
    // Overlong forms of 'a' and '*', a surrogate, and a truncated three-byte letter: each byte
    // is a character of its own.
    EXPECT_FALSE(WildcardMatch("a", "\xC1\x81"));
    EXPECT_FALSE(WildcardMatch("?", "\xE0\x81\x81"));
    EXPECT_FALSE(WildcardMatch("?", "\xF0\x80\x81\x81"));
    EXPECT_TRUE(WildcardMatch("??", "\xC1\x81"));
    EXPECT_TRUE(WildcardMatch("*\xC1\x81*", "x\xC1\x81y"));
    EXPECT_FALSE(WildcardMatch("\xC0\xAA", "anything"));
    EXPECT_TRUE(WildcardMatch("???", "\xED\xA0\x80"));
    EXPECT_TRUE(WildcardMatch("\xE2\x82?", "\xE2\x82x"));
    EXPECT_FALSE(WildcardMatch("\xE2\x82?", "\xE2\x82\xAC"));
    // A private-use letter is not the broken byte it might be confused with.
    EXPECT_FALSE(WildcardMatch("\x80", "\xF3\xB0\x82\x80"));
    // The end of the text decides a suffix, also after letters longer than one byte.
    EXPECT_TRUE(WildcardMatch("*\xC3\xA0?", "\xC3\x80\xC3\xA0\xF0\x9F\x98\x80"));
    EXPECT_FALSE(WildcardMatch("*\xC3\xA0?", "\xC3\xA0"));
    EXPECT_TRUE(WildcardMatch("*aa*a", "aaa"));
    EXPECT_FALSE(WildcardMatch("*aa*a", "aa"));
}

class LikeInSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        ASSERT_EQ(RegisterCatalogueLike(db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, p TEXT, x TEXT, e TEXT);"
                         "INSERT INTO t VALUES (1, 'a*', 'abc', '!'), (2, 'a*', 'xbc', '*'),"
                         " (3, '*c', 'abc', '!'), (4, '*c', 'ab', '*'), (5, '?b?', 'abc', '!'),"
                         " (6, 'a!*', 'a*', '!'), (7, 'a!*', 'a!x', '*'), (8, NULL, 'a', '!');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
    }
    void TearDown() override { sqlite3_close(db); }

    // The first column of every row, joined with commas; NULL as "-"; or the error.
    std::string Run(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            return std::string("error: ") + sqlite3_errmsg(db);
        }
        std::string out;
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const unsigned char* v = sqlite3_column_text(stmt, 0);
            out += (out.empty() ? "" : ",") +
                   (v ? std::string(reinterpret_cast<const char*>(v)) : "-");
        }
        if (rc != SQLITE_DONE) {
            out = std::string("error: ") + sqlite3_errmsg(db);
        }
        sqlite3_finalize(stmt);
        return out;
    }

    sqlite3* db = nullptr;
};

TEST_F(LikeInSqlite, PatternsThatChangeFromRowToRowAreEachCompiled) {
    // Rows 1-2 and 3-4 repeat a pattern, so each is compiled once and then handed on.
    EXPECT_EQ(Run("SELECT x LIKE p FROM t ORDER BY id"), "1,0,1,0,1,0,1,-");
    EXPECT_EQ(Run("SELECT x LIKE p ESCAPE e FROM t ORDER BY id"), "1,0,1,0,1,1,1,-");
    // The same constant pattern with an escape that changes from row to row.
    EXPECT_EQ(Run("SELECT x LIKE 'a!*' ESCAPE e FROM t WHERE id IN (6, 7) ORDER BY id"), "1,1");
    EXPECT_EQ(Run("SELECT x LIKE 'a!*' ESCAPE e FROM t WHERE id IN (7, 6) ORDER BY id DESC"),
              "1,1");
}

TEST_F(LikeInSqlite, EachConstantPatternKeepsItsOwnCompiledForm) {
    EXPECT_EQ(Run("SELECT id FROM t WHERE x LIKE 'X*' OR x LIKE '*B' ORDER BY id"), "2,4");
    EXPECT_EQ(Run("SELECT (x LIKE '?b*') + 2 * (x LIKE '*c') FROM t ORDER BY id"),
              "3,3,3,1,3,0,0,0");
}

TEST_F(LikeInSqlite, APatternIsCompiledOncePerStatementAndNoRowAllocates) {
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE big(x TEXT, p TEXT);"
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 2000) INSERT INTO big SELECT 'row ' || i, "
                           "CASE i % 3 WHEN 0 THEN '*1' WHEN 1 THEN '*2' ELSE 'row ?' END FROM n;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    struct Cost {
        uint64_t Compiled;
        long Allocated;
        std::string Answer;
    };
    auto cost = [&](const std::string& sql) {
        uint64_t compiled = LikePattern::Compilations();
        long allocated = allocations;
        std::string answer = Run(sql);
        return Cost{LikePattern::Compilations() - compiled, allocations - allocated, answer};
    };
    // Two constant patterns, twice: compiled in the first statement only.
    const std::string constant = "SELECT count(*) FROM big WHERE x LIKE '*1*' AND x LIKE 'ROW *'";
    Cost first = cost(constant);
    Cost second = cost(constant);
    EXPECT_EQ(first.Answer, "1271");
    EXPECT_EQ(first.Compiled, 2u);
    EXPECT_EQ(second.Compiled, 0u);
    EXPECT_LT(first.Allocated, 20);
    // Each handed to SQLite to keep for the statement, once.
    EXPECT_EQ(second.Allocated, 2);
    // A pattern from a column, three values in turn: each compiled once, nothing per row.
    Cost column = cost("SELECT count(*) FROM big WHERE x LIKE p");
    EXPECT_EQ(column.Answer, "135");
    EXPECT_EQ(column.Compiled, 3u);
    EXPECT_LT(column.Allocated, 20);
}

TEST_F(LikeInSqlite, APatternAStatementHoldsSurvivesManyOthersMeanwhile) {
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE many(x TEXT);"
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 20) INSERT INTO many SELECT 'p' || i FROM n;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* held = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT x LIKE 'p1*' FROM many ORDER BY rowid", -1, &held, nullptr),
        SQLITE_OK);
    std::string answers;
    for (int row = 0; row < 20; ++row) {
        ASSERT_EQ(sqlite3_step(held), SQLITE_ROW);
        answers += std::to_string(sqlite3_column_int(held, 0));
        if (row == 3) {
            // Twenty other patterns while the first statement is half way.
            EXPECT_EQ(Run("SELECT count(*) FROM many WHERE 'p1' LIKE x || '*'"), "1");
        }
    }
    sqlite3_finalize(held);
    EXPECT_EQ(answers, "10000000011111111110");
}

TEST_F(LikeInSqlite, NullsAndBadArgumentsAnswerAsBefore) {
    EXPECT_EQ(Run("SELECT NULL LIKE 'a', 'a' LIKE NULL"), "-");
    EXPECT_EQ(Run("SELECT 'a' LIKE 'a' ESCAPE NULL"), "-");
    EXPECT_EQ(Run("SELECT 'a' LIKE 'a' ESCAPE '!!'"),
              "error: ESCAPE expression must be a single character");
    EXPECT_EQ(Run("SELECT 'a' LIKE 'a' ESCAPE ''"),
              "error: ESCAPE expression must be a single character");
    EXPECT_EQ(Run("SELECT 'x\xC3\xA0' LIKE 'x!\xC3\x80' ESCAPE '\xC3\xA0'"), "0");
    EXPECT_EQ(Run("SELECT 'x\xC3\xA0' LIKE 'x\xC3\xA0\xC3\x80' ESCAPE '\xC3\xA0'"), "1");
    sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 4);
    EXPECT_EQ(Run("SELECT 'abcde' LIKE 'abcd*'"), "error: LIKE or GLOB pattern too complex");
    EXPECT_EQ(Run("SELECT 'abcd' LIKE 'abc*'"), "1");
}

} // namespace
