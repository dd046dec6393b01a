// Windows-1252 and UTF-8: every byte text survives the trip through UTF-8; a UTF-8 text comes
// back whole exactly when the conversion says it lost nothing; what it gives is stable.

#include <cstring>
#include <string>

#include "core/Cp1252.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(FuzzText(data, size));

    // As Windows-1252 bytes.
    bool lossless = false;
    const std::string utf8 = Cp1252ToUtf8(input);
    FuzzCheck(Utf8ToCp1252(utf8, &lossless) == input, "bytes come back from UTF-8 unchanged");
    FuzzCheck(lossless, "bytes through UTF-8 lose nothing");

    // As UTF-8 from outside (a catalogue, a widget).
    const std::string bytes = Utf8ToCp1252(input, &lossless);
    FuzzCheck(bytes.size() <= input.size(), "the conversion never grows a text");
    if (lossless) {
        FuzzCheck(Cp1252ToUtf8(bytes) == input, "a lossless conversion comes back whole");
    }
    bool again = false;
    FuzzCheck(Utf8ToCp1252(Cp1252ToUtf8(bytes), &again) == bytes && again,
              "a converted text converts back to itself");

    // One code point from the first four bytes.
    if (size >= 4) {
        char32_t cp = 0;
        std::memcpy(&cp, data, 4);
        cp %= 0x110000;
        std::string one;
        AppendUtf8(one, cp);
        bool held = false;
        const std::string back = Utf8ToCp1252(one, &held);
        const bool scalar = cp < 0xD800 || cp > 0xDFFF;
        if (Cp1252CanHold(cp)) {
            FuzzCheck(Cp1252CodePoint(Cp1252Byte(cp)) == cp, "a held code point has its byte");
            FuzzCheck(back.size() == 1 && static_cast<unsigned char>(back[0]) == Cp1252Byte(cp),
                      "a held code point converts to its byte");
        }
        if (scalar) {
            FuzzCheck(held == Cp1252CanHold(cp), "lossless exactly for the code points held");
        }
    }
    return 0;
}
