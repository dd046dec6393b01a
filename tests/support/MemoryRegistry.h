#pragma once
// An in-memory registry for tests: keys under both roots, typed values, and a switch that makes
// every write fail (as a full disk or a read-only file would).

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "core/Registry.h"

class MemoryRegistry : public Registry {
public:
    struct Value {
        RegType Type = RegType::None;
        std::string Text;
        uint32_t Dword = 0;
    };
    using Values = std::map<std::string, Value>;

    std::unique_ptr<RegistryKey> OpenKey(RegRoot root, const std::string& key,
                                         bool forWriting) override {
        auto where = std::make_pair(root, key);
        if (Keys.find(where) == Keys.end()) {
            if (!forWriting || root != RegRoot::CurrentUser) {
                return nullptr;
            }
            if (FailWrites) {
                return nullptr;
            }
            Keys[where];
        }
        return std::make_unique<Key>(*this, Keys[where]);
    }

    Values& KeyValues(RegRoot root, const std::string& key) { return Keys[{root, key}]; }
    bool HasKey(RegRoot root, const std::string& key) const {
        return Keys.find({root, key}) != Keys.end();
    }

    bool FailWrites = false;
    int Writes = 0;

private:
    class Key : public RegistryKey {
    public:
        Key(MemoryRegistry& owner, Values& values) : owner(owner), values(values) {}
        RegType TypeOf(const std::string& name) const override {
            auto it = values.find(name);
            return it == values.end() ? RegType::None : it->second.Type;
        }
        bool ReadDword(const std::string& name, int32_t& out) const override {
            auto it = values.find(name);
            if (it == values.end() || it->second.Type != RegType::Dword) {
                return false;
            }
            out = static_cast<int32_t>(it->second.Dword);
            return true;
        }
        bool ReadString(const std::string& name, std::string& out) const override {
            auto it = values.find(name);
            if (it == values.end() ||
                (it->second.Type != RegType::String && it->second.Type != RegType::ExpandString)) {
                return false;
            }
            out = it->second.Text;
            return true;
        }
        bool WriteDword(const std::string& name, uint32_t value) override {
            if (owner.FailWrites) {
                return false;
            }
            ++owner.Writes;
            values[name] = Value{RegType::Dword, {}, value};
            return true;
        }
        bool WriteString(const std::string& name, const std::string& value) override {
            if (owner.FailWrites) {
                return false;
            }
            ++owner.Writes;
            values[name] = Value{RegType::String, value, 0};
            return true;
        }

    private:
        MemoryRegistry& owner;
        Values& values;
    };

    std::map<std::pair<RegRoot, std::string>, Values> Keys;
};
