#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "core/Settings.h"
#include "core/UOrvoCCommon.h"
#include "platform/FileRegistry.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Every test gets its own XDG folders: the user's real files are never touched.
class SettingsStore : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/dravel-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Root = pattern;
        setenv("XDG_CONFIG_HOME", (Root / "home").c_str(), 1);
        // The first folder of the search path holds no template: the second one is found.
        setenv("XDG_CONFIG_DIRS",
               ((Root / "etc1").string() + ":" + (Root / "etc2").string()).c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(Root, fs::perms::owner_all, ec);
        fs::remove_all(Root, ec);
    }

    fs::path UserDir() const { return Root / "home" / "dravel"; }
    fs::path UserFile() const { return UserDir() / "user.reg"; }

    static void Put(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Get(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string RegText(const char* root, const std::string& values) {
        return "Windows Registry Editor Version 5.00\n\n["s + root + "\\Dravel2]\n" + values + "\n";
    }
    void PutUser(const std::string& values) {
        Put(UserFile(), RegText("HKEY_CURRENT_USER", values));
    }
    void PutMachine(const std::string& values) {
        Put(Root / "etc2" / "dravel" / "machine.reg", RegText("HKEY_CLASSES_ROOT", values));
    }

    fs::path Root;
    FileRegistry Registry;
};

const std::string MachineValues = "\"Version\"=dword:00000203\n"
                                  "\"Address\"=\"10.0.0.5\"\n"
                                  "\"BlindFriendly\"=dword:00000000\n"
                                  "\"RemotePort\"=dword:00002000\n"
                                  "\"Service\"=\"\"\n"
                                  "\"UserId\"=\"Anonymous\"\n";

// A user copy with a comment: any rewrite of the file drops it.
const std::string UserValues = "; untouched\n"
                               "\"Version\"=dword:00000203\n"
                               "\"Address\"=\" 192.168.1.9 \"\n"
                               "\"BlindFriendly\"=dword:00000001\n"
                               "\"RemotePort\"=dword:00001234\n"
                               "\"Service\"=\"\"\n"
                               "\"UserId\"=\"Mario\"\n";

TRegistryInfo Machine() {
    TRegistryInfo i;
    i.Version = 515;
    i.Address = "10.0.0.5";
    i.BlindFriendly = false;
    i.RemotePort = 0x2000;
    i.UserId = "Anonymous";
    return i;
}

} // namespace

TEST_F(SettingsStore, NothingAnywhereGivesDefaultsAndWritesThem) {
    TRegistryInfo info;
    info.Password = "secret";
    EXPECT_EQ(LoadSettings(info, Registry), 2);
    EXPECT_EQ(info, DefaultSettings());
    EXPECT_EQ(info.Version, ProgramVersion);
    EXPECT_EQ(info.RemotePort, 10241u);
    EXPECT_TRUE(info.BlindFriendly);
    EXPECT_EQ(info.Password, "");

    // Written in the save order, UserId included, no password value.
    EXPECT_EQ(Get(UserFile()), RegText("HKEY_CURRENT_USER", "\"Version\"=dword:00000203\n"
                                                            "\"Address\"=\"127.0.0.1\"\n"
                                                            "\"BlindFriendly\"=dword:00000001\n"
                                                            "\"RemotePort\"=dword:00002801\n"
                                                            "\"Service\"=\"\"\n"
                                                            "\"UserId\"=\"Anonymous\"\n"));
    TRegistryInfo again;
    EXPECT_EQ(LoadSettings(again, Registry), 0);
    EXPECT_EQ(again, info);
}

TEST_F(SettingsStore, TemplateOnlyIsCopiedToTheUser) {
    PutMachine(MachineValues);
    TRegistryInfo info;
    EXPECT_EQ(LoadSettings(info, Registry), 0);
    EXPECT_EQ(info, Machine());
    TRegistryInfo user;
    EXPECT_EQ(ReadSettings(user, RegRoot::CurrentUser, Registry), 0);
    EXPECT_EQ(user, Machine());
}

TEST_F(SettingsStore, EqualVersionsKeepTheUserCopyUnwritten) {
    PutMachine(MachineValues);
    PutUser(UserValues);
    const std::string before = Get(UserFile());
    TRegistryInfo info;
    EXPECT_EQ(LoadSettings(info, Registry), 0);
    EXPECT_EQ(info.Address, " 192.168.1.9 "); // the address is not trimmed
    EXPECT_EQ(info.RemotePort, 0x1234u);
    EXPECT_TRUE(info.BlindFriendly);
    EXPECT_EQ(info.UserId, "Anonymous"); // the stored user name is never read back
    EXPECT_EQ(Get(UserFile()), before);
}

TEST_F(SettingsStore, DifferentVersionsReplaceTheUserCopy) {
    PutMachine(MachineValues);
    PutUser("\"Version\"=dword:00000202\n"
            "\"Address\"=\"1.2.3.4\"\n"
            "\"BlindFriendly\"=dword:00000001\n"
            "\"RemotePort\"=dword:00000001\n");
    TRegistryInfo info;
    EXPECT_EQ(LoadSettings(info, Registry), 0);
    EXPECT_EQ(info, Machine());
    TRegistryInfo user;
    ASSERT_EQ(ReadSettings(user, RegRoot::CurrentUser, Registry), 0);
    EXPECT_EQ(user, Machine());
}

TEST_F(SettingsStore, UserCopyWithoutTemplateIsUsedWhateverItsVersion) {
    PutUser("\"Version\"=dword:00000001\n"
            "\"Address\"=\"1.2.3.4\"\n"
            "\"BlindFriendly\"=dword:00000000\n"
            "\"RemotePort\"=dword:00000050\n");
    const std::string before = Get(UserFile());
    TRegistryInfo info;
    EXPECT_EQ(LoadSettings(info, Registry), 0);
    EXPECT_EQ(info.Version, 1u);
    EXPECT_EQ(info.Address, "1.2.3.4");
    EXPECT_EQ(info.RemotePort, 80u);
    EXPECT_EQ(info.Service, ""); // a missing string reads as empty
    EXPECT_EQ(Get(UserFile()), before);
}

TEST_F(SettingsStore, MissingDwordMakesTheUserCopyUnreadable) {
    // Empty service and no port: the read fails, the template replaces the user copy.
    PutUser("\"Version\"=dword:00000203\n"
            "\"Address\"=\"1.2.3.4\"\n"
            "\"BlindFriendly\"=dword:00000001\n"
            "\"Service\"=\"\"\n");
    TRegistryInfo info;
    EXPECT_EQ(ReadSettings(info, RegRoot::CurrentUser, Registry), 2);
    PutMachine(MachineValues);
    EXPECT_EQ(LoadSettings(info, Registry), 0);
    EXPECT_EQ(info, Machine());

    // Without the template the defaults take over.
    PutUser("\"Version\"=dword:00000203\n\"RemotePort\"=dword:00000001\n");
    fs::remove(Root / "etc2" / "dravel" / "machine.reg");
    EXPECT_EQ(LoadSettings(info, Registry), 2);
    EXPECT_EQ(info, DefaultSettings());
}

TEST_F(SettingsStore, ServiceSetSkipsThePort) {
    // No port value at all, and a service with blanks and control characters around it.
    PutUser("\"Version\"=dword:00000203\n"
            "\"Address\"=\"1.2.3.4\"\n"
            "\"BlindFriendly\"=dword:00000001\n"
            "\"Service\"=\"  orvo\t \"\n");
    TRegistryInfo info;
    ASSERT_EQ(LoadSettings(info, Registry), 0);
    EXPECT_EQ(info.Service, "orvo");
    EXPECT_EQ(info.RemotePort, 0u);
    ASSERT_EQ(SaveSettings(info, Registry), 0);
    EXPECT_NE(Get(UserFile()).find("\"RemotePort\"=dword:00000000\n"), std::string::npos);
    EXPECT_NE(Get(UserFile()).find("\"Service\"=\"orvo\"\n"), std::string::npos);
}

TEST_F(SettingsStore, PortIsMaskedToSixteenBits) {
    PutUser("\"Version\"=dword:00000203\n"
            "\"BlindFriendly\"=dword:00000001\n"
            "\"RemotePort\"=dword:00011170\n"); // 70000
    TRegistryInfo info;
    ASSERT_EQ(ReadSettings(info, RegRoot::CurrentUser, Registry), 0);
    EXPECT_EQ(info.RemotePort, 4464u);
}

TEST_F(SettingsStore, ValueTypesAreChecked) {
    const std::string good = "\"BlindFriendly\"=dword:00000001\n"
                             "\"RemotePort\"=dword:00000001\n";
    struct Case {
        std::string values;
        int result;
    };
    const Case cases[] = {
        {"\"Version\"=\"515\"\n" + good, 2},                             // DWORD read of a string
        {"\"Version\"=hex:03,02,00,00\n" + good, 2},                     // binary is no DWORD
        {"\"Version\"=dword:80000000\n" + good, 2},                      // reads as negative
        {"\"Version\"=dword:7fffffff\n" + good, 0},                      //
        {"\"Version\"=hex(4):03,02,00,00\n" + good, 0},                  // DWORD in hex form
        {"\"Version\"=dword:00000203\n\"Address\"=dword:1\n" + good, 2}, // string read of a DWORD
        {"\"Version\"=dword:00000203\n\"Address\"=hex(7):41,00,00,00,00,00\n" + good, 2},
        {"\"Version\"=dword:00000203\n\"BlindFriendly\"=\"1\"\n\"RemotePort\"=dword:1\n", 2},
        {"\"Version\"=dword:00000203\n\"Service\"=dword:0\n" + good, 2},
    };
    for (const Case& c : cases) {
        PutUser(c.values);
        TRegistryInfo info;
        EXPECT_EQ(ReadSettings(info, RegRoot::CurrentUser, Registry), c.result) << c.values;
    }
}

TEST_F(SettingsStore, HandWrittenTemplateInExportForm) {
    // As the registry editor exports it: CRLF lines, a byte order mark, comments, an expandable
    // string in UTF-16LE hex continued over lines, value names in another letter case. An
    // earlier copy of the key is deleted, as on import, before the one that counts; a comment
    // ending in a backslash does not swallow the next line.
    const std::string text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                             "; machine-wide defaults\r\n"
                             "[HKEY_CLASSES_ROOT\\Other]\r\n"
                             "\"Version\"=dword:00000001\r\n\r\n"
                             "[HKEY_CLASSES_ROOT\\Dravel2]\r\n"
                             "\"Service\"=\"stale\"\r\n\r\n"
                             "[HKEY_CLASSES_ROOT\\Dravel2\\Sub]\r\n\r\n"
                             "[-HKEY_CLASSES_ROOT\\Dravel2]\r\n\r\n"
                             "[HKEY_CLASSES_ROOT\\DRAVEL2]\r\n"
                             "; installed under C:\\Programmi\\\r\n"
                             "\"version\"=dword:00000203\r\n"
                             "\"Address\"=hex(2):31,00,30,00,2e,00,30,00,\\\r\n"
                             "  2e,00,30,00,2e,00,e0,00,00,00\r\n"
                             "\"BlindFriendly\"=dword:00000000\r\n"
                             "\"RemotePort\"=dword:0000abcd\r\n";
    Put(Root / "etc2" / "dravel" / "machine.reg", text);
    TRegistryInfo info;
    ASSERT_EQ(ReadSettings(info, RegRoot::ClassesRoot, Registry), 0);
    EXPECT_EQ(info.Version, 515u);
    EXPECT_EQ(info.Address, "10.0.0.\xE0");
    EXPECT_EQ(info.Service, "");
    EXPECT_EQ(info.RemotePort, 0xABCDu);

    // The first template along the search path wins.
    Put(Root / "etc1" / "dravel" / "machine.reg", RegText("HKEY_CLASSES_ROOT", MachineValues));
    ASSERT_EQ(ReadSettings(info, RegRoot::ClassesRoot, Registry), 0);
    EXPECT_EQ(info.Address, "10.0.0.5");
}

TEST_F(SettingsStore, StringsRoundTripByteForByte) {
    auto key = Registry.OpenKey(RegRoot::CurrentUser, "Dravel2", true);
    ASSERT_NE(key, nullptr);
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<char>(b)); // controls, quotes, backslashes, every 8-bit letter
    }
    const std::string texts[] = {"citt\xE0 \"virgolette\" C:\\dir\\", "\\\"", "", all};
    for (const std::string& t : texts) {
        ASSERT_TRUE(key->WriteString("Address", t));
        std::string back;
        auto fresh = Registry.OpenKey(RegRoot::CurrentUser, "Dravel2", false);
        ASSERT_NE(fresh, nullptr);
        ASSERT_TRUE(fresh->ReadString("Address", back));
        EXPECT_EQ(back, t);
        EXPECT_EQ(fresh->TypeOf("Address"), RegType::String);
    }
    // Stored as UTF-8 text: an accented letter is two bytes in the file.
    ASSERT_TRUE(key->WriteString("Address", "citt\xE0"));
    EXPECT_NE(Get(UserFile()).find("\"Address\"=\"citt\xC3\xA0\""), std::string::npos);
    // Text after a NUL is not stored, as with the registry's own string write.
    ASSERT_TRUE(key->WriteString("Service", "ab\0cd"s));
    std::string back;
    ASSERT_TRUE(key->ReadString("Service", back));
    EXPECT_EQ(back, "ab");
}

TEST_F(SettingsStore, OtherKeysInTheUserFileSurviveAWrite) {
    Put(UserFile(), "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_CURRENT_USER\\Altro]\n\"X\"=hex(7):41,00,00,00,00,00\n@=\"d\"\n\n"
                    "[HKEY_CURRENT_USER\\Dravel2]\n\"Version\"=dword:00000001\n\n");
    ASSERT_EQ(SaveSettings(DefaultSettings(), Registry), 0);
    const std::string text = Get(UserFile());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Altro]\n\"X\"=hex(7):41,00,00,00,00,00\n@=\"d\"\n"),
              std::string::npos);
    TRegistryInfo info;
    ASSERT_EQ(ReadSettings(info, RegRoot::CurrentUser, Registry), 0);
    EXPECT_EQ(info, DefaultSettings());
}

TEST_F(SettingsStore, TemplateIsNeverWritable) {
    PutMachine(MachineValues);
    EXPECT_EQ(Registry.OpenKey(RegRoot::ClassesRoot, "Dravel2", true), nullptr);
    EXPECT_EQ(Registry.OpenKey(RegRoot::ClassesRoot, "Missing", false), nullptr);
}

TEST_F(SettingsStore, WritesLeaveNoTemporaryFile) {
    ASSERT_EQ(SaveSettings(DefaultSettings(), Registry), 0);
    ASSERT_EQ(SaveSettings(Machine(), Registry), 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(UserDir())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"user.reg"});
}

TEST_F(SettingsStore, FailedWriteKeepsWhatWasWrittenBefore) {
    auto key = Registry.OpenKey(RegRoot::CurrentUser, "Dravel2", true);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteDword("Version", 7));
    const std::string before = Get(UserFile());
    // A folder in the place of the temporary file makes the next replacement impossible.
    fs::create_directory(UserDir() / "user.reg.tmp");
    EXPECT_FALSE(key->WriteDword("RemotePort", 1));
    EXPECT_EQ(Get(UserFile()), before);
    EXPECT_EQ(SaveSettings(DefaultSettings(), Registry), 12);
    EXPECT_EQ(Get(UserFile()), before);
    int32_t version = 0;
    auto fresh = Registry.OpenKey(RegRoot::CurrentUser, "Dravel2", false);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->ReadDword("Version", version));
    EXPECT_EQ(version, 7);
    EXPECT_EQ(fresh->TypeOf("RemotePort"), RegType::None);

    // Once the way is clear the failed value goes through.
    fs::remove(UserDir() / "user.reg.tmp");
    EXPECT_TRUE(key->WriteDword("RemotePort", 1));
}

TEST_F(SettingsStore, NamesAndKeysWithLineBreaksAreRefusedAndLoseNothing) {
    auto key = Registry.OpenKey(RegRoot::CurrentUser, "Dravel2", true);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteString("Address", "kept"));
    const std::string before = Get(UserFile());
    for (const std::string& broken : {"Nome\nfalso"s, "Nome\r"s, "\n"s}) {
        EXPECT_FALSE(key->WriteString(broken, "x")) << broken;
        EXPECT_FALSE(key->WriteDword(broken, 1)) << broken;
        EXPECT_EQ(Registry.OpenKey(RegRoot::CurrentUser, "Dravel2\\" + broken, true), nullptr);
        EXPECT_EQ(Registry.OpenKey(RegRoot::CurrentUser, broken, false), nullptr);
    }
    EXPECT_EQ(Get(UserFile()), before);
    std::string back;
    auto fresh = Registry.OpenKey(RegRoot::CurrentUser, "Dravel2", false);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->ReadString("Address", back));
    EXPECT_EQ(back, "kept");
}

TEST_F(SettingsStore, KeysWithAccentedLettersAreWrittenAsUtf8AndReadBack) {
    ASSERT_EQ(SaveSettings(DefaultSettings(), Registry), 0);
    auto key = Registry.OpenKey(RegRoot::CurrentUser, "Citt\xE0\\\x8A", true);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteString("Nome", "x"));
    EXPECT_NE(Get(UserFile()).find("[HKEY_CURRENT_USER\\Citt\xC3\xA0\\\xC5\xA0]"),
              std::string::npos);
    std::string back;
    auto fresh = Registry.OpenKey(RegRoot::CurrentUser, "Citt\xE0\\\x8A", false);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->ReadString("Nome", back));
    EXPECT_EQ(back, "x");
    // The rest of the file still reads.
    TRegistryInfo info;
    EXPECT_EQ(ReadSettings(info, RegRoot::CurrentUser, Registry), 0);
}

TEST_F(SettingsStore, ReadOnlyFolderFailsTheWriteAndKeepsTheFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    ASSERT_EQ(SaveSettings(DefaultSettings(), Registry), 0);
    const std::string before = Get(UserFile());
    fs::permissions(UserDir(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(SaveSettings(Machine(), Registry), 12);
    fs::permissions(UserDir(), fs::perms::owner_all);
    EXPECT_EQ(Get(UserFile()), before);
}

TEST_F(SettingsStore, UnusableUserFolderFailsTheSaveButNotTheLoad) {
    Put(Root / "home" / "dravel", "not a folder");
    TRegistryInfo info;
    EXPECT_EQ(LoadSettings(info, Registry), 2);
    EXPECT_EQ(info, DefaultSettings());
    EXPECT_EQ(SaveSettings(info, Registry), 12);
    EXPECT_EQ(Get(Root / "home" / "dravel"), "not a folder");

    // A folder where user.reg should be is not ours to move either.
    fs::remove(Root / "home" / "dravel");
    fs::create_directories(UserFile());
    EXPECT_EQ(SaveSettings(info, Registry), 12);
    EXPECT_TRUE(fs::is_directory(UserFile()));
}

TEST_F(SettingsStore, CorruptUserFileIsKeptAsBad) {
    PutMachine(MachineValues);
    const std::string broken[] = {
        "garbage\x01\x02",
        RegText("HKEY_CURRENT_USER", "\"Version\"=dword:00000203\n\"Address\"=\"unterminated\n"),
        RegText("HKEY_CURRENT_USER", "\"Version\"=dword:123456789\n"),
        RegText("HKEY_CURRENT_USER", "\"Address\"=\"bad \\x escape\"\n"),
        RegText("HKEY_CURRENT_USER", "\"Address\"=\"latin-1 \xE0\"\n"), // not UTF-8
        RegText("HKEY_CURRENT_USER", "\"Address\"=hex(2):4\n"),
        "Windows Registry Editor Version 5.00\n\n\"Version\"=dword:00000203\n", // outside a key
    };
    for (const std::string& text : broken) {
        Put(UserFile(), text);
        fs::remove(UserDir() / "user.reg.bad");
        TRegistryInfo info;
        EXPECT_EQ(LoadSettings(info, Registry), 0) << text;
        EXPECT_EQ(info, Machine());
        EXPECT_EQ(Get(UserDir() / "user.reg.bad"), text);
        TRegistryInfo user;
        EXPECT_EQ(ReadSettings(user, RegRoot::CurrentUser, Registry), 0);
        EXPECT_EQ(user, Machine());
    }
    // The next save of a sound file leaves the kept copy alone.
    ASSERT_EQ(SaveSettings(DefaultSettings(), Registry), 0);
    EXPECT_EQ(Get(UserDir() / "user.reg.bad"), broken[std::size(broken) - 1]);
}

TEST_F(SettingsStore, RelativeOrMissingConfigHomeFallsBackToHome) {
    setenv("HOME", (Root / "h").c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(FileRegistry::UserFilePath(),
              (Root / "h" / ".config" / "dravel" / "user.reg").string());
    unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(SaveSettings(DefaultSettings(), Registry), 0);
    EXPECT_TRUE(fs::exists(Root / "h" / ".config" / "dravel" / "user.reg"));
}

// A registry layer that fails after a number of writes, to see what the save leaves behind.
namespace {
class CountingKey : public RegistryKey {
public:
    explicit CountingKey(int allowed) : Allowed(allowed) {}
    RegType TypeOf(const std::string&) const override { return RegType::None; }
    bool ReadDword(const std::string&, int32_t&) const override { return false; }
    bool ReadString(const std::string&, std::string&) const override { return false; }
    bool WriteDword(const std::string& name, uint32_t) override { return Count(name); }
    bool WriteString(const std::string& name, const std::string&) override { return Count(name); }
    bool Count(const std::string& name) {
        if (Allowed-- <= 0) {
            return false;
        }
        Written->push_back(name);
        return true;
    }
    int Allowed;
    std::vector<std::string>* Written = nullptr;
};
class CountingRegistry : public ::Registry {
public:
    std::unique_ptr<RegistryKey> OpenKey(RegRoot root, const std::string&, bool write) override {
        if (root != RegRoot::CurrentUser || !write) {
            return nullptr;
        }
        auto key = std::make_unique<CountingKey>(Allowed);
        key->Written = &Written;
        return key;
    }
    int Allowed = 100;
    std::vector<std::string> Written;
};
} // namespace

TEST(SettingsSave, WritesInOrderAndStopsAtTheFirstFailure) {
    CountingRegistry registry;
    EXPECT_EQ(SaveSettings(DefaultSettings(), registry), 0);
    EXPECT_EQ(registry.Written, (std::vector<std::string>{"Version", "Address", "BlindFriendly",
                                                          "RemotePort", "Service", "UserId"}));
    registry.Written.clear();
    registry.Allowed = 3;
    EXPECT_EQ(SaveSettings(DefaultSettings(), registry), 12);
    EXPECT_EQ(registry.Written, (std::vector<std::string>{"Version", "Address", "BlindFriendly"}));
    // A load whose own save fails still leaves the values in force.
    TRegistryInfo info;
    EXPECT_EQ(LoadSettings(info, registry), 2);
    EXPECT_EQ(info, DefaultSettings());
}

TEST(SettingsSave, NoInstalledRegistryMeansNoKeys) {
    SetSettingsRegistry(nullptr);
    TRegistryInfo info;
    EXPECT_EQ(ReadSettings(info, RegRoot::CurrentUser), 2);
    EXPECT_EQ(LoadSettings(info), 2);
    EXPECT_EQ(info, DefaultSettings());
    EXPECT_EQ(SaveSettings(info), 12);
}
