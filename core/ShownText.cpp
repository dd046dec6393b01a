#include "core/ShownText.h"

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

bool IsLineBreak(unsigned char c) {
    return c == '\r' || c == '\n';
}

// Looks at no more than the limit of the value, so a value of many megabytes costs no more
// than one of the limit's size.
std::string Shown(std::string_view value, bool keepLines) {
    const std::string_view part = value.substr(0, ShownTextLimit);
    std::string out;
    out.reserve(part.size() + (value.size() > part.size() ? ShownTextCut.size() : 0));
    bool inRun = false;
    for (const char ch : part) {
        const auto c = static_cast<unsigned char>(ch);
        if (keepLines && IsLineBreak(c)) {
            out.push_back(ch);
            inRun = false;
        } else if (IsControl(c)) {
            if (!inRun) {
                out.push_back(' ');
                inRun = true;
            }
        } else {
            out.push_back(ch);
            inRun = false;
        }
    }
    if (value.size() > part.size()) {
        out.append(ShownTextCut);
    }
    return out;
}

} // namespace

std::string ShownText(std::string_view value) {
    return Shown(value, false);
}

std::string ShownTextKeepingLines(std::string_view value) {
    return Shown(value, true);
}
