#pragma once
// What every target shares: the entry point libFuzzer calls, and the check that turns a broken
// property into a crash both libFuzzer and the corpus replay report.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Aborts with what was expected when it does not hold: the input that got here is the finding.
inline void FuzzCheck(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

inline std::string_view FuzzText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Splits an input into the parts a target needs: text up to each NUL byte, the rest last.
class FuzzParts {
public:
    explicit FuzzParts(std::string_view input) : rest(input) {}
    std::string_view Next() {
        size_t end = rest.find('\0');
        std::string_view part = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        return part;
    }

private:
    std::string_view rest;
};
