#pragma once
// Windows-1252 <-> UTF-8, for the widget boundary and for the server's catalogue (UTF-8).

#include <cstddef>
#include <string>
#include <string_view>

// Every byte maps to one code point (the five unassigned bytes to the C1 controls of the same
// value), so the conversion never fails and round-trips.
std::string Cp1252ToUtf8(const std::string& bytes);
// Code points Windows-1252 cannot hold become '?' and set *lossless to false when given.
std::string Utf8ToCp1252(const std::string& utf8, bool* lossless = nullptr);
// The same into out, which has room for utf8.size() bytes (a character never takes more bytes
// than its UTF-8 form); the bytes written.
size_t Utf8ToCp1252Into(char* out, std::string_view utf8, bool* lossless = nullptr);
// Whether one Unicode code point has a Windows-1252 byte.
bool Cp1252CanHold(char32_t codePoint);
// The byte for a code point; only meaningful when Cp1252CanHold is true.
unsigned char Cp1252Byte(char32_t codePoint);
char32_t Cp1252CodePoint(unsigned char byte);
// Appends one Unicode scalar value (up to U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);
