#include <gtest/gtest.h>

#include <string>

#include "core/ShownText.h"

using namespace std::string_literals;

TEST(ShownText, ControlRunsBecomeOneSpace) {
    struct Case {
        std::string value;
        std::string shown;
        std::string keepingLines;
    };
    const Case cases[] = {
        {"", "", ""},
        {"Il nome della rosa", "Il nome della rosa", "Il nome della rosa"},
        {"uno\r\nTelefono: 555", "uno Telefono: 555", "uno\r\nTelefono: 555"},
        {"a\rb\nc", "a b c", "a\rb\nc"},
        {"a\t\x01\x1F\x7F"
         "b",
         "a b", "a b"},
        // Line breaks inside a run of other controls end it where lines are kept.
        {"a\t\r\n\tb", "a b", "a \r\n b"},
        {"\x02"
         "x\x1B",
         " x ", " x "},
        {"NUL\0here"s, "NUL here", "NUL here"},
        // Accented letters and the upper half of Windows-1252 are text, not controls.
        {"citt\xE0 \x80 \x9F \xA0", "citt\xE0 \x80 \x9F \xA0", "citt\xE0 \x80 \x9F \xA0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownText(c.value), c.shown) << testing::PrintToString(c.value);
        EXPECT_EQ(ShownTextKeepingLines(c.value), c.keepingLines)
            << testing::PrintToString(c.value);
    }
}

TEST(ShownText, LongValuesAreCutAtTheLimit) {
    const std::string exact(ShownTextLimit, 'x');
    EXPECT_EQ(ShownText(exact), exact);

    const std::string huge = std::string(10 * 1024 * 1024, 'y');
    const std::string shown = ShownText(huge);
    EXPECT_EQ(shown.size(), ShownTextLimit + ShownTextCut.size());
    EXPECT_EQ(shown.substr(0, ShownTextLimit), huge.substr(0, ShownTextLimit));
    EXPECT_EQ(shown.substr(ShownTextLimit), "[...]");

    // The limit counts the value's own bytes, so a run of controls cut in two stays one space.
    std::string lines = std::string(ShownTextLimit - 1, 'z') + "\r\n\r\nmore";
    EXPECT_EQ(ShownText(lines), std::string(ShownTextLimit - 1, 'z') + " [...]");
    EXPECT_EQ(ShownTextKeepingLines(lines), std::string(ShownTextLimit - 1, 'z') + "\r[...]");
}
