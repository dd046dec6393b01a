#pragma once
// The one error type of the program: it carries the (Windows-1252) text shown to the user.

#include <stdexcept>
#include <string>

class EOrvoError : public std::runtime_error {
public:
    explicit EOrvoError(const std::string& text) : std::runtime_error(text) {}
};
