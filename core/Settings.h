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

// The type the results were last saved as (a DWORD FormatoSalvataggio in the user's key): 0 when
// none is stored or the stored value is unreadable or out of range (below count).
uint32_t ReadSaveFormatChoice(uint32_t count, Registry& registry);
// False when the value could not be written; the choice then lasts for the run only.
bool WriteSaveFormatChoice(uint32_t choice, Registry& registry);

inline int ReadSettings(TRegistryInfo& info, RegRoot root) {
    return ReadSettings(info, root, SettingsRegistry());
}
inline int LoadSettings(TRegistryInfo& info) {
    return LoadSettings(info, SettingsRegistry());
}
inline int SaveSettings(const TRegistryInfo& info) {
    return SaveSettings(info, SettingsRegistry());
}
inline uint32_t ReadSaveFormatChoice(uint32_t count) {
    return ReadSaveFormatChoice(count, SettingsRegistry());
}
inline bool WriteSaveFormatChoice(uint32_t choice) {
    return WriteSaveFormatChoice(choice, SettingsRegistry());
}
