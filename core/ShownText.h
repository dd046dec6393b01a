#pragma once
// Text from the server as a window shows it: bounded in length, and with no byte that could
// lay out lines or draw boxes in its place. Saved files keep the value whole; only what is
// shown goes through here.

#include <cstddef>
#include <string>
#include <string_view>

// The most of one value a window shows; what follows becomes ShownTextCut.
constexpr size_t ShownTextLimit = 64 * 1024;
inline constexpr std::string_view ShownTextCut = "[...]";

// The value on one line: every run of CR, LF and other control bytes as one space.
std::string ShownText(std::string_view value);
// The value whose own line breaks a record lays out as lines (CR LF, CR or LF kept as they
// are); every run of other control bytes as one space.
std::string ShownTextKeepingLines(std::string_view value);
