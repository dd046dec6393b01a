#pragma once
// The connection and user settings and their persistence under the key Dravel2.

#include <cstdint>
#include <string>

#include "core/Registry.h"

struct TRegistryInfo {
    uint32_t Version = 0;
    std::string Address;
    bool BlindFriendly = false;
    uint32_t RemotePort = 0;
    std::string Service;
    std::string UserId;
    std::string Password;

    bool operator==(const TRegistryInfo&) const = default;
};

inline constexpr const char* SettingsKey = "Dravel2";
inline constexpr const char* DefaultServerAddress = "127.0.0.1";
inline constexpr uint32_t DefaultRemotePort = 10241;

TRegistryInfo DefaultSettings();

// The registry the three routines below use when none is passed; the program installs the
// file-backed one at start, tests their own.
void SetSettingsRegistry(Registry* registry);
Registry& SettingsRegistry();

// 0 read, 2 not read.
int ReadSettings(TRegistryInfo& info, RegRoot root, Registry& registry);
// 0 registry values in force, 2 built-in defaults in force.
int LoadSettings(TRegistryInfo& info, Registry& registry);
// 0 written, 12 write failed.
int SaveSettings(const TRegistryInfo& info, Registry& registry);

inline int ReadSettings(TRegistryInfo& info, RegRoot root) {
    return ReadSettings(info, root, SettingsRegistry());
}
inline int LoadSettings(TRegistryInfo& info) {
    return LoadSettings(info, SettingsRegistry());
}
inline int SaveSettings(const TRegistryInfo& info) {
    return SaveSettings(info, SettingsRegistry());
}
