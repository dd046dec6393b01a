#pragma once
// What the settings need from a registry: keys under two roots, typed DWORD and string values.
// platform/FileRegistry realises it over .reg files.

#include <cstdint>
#include <memory>
#include <string>

enum class RegRoot { CurrentUser, ClassesRoot };

enum class RegType { None, String, ExpandString, Dword, Other };

class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual RegType TypeOf(const std::string& name) const = 0;
    // False when the value is missing or of another type (a DWORD read of a string fails).
    virtual bool ReadDword(const std::string& name, int32_t& out) const = 0;
    // Plain or expandable strings only, taken as stored up to the first NUL (no expansion).
    // False when the value is missing too: callers that take a missing string as empty ask
    // TypeOf first.
    virtual bool ReadString(const std::string& name, std::string& out) const = 0;
    // Each write is durable on return (or returns false and changes nothing).
    virtual bool WriteDword(const std::string& name, uint32_t value) = 0;
    virtual bool WriteString(const std::string& name, const std::string& value) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // nullptr when the key cannot be opened (or, for writing, created). A key opened for
    // reading is a snapshot; one opened for writing writes through at every value write.
    virtual std::unique_ptr<RegistryKey> OpenKey(RegRoot root, const std::string& key,
                                                 bool forWriting) = 0;
};
