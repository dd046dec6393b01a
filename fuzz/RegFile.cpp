// The settings files: any text the registry reads it writes back in a form that reads back to
// the same text; and whatever name, key and value the program writes, the file stays one it
// reads, with the value just written and the values written before.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "fuzz/FuzzCheck.h"
#include "platform/FileRegistry.h"

namespace fs = std::filesystem;

namespace {

const char* const BaseKey = "Software\\Dravel\\Fuzz";

// The user's settings live in a folder of each write's own, removed once it is checked.
class ConfigFolder {
public:
    ConfigFolder() {
        // In memory where the system has it: every write is synced to disk.
        std::error_code error;
        const fs::path parent =
            fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string name = (parent / "dravel-fuzz-XXXXXX").string();
        FuzzCheck(::mkdtemp(name.data()) != nullptr, "a temporary folder");
        ::setenv("XDG_CONFIG_HOME", name.c_str(), 1);
        folder = name;
    }
    ~ConfigFolder() {
        std::error_code error;
        fs::remove_all(folder, error);
    }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

private:
    fs::path folder;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

void RoundTrip(const std::string& text) {
    std::string written;
    if (!FileRegistry::Rewrite(text, written)) {
        return;
    }
    std::string again;
    FuzzCheck(FileRegistry::Rewrite(written, again), "what the registry writes it reads");
    FuzzCheck(again == written, "reading and writing again changes nothing");
}

void CheckBase(FileRegistry& registry) {
    std::unique_ptr<RegistryKey> key = registry.OpenKey(RegRoot::CurrentUser, BaseKey, false);
    std::string value;
    FuzzCheck(key != nullptr && key->ReadString("Kept", value) && value == "kept",
              "a write never loses the values written before");
}

void WriteThrough(FuzzParts parts) {
    const ConfigFolder folder;
    const std::string path = FileRegistry::UserFilePath();
    FileRegistry registry;
    {
        std::unique_ptr<RegistryKey> base = registry.OpenKey(RegRoot::CurrentUser, BaseKey, true);
        FuzzCheck(base != nullptr && base->WriteString("Kept", "kept"), "a plain write");
    }
    const std::string keyName(parts.Next());
    const std::string name(parts.Next());
    const std::string value(parts.Next());
    if (Folded(keyName) == Folded(BaseKey) && Folded(name) == "kept") {
        return; // would replace the very value the check looks for
    }
    std::unique_ptr<RegistryKey> key = registry.OpenKey(RegRoot::CurrentUser, keyName, true);
    if (key != nullptr && key->WriteString(name, value)) {
        std::unique_ptr<RegistryKey> reread =
            registry.OpenKey(RegRoot::CurrentUser, keyName, false);
        std::string read;
        FuzzCheck(reread != nullptr && reread->ReadString(name, read) && read == value,
                  "a value written reads back");
    }
    if (key != nullptr && key->WriteDword(name, 7)) {
        std::unique_ptr<RegistryKey> reread =
            registry.OpenKey(RegRoot::CurrentUser, keyName, false);
        int32_t read = 0;
        FuzzCheck(reread != nullptr && reread->ReadDword(name, read) && read == 7,
                  "a number written reads back");
    }
    CheckBase(registry);
    std::string rewritten;
    FuzzCheck(FileRegistry::Rewrite(ReadFile(path), rewritten), "the file stays readable");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view rest = FuzzText(data + 1, size - 1);
    // Most inputs are texts; one in four goes through the program's writes, which reach the disk.
    if (data[0] % 4 != 3) {
        RoundTrip(std::string(rest));
    } else {
        WriteThrough(FuzzParts(rest));
    }
    return 0;
}
