#include "core/Settings.h"

// Placeholder so the tree links; replaced by the real load rules.
namespace {
Registry* ActiveRegistry = nullptr;
}

TRegistryInfo DefaultSettings() {
    TRegistryInfo info;
    info.Version = 515;
    info.Address = DefaultServerAddress;
    info.BlindFriendly = true;
    info.RemotePort = DefaultRemotePort;
    info.UserId = "Anonymous";
    return info;
}

void SetSettingsRegistry(Registry* registry) { ActiveRegistry = registry; }
Registry& SettingsRegistry() { return *ActiveRegistry; }

int ReadSettings(TRegistryInfo&, RegRoot, Registry&) { return 2; }
int LoadSettings(TRegistryInfo& info, Registry&) {
    info = DefaultSettings();
    return 2;
}
int SaveSettings(const TRegistryInfo&, Registry&) { return 12; }
