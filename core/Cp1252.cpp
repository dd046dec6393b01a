#include "core/Cp1252.h"

namespace {
// 0x80..0x9F; the unassigned bytes keep their C1 value.
constexpr char32_t High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t Cp1252CodePoint(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? High[byte - 0x80] : char32_t(byte);
}

bool Cp1252CanHold(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return true;
    }
    for (char32_t h : High) {
        if (h == cp) {
            return true;
        }
    }
    return false;
}

unsigned char Cp1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<unsigned char>(cp);
    }
    for (int i = 0; i < 32; ++i) {
        if (High[i] == cp) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return '?';
}

std::string Cp1252ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (unsigned char c : bytes) {
        AppendUtf8(out, Cp1252CodePoint(c));
    }
    return out;
}

size_t Utf8ToCp1252Into(char* out, std::string_view utf8, bool* lossless) {
    char* const start = out;
    bool ok = true;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0;
        size_t length = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            length = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            length = 4;
        } else {
            cp = 0xFFFD;
        }
        static constexpr char32_t Shortest[5] = {0, 0, 0x80, 0x800, 0x10000};
        // A sequence cut short, by the end of the text or by a byte that does not continue it,
        // gives one '?' for the bytes it has; the byte that broke it starts afresh.
        for (size_t k = 1; k < length; ++k) {
            if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) {
                cp = 0xFFFD;
                length = k;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        // Overlong forms would let a second spelling of ASCII (a quote, a NUL) through.
        if (cp != 0xFFFD && length > 1 && (cp < Shortest[length] || cp > 0x10FFFF)) {
            cp = 0xFFFD;
        }
        if (Cp1252CanHold(cp)) {
            *out++ = static_cast<char>(Cp1252Byte(cp));
        } else {
            *out++ = '?';
            ok = false;
        }
        i += length;
    }
    if (lossless != nullptr) {
        *lossless = ok;
    }
    return static_cast<size_t>(out - start);
}

std::string Utf8ToCp1252(const std::string& utf8, bool* lossless) {
    std::string out(utf8.size(), '\0');
    out.resize(Utf8ToCp1252Into(out.data(), utf8, lossless));
    return out;
}
