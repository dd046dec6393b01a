#pragma once
// The settings a test's client starts with: an in-memory registry, installed as the settings
// registry for the object's lifetime and written as the settings dialog writes it.

#include <cstdint>
#include <string>

#include "core/Settings.h"
#include "tests/support/MemoryRegistry.h"

class TestSettings : public MemoryRegistry {
public:
    TestSettings() { SetSettingsRegistry(this); }
    ~TestSettings() override { SetSettingsRegistry(nullptr); }
    TestSettings(const TestSettings&) = delete;
    TestSettings& operator=(const TestSettings&) = delete;

    // Points the client at a server, in the normal (not blind-friendly) presentation; false
    // when the write failed.
    bool Store(uint32_t port, const std::string& address = "127.0.0.1",
               const std::string& service = "") {
        TRegistryInfo info = DefaultSettings();
        info.BlindFriendly = false;
        info.Address = address;
        info.RemotePort = port;
        info.Service = service;
        return SaveSettings(info, *this) == 0;
    }
};
