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

// Until a registry is installed every key is missing, so the built-in defaults apply.
class NullRegistry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenKey(RegRoot, const std::string&, bool) override {
        return nullptr;
    }
};

void SetSettingsRegistry(Registry* registry) { ActiveRegistry = registry; }
Registry& SettingsRegistry() {
    static NullRegistry none;
    return ActiveRegistry != nullptr ? *ActiveRegistry : none;
}

int ReadSettings(TRegistryInfo&, RegRoot, Registry&) { return 2; }
int LoadSettings(TRegistryInfo& info, Registry&) {
    info = DefaultSettings();
    return 2;
}
int SaveSettings(const TRegistryInfo&, Registry&) { return 12; }
