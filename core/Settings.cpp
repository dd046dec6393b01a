#include "core/Settings.h"

#include <exception>

#include "core/UOrvoCCommon.h"

namespace {

constexpr const char* SaveFormatValue = "FormatoSalvataggio";
Registry* ActiveRegistry = nullptr;

// Until a registry is installed every key is missing, so the built-in defaults apply.
class NullRegistry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenKey(RegRoot, const std::string&, bool) override {
        return nullptr;
    }
};

// A string value: missing reads as empty; a value of another type is a failed read.
bool ReadStringValue(const RegistryKey& key, const char* name, std::string& out) {
    if (key.TypeOf(name) == RegType::None) {
        out.clear();
        return true;
    }
    return key.ReadString(name, out);
}

bool ReadInto(TRegistryInfo& info, RegistryKey& key) {
    int32_t version = 0;
    if (!key.ReadDword("Version", version) || version < 0) {
        return false;
    }
    info.Version = static_cast<uint32_t>(version);

    int32_t blind = 0;
    if (!key.ReadDword("BlindFriendly", blind)) {
        return false;
    }
    info.BlindFriendly = blind != 0;

    if (!ReadStringValue(key, "Address", info.Address)) {
        return false;
    }
    std::string service;
    if (!ReadStringValue(key, "Service", service)) {
        return false;
    }
    info.Service = TrimControl(service);

    // Every run starts as the anonymous user, whatever the key holds.
    info.UserId = "Anonymous";
    info.Password.clear();

    // With a service name the port comes from the services database at connection time.
    info.RemotePort = 0;
    if (info.Service.empty()) {
        int32_t port = 0;
        if (!key.ReadDword("RemotePort", port)) {
            return false;
        }
        info.RemotePort = static_cast<uint32_t>(port) & 0xFFFFu;
    }
    return true;
}

bool WriteFrom(const TRegistryInfo& info, RegistryKey& key) {
    // Order matters: a failure leaves the values written so far in place.
    return key.WriteDword("Version", info.Version) && key.WriteString("Address", info.Address) &&
           key.WriteDword("BlindFriendly", info.BlindFriendly ? 1u : 0u) &&
           key.WriteDword("RemotePort", info.RemotePort) &&
           key.WriteString("Service", info.Service) && key.WriteString("UserId", info.UserId);
}

} // namespace

TRegistryInfo DefaultSettings() {
    TRegistryInfo info;
    info.Version = ProgramVersion;
    info.Address = DefaultServerAddress;
    info.BlindFriendly = true;
    info.RemotePort = DefaultRemotePort;
    info.UserId = "Anonymous";
    return info;
}

void SetSettingsRegistry(Registry* registry) {
    ActiveRegistry = registry;
}

Registry& SettingsRegistry() {
    static NullRegistry none;
    return ActiveRegistry != nullptr ? *ActiveRegistry : none;
}

int ReadSettings(TRegistryInfo& info, RegRoot root, Registry& registry) {
    try {
        std::unique_ptr<RegistryKey> key = registry.OpenKey(root, SettingsKey, false);
        if (key == nullptr) {
            return 2;
        }
        return ReadInto(info, *key) ? 0 : 2;
    } catch (const std::exception&) {
        // A registry layer that throws is a key that cannot be read; nothing is shown here.
        return 2;
    }
}

int LoadSettings(TRegistryInfo& info, Registry& registry) {
    TRegistryInfo machine;
    const int a = ReadSettings(machine, RegRoot::ClassesRoot, registry);
    int b = ReadSettings(info, RegRoot::CurrentUser, registry);
    if (a == 0 && b == 0 && info.Version != machine.Version) {
        b = 2; // the per-user copy is stale
    }
    if (b == 0) {
        return 0;
    }
    int result = 0;
    if (a != 0) {
        info = DefaultSettings();
        result = 2;
    } else {
        info = machine;
    }
    // Bring the per-user key in line with what is now in force; a failure only costs the
    // persistence, the loaded values stay in memory for the run.
    SaveSettings(info, registry);
    return result;
}

int SaveSettings(const TRegistryInfo& info, Registry& registry) {
    try {
        std::unique_ptr<RegistryKey> key =
            registry.OpenKey(RegRoot::CurrentUser, SettingsKey, true);
        if (key == nullptr) {
            return 12;
        }
        return WriteFrom(info, *key) ? 0 : 12;
    } catch (const std::exception&) {
        // A registry layer that throws is a write that failed; the caller tells the user.
        return 12;
    }
}

uint32_t ReadSaveFormatChoice(uint32_t count, Registry& registry) {
    try {
        std::unique_ptr<RegistryKey> key =
            registry.OpenKey(RegRoot::CurrentUser, SettingsKey, false);
        int32_t value = 0;
        if (key == nullptr || !key->ReadDword(SaveFormatValue, value) || value < 0 ||
            static_cast<uint32_t>(value) >= count) {
            return 0;
        }
        return static_cast<uint32_t>(value);
    } catch (const std::exception&) {
        // An unreadable choice is no choice: the first type, as before there was one.
        return 0;
    }
}

bool WriteSaveFormatChoice(uint32_t choice, Registry& registry) {
    try {
        std::unique_ptr<RegistryKey> key =
            registry.OpenKey(RegRoot::CurrentUser, SettingsKey, true);
        return key != nullptr && key->WriteDword(SaveFormatValue, choice);
    } catch (const std::exception&) {
        // A registry layer that throws is a write that failed; the caller carries on.
        return false;
    }
}
