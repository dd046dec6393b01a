#include <gtest/gtest.h>

#include <string>

#include "core/Cp1252.h"
#include "core/UOrvoCCommon.h"

using namespace std::chrono;
using namespace std::string_literals;

TEST(SessionState, ResetAndContextNumbers) {
    ServerName = "old";
    ServerVersion = 9;
    OnlineLink = "x";
    GenreNames = {"a"};
    CentresCache = std::make_unique<CMatrix>();
    Terminating = true;
    MemoryRecoveryPending = true;
    ContextCounter = 41;
    ResetSessionState();
    EXPECT_EQ(ServerName, "");
    EXPECT_EQ(ServerVersion, 0);
    EXPECT_EQ(SiteLink, DefaultSiteLink);
    EXPECT_EQ(MailLink, DefaultMailLink);
    EXPECT_EQ(OnlineLink, "");
    EXPECT_TRUE(GenreNames.empty());
    EXPECT_EQ(CentresCache, nullptr);
    EXPECT_FALSE(Terminating);
    EXPECT_FALSE(MemoryRecoveryPending);

    EXPECT_EQ(NextContext(), 1u);
    EXPECT_EQ(NextContext(), 2u);
    EXPECT_EQ(NextContext(), 3u);
    // Wrapping round skips 0, which is never a context.
    ContextCounter = 0xFFFFFFFFu;
    EXPECT_EQ(NextContext(), 0xFFFFFFFFu);
    EXPECT_EQ(NextContext(), 1u);
}

TEST(TextRoutines, QueryTextHelpers) {
    EXPECT_EQ(EscapeQuotes("l'isola"), "l''isola");
    EXPECT_EQ(EscapeQuotes("''"), "''''");
    EXPECT_EQ(EscapeQuotes("nessuna \"virgoletta\""), "nessuna \"virgoletta\"");
    EXPECT_EQ(EscapeQuotes(""), "");

    EXPECT_TRUE(HasWildcards("*"));
    EXPECT_TRUE(HasWildcards("a?c"));
    EXPECT_FALSE(HasWildcards(""));
    EXPECT_FALSE(HasWildcards("a%c_"));

    EXPECT_EQ(BoolText(true), "true");
    EXPECT_EQ(BoolText(false), "false");

    EXPECT_EQ(CleanFieldText("\t Roma \r\n"), "Roma");
    EXPECT_EQ(CleanFieldText("   "), "");
    EXPECT_EQ(CleanFieldText("a \x01 b"), "a \x01 b");
    EXPECT_EQ(CleanFieldText("\xA0x\xA0"), "\xA0x\xA0"); // a no-break space is above 0x20
}

TEST(TextRoutines, SignificantCharacters) {
    struct Case {
        std::string text;
        int minimum;
        bool result;
    };
    const Case cases[] = {
        {"", 0, true},
        {"ab", 3, false},
        {"a'b", 3, true},
        {"a b", 3, false},
        {"citt\xE0", 5, true},
        {"CITT\xC0", 5, false}, // an upper-case accented letter does not count
        {"CITT\xC0", 4, true},
        {"   ab   ", 3, false},
        {"\xE8\xE9\xE0\xF9\xF2\xE7\xEC", 7, true},
        {"a-b.c,d", 4, true},
        {"a-b.c", 4, false},
        {"x1!", 2, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HasSignificantChars(c.text, c.minimum), c.result)
            << testing::PrintToString(c.text) << " " << c.minimum;
    }
}

TEST(TextRoutines, IntegerConversion) {
    EXPECT_EQ(StrToIntOpt("1024"), 1024);
    EXPECT_EQ(StrToIntOpt("-1"), -1);
    EXPECT_EQ(StrToIntOpt("+7"), 7);
    EXPECT_EQ(StrToIntOpt("$FF"), 255);
    EXPECT_EQ(StrToIntOpt("2147483647"), 2147483647);
    EXPECT_EQ(StrToIntOpt("-2147483648"), -2147483648LL);
    for (const char* bad : {"", " ", "-", "12a", "1 ", "2147483648", "$", "1.5"}) {
        EXPECT_EQ(StrToIntOpt(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(InvalidIntegerText("x"), "'x' is not a valid integer value");
}

TEST(Dates, ServerDates) {
    EXPECT_EQ(ZeroDate, year_month_day(year(1899), December, day(30)));
    EXPECT_EQ(ParseServerDate("020241207"), year_month_day(year(2024), December, day(7)));
    EXPECT_EQ(ParseServerDate("X20241207 trailing"), year_month_day(year(2024), December, day(7)));
    EXPECT_EQ(ParseServerDate("020240229"), year_month_day(year(2024), February, day(29)));
    for (const char* bad : {"020231307", "02024120", "020230229", "000000000", "", "0abcd1207",
                            "020241200", "000001207", "02024-107"}) {
        EXPECT_TRUE(IsZeroDate(ParseServerDate(bad))) << bad;
    }
    EXPECT_EQ(FormatShortDate(year_month_day(year(2024), December, day(7))), "07/12/2024");
    EXPECT_EQ(FormatShortDate(ZeroDate), "30/12/1899");
    EXPECT_EQ(FormatShortDate(year_month_day(year(33), January, day(1))), "01/01/0033");
}

TEST(Versions, FieldsStageWordsAndAboutText) {
    EXPECT_EQ(ProgramVersion, 515u);
    EXPECT_EQ(ProtocolVersion, 513u);
    EXPECT_EQ(MemoryRecoveryThreshold, 262144);
    VersionFields v = SplitVersion(0x1A2B3u); // bits above the low 16 are not shown
    EXPECT_EQ(v.Stage, 0xA);
    EXPECT_EQ(v.Major, 2);
    EXPECT_EQ(v.Minor, 0xB);
    EXPECT_EQ(v.Release, 3);

    EXPECT_EQ(AboutText(515, false, "", 0), "Dravel ver. 2.0.3\r\nServer remoto: (non contattato)");
    EXPECT_EQ(AboutText(515, true, "Orvo", 4624),
              "Dravel ver. 2.0.3\r\nServer remoto: Orvo ver. 2.1.0 pre alpha");
    EXPECT_EQ(AboutText(0x1203, true, "S", 0x3210),
              "Dravel ver. 2.0.3 pre-alpha\r\nServer remoto: S ver. 2.1.0beta");
    EXPECT_EQ(AboutText(0x2203, true, "S", 0),
              "Dravel ver. 2.0.3 alpha\r\nServer remoto: S ver. 0.0.0");
    EXPECT_EQ(AboutText(0xF000, true, "S", 0x4000),
              "Dravel ver. 0.0.0 (sconosciuta)\r\nServer remoto: S ver. 0.0.0 (sconosciuta)");
}

TEST(Links, OnlyWebAndMailAddressesReachTheShell) {
    EXPECT_EQ(SafeShellLink("https://www.example.org/a?b=c&d"), "https://www.example.org/a?b=c&d");
    EXPECT_EQ(SafeShellLink(" HTTP://x.org/\r\n"), "HTTP://x.org/");
    EXPECT_EQ(SafeShellLink("mailto:info@example.org"), "mailto:info@example.org");
    // Nothing the server sends may add headers, recipients or a body to the mail.
    EXPECT_EQ(SafeShellLink("mailto:a@b.org?bcc=x@y.org&body=hi"),
              "mailto:a@b.org%3Fbcc%3Dx@y.org%26body%3Dhi");
    EXPECT_EQ(SafeShellLink("mailto:a@b.org\r\nBcc: x@y.org"),
              "mailto:a@b.org%0D%0ABcc%3A%20x@y.org");
    EXPECT_EQ(SafeShellLink("mailto:a%0Ab@c.org"), "mailto:a%250Ab@c.org");
    EXPECT_EQ(SafeShellLink("mailto:citt\xE0@c.org"), "mailto:citt%C3%A0@c.org");
    for (const char* bad : {"file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)",
                            "mailto:", "mailto:  ", "http://a b/", "https://x\ny", "ftp://x.org",
                            "httpx://x.org", "", "info@example.org"}) {
        EXPECT_EQ(SafeShellLink(bad), std::nullopt) << testing::PrintToString(std::string(bad));
    }
}

TEST(Cp1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    bool lossless = false;
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all), &lossless), all);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE0\x9F"), "\xE2\x82\xAC\xC3\xA0\xC5\xB8");
}

TEST(Cp1252, ForeignOrMalformedUtf8BecomesQuestionMarks) {
    bool lossless = true;
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC \xE4\xB8\xAD", &lossless), "\x80 ?");
    EXPECT_FALSE(lossless);
    // Overlong spellings of a quote and a NUL, a lone surrogate, a cut sequence, a stray byte.
    EXPECT_EQ(Utf8ToCp1252("\xC0\xA7"), "?");
    EXPECT_EQ(Utf8ToCp1252("\xE0\x80\x80x"), "?x");
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "?");
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");
    EXPECT_EQ(Utf8ToCp1252("\xBFz"), "?z");
    EXPECT_EQ(Utf8ToCp1252("\xC3z"), "?z");
    // A sequence cut short near the end takes none of the bytes after it.
    EXPECT_EQ(Utf8ToCp1252("\xE2"
                           "a"),
              "?a");
    EXPECT_EQ(Utf8ToCp1252("x\xF0\x9F"
                           "b"),
              "x?b");
    EXPECT_TRUE(Cp1252CanHold(U'\u20AC'));
    EXPECT_FALSE(Cp1252CanHold(U'\u4E2D'));
}
