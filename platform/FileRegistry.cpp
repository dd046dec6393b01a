#include "platform/FileRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/Cp1252.h"

namespace {

constexpr const char* FileHeader = "Windows Registry Editor Version 5.00";
// Far beyond any settings file; a bigger one is not ours and is not loaded into memory.
constexpr off_t MaxFileSize = 4 * 1024 * 1024;

// --- the in-memory form of a .reg file ---------------------------------------------------------

struct RegValue {
    std::string Name; // UTF-8, as in the file ("" for the default value written as @)
    RegType Type = RegType::None;
    std::string Text;   // String, ExpandString: UTF-8, terminating NUL removed
    uint32_t Dword = 0; // Dword
    std::string Raw;    // Other: the data as written after '=', kept to be written back
};

struct RegSection {
    std::string Path; // between the brackets, as in the file
    std::vector<RegValue> Values;
};

struct RegFile {
    std::vector<RegSection> Sections;
};

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Key and value names compare as the registry compares them: without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// The first element of range that match accepts, or nullptr.
template <class Range, class Match> auto FirstOf(Range& range, Match match) {
    auto it = std::ranges::find_if(range, match);
    return it == range.end() ? nullptr : &*it;
}

template <class Section> auto FindValue(Section& section, std::string_view name) {
    return FirstOf(section.Values, [name](const RegValue& v) { return SameName(v.Name, name); });
}

const char* RootName(RegRoot root) {
    return root == RegRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_CLASSES_ROOT";
}

bool SectionIs(const RegSection& section, RegRoot root, const std::string& key) {
    std::string_view path = section.Path;
    size_t slash = path.find('\\');
    if (slash == std::string_view::npos) {
        return false;
    }
    std::string_view rootPart = path.substr(0, slash);
    const char* shortName = root == RegRoot::CurrentUser ? "HKCU" : "HKCR";
    return (SameName(rootPart, RootName(root)) || SameName(rootPart, shortName)) &&
           SameName(path.substr(slash + 1), key);
}

template <class File> auto FindSection(File& file, RegRoot root, const std::string& key) {
    return FirstOf(file.Sections, [&](const RegSection& s) { return SectionIs(s, root, key); });
}

// --- UTF-8 and UTF-16LE ------------------------------------------------------------------------

// The code point at text[i], and i moved past it; false for anything but the shortest form of a
// Unicode scalar value.
bool NextCodePoint(std::string_view text, size_t& i, char32_t& cp) {
    static constexpr unsigned char LeadBits[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static constexpr char32_t Shortest[5] = {0, 0, 0x80, 0x800, 0x10000};
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80             ? 1
                          : (c & 0xE0) == 0xC0 ? 2
                          : (c & 0xF0) == 0xE0 ? 3
                          : (c & 0xF8) == 0xF0 ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) {
        return false;
    }
    cp = c & LeadBits[length];
    for (size_t k = 1; k < length; ++k) {
        const unsigned char cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) {
            return false;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < Shortest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return false;
    }
    i += length;
    return true;
}

bool ValidUtf8(std::string_view text) {
    char32_t cp = 0;
    for (size_t i = 0; i < text.size();) {
        if (!NextCodePoint(text, i, cp)) {
            return false;
        }
    }
    return true;
}

// The registry's string data: UTF-16LE, normally ending in one NUL unit, which is dropped.
// An odd trailing byte is ignored and an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(const std::vector<unsigned char>& bytes) {
    std::vector<char16_t> units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    if (!units.empty() && units.back() == 0) {
        units.pop_back();
    }
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        AppendUtf8(out, u);
    }
    return out;
}

// UTF-8 (already validated) to UTF-16LE bytes with the terminating NUL unit.
std::vector<unsigned char> Utf8ToUtf16Le(std::string_view text) {
    std::vector<unsigned char> out;
    auto unit = [&out](char32_t u) {
        out.push_back(static_cast<unsigned char>(u & 0xFF));
        out.push_back(static_cast<unsigned char>((u >> 8) & 0xFF));
    };
    char32_t cp = 0;
    for (size_t i = 0; i < text.size() && NextCodePoint(text, i, cp);) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    unit(0);
    return out;
}

// --- parsing -----------------------------------------------------------------------------------

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// A quoted text starting at s[pos] == '"'. Inside, only \\ and \" are escapes. On success pos
// is just past the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') {
        return false;
    }
    out.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
                return false;
            }
            c = s[++i];
        }
        out.push_back(c);
    }
    return false;
}

bool ParseHexBytes(std::string_view s, std::vector<unsigned char>& out) {
    out.clear();
    s = TrimBlanks(s);
    if (s.empty()) {
        return true;
    }
    size_t start = 0;
    for (;;) {
        size_t comma = s.find(',', start);
        std::string_view item =
            TrimBlanks(s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
        if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) {
            return false;
        }
        out.push_back(static_cast<unsigned char>(HexDigit(item[0]) * 16 + HexDigit(item[1])));
        if (comma == std::string_view::npos) {
            return true;
        }
        start = comma + 1;
    }
}

// One value line ("name"=data or @=data). False when the line is malformed. deleted is set for
// the "name"=- form, which removes a value on import and so holds nothing here.
bool ParseValueLine(std::string_view line, RegValue& value, bool& deleted) {
    size_t pos = 0;
    deleted = false;
    if (!line.empty() && line[0] == '@') {
        value.Name.clear();
        pos = 1;
    } else if (!ParseQuoted(line, pos, value.Name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        return false;
    }
    std::string_view data = line.substr(pos + 1);
    if (data == "-") {
        deleted = true;
        return true;
    }
    if (!data.empty() && data[0] == '"') {
        size_t end = 0;
        if (!ParseQuoted(data, end, value.Text) || end != data.size()) {
            return false;
        }
        value.Type = RegType::String;
        return true; // the whole file is valid UTF-8, and escapes remove ASCII bytes only
    }
    if (data.starts_with("dword:")) {
        std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) {
            return false;
        }
        uint32_t v = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) {
                return false;
            }
            v = v * 16 + static_cast<uint32_t>(d);
        }
        value.Type = RegType::Dword;
        value.Dword = v;
        return true;
    }
    // hex:bytes (binary) or hex(t):bytes for a registry type number t.
    if (data.starts_with("hex")) {
        size_t colon = data.find(':');
        if (colon == std::string_view::npos) {
            return false;
        }
        std::string_view kind = data.substr(3, colon - 3);
        long typeNumber = 3; // binary
        if (!kind.empty()) {
            if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')') {
                return false;
            }
            std::string digits(kind.substr(1, kind.size() - 2));
            char* end = nullptr;
            typeNumber = std::strtol(digits.c_str(), &end, 16);
            if (digits.empty() || *end != '\0' || typeNumber < 0) {
                return false;
            }
        }
        std::vector<unsigned char> bytes;
        if (!ParseHexBytes(data.substr(colon + 1), bytes)) {
            return false;
        }
        if (typeNumber == 1 || typeNumber == 2) {
            value.Type = typeNumber == 1 ? RegType::String : RegType::ExpandString;
            value.Text = Utf16LeToUtf8(bytes);
        } else if (typeNumber == 4 && bytes.size() == 4) {
            value.Type = RegType::Dword;
            value.Dword = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                          (static_cast<uint32_t>(bytes[2]) << 16) |
                          (static_cast<uint32_t>(bytes[3]) << 24);
        } else {
            value.Type = RegType::Other;
            value.Raw = std::string(data);
        }
        return true;
    }
    return false;
}

// The file's lines without their surrounding blanks, a line ending in a backslash joined with
// the next: that is how hex data continues. A comment ends at its own line whatever its last
// character.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string pending;
    for (size_t start = 0;;) {
        const size_t nl = text.find('\n', start);
        pending += TrimBlanks(text.substr(start, nl == std::string_view::npos ? nl : nl - start));
        if (nl == std::string_view::npos) {
            lines.push_back(std::move(pending));
            return lines;
        }
        if (!pending.empty() && pending.back() == '\\' && pending[0] != ';') {
            pending.pop_back();
        } else {
            lines.push_back(std::move(pending));
            pending.clear();
        }
        start = nl + 1;
    }
}

// The whole file; false when it is not a registry file we can trust.
bool ParseRegFile(std::string text, RegFile& file) {
    file.Sections.clear();
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    if (!ValidUtf8(text)) {
        return false;
    }
    const std::vector<std::string> lines = LogicalLines(text);
    if (lines.empty() || lines[0] != FileHeader) {
        return false;
    }
    RegSection* current = nullptr;
    bool skipping = false; // inside a [-...] section, which deletes a key on import
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) {
                return false;
            }
            std::string path = line.substr(1, line.size() - 2);
            skipping = path[0] == '-';
            current = nullptr;
            if (skipping) {
                // As on import, the key goes at this point, with every key under it.
                const std::string_view gone = std::string_view(path).substr(1);
                std::erase_if(file.Sections, [gone](const RegSection& s) {
                    std::string_view p = s.Path;
                    return SameName(p.substr(0, gone.size()), gone) &&
                           (p.size() == gone.size() || p[gone.size()] == '\\');
                });
                continue;
            }
            // A key met again goes on where it left off.
            current = FirstOf(file.Sections,
                              [&path](const RegSection& s) { return SameName(s.Path, path); });
            if (current == nullptr) {
                current = &file.Sections.emplace_back(RegSection{path, {}});
            }
            continue;
        }
        RegValue value;
        bool deleted = false;
        if (!ParseValueLine(line, value, deleted)) {
            return false;
        }
        if (skipping) {
            continue;
        }
        if (current == nullptr) {
            return false; // a value outside any key
        }
        // A later line for the same name wins, as on import.
        if (deleted) {
            std::erase_if(current->Values,
                          [&value](const RegValue& v) { return SameName(v.Name, value.Name); });
        } else if (RegValue* earlier = FindValue(*current, value.Name)) {
            *earlier = std::move(value);
        } else {
            current->Values.push_back(std::move(value));
        }
    }
    return true;
}

// --- writing -----------------------------------------------------------------------------------

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// hex(t): bytes wrapped as the registry editor wraps them, continuation lines indented by two.
void AppendHex(std::string& out, size_t lineStart, const char* prefix,
               const std::vector<unsigned char>& bytes) {
    static const char* digits = "0123456789abcdef";
    out += prefix;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0xF]);
        if (i + 1 < bytes.size()) {
            out.push_back(',');
            if (out.size() - lineStart > 76) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
}

std::string Serialise(const RegFile& file) {
    std::string out = FileHeader;
    out += "\n\n";
    for (const RegSection& s : file.Sections) {
        out += "[" + s.Path + "]\n";
        for (const RegValue& v : s.Values) {
            size_t lineStart = out.size();
            out += v.Name.empty() ? std::string("@") : Quote(v.Name);
            out.push_back('=');
            switch (v.Type) {
            case RegType::Dword: {
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "dword:%08x", v.Dword);
                out += buffer;
                break;
            }
            case RegType::String:
                // A line break or NUL cannot stand inside a quoted string; the hex form holds it.
                if (v.Text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) {
                    out += Quote(v.Text);
                } else {
                    AppendHex(out, lineStart, "hex(1):", Utf8ToUtf16Le(v.Text));
                }
                break;
            case RegType::ExpandString:
                AppendHex(out, lineStart, "hex(2):", Utf8ToUtf16Le(v.Text));
                break;
            default:
                out += v.Raw;
                break;
            }
            out.push_back('\n');
        }
        out.push_back('\n');
    }
    return out;
}

// --- files -------------------------------------------------------------------------------------

enum class FileState { Missing, Parsed, Corrupt, Unusable };

FileState LoadRegFile(const std::string& path, RegFile& file) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? FileState::Missing : FileState::Unusable;
    }
    if (!S_ISREG(st.st_mode)) {
        return FileState::Unusable;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in || st.st_size > MaxFileSize) {
        return FileState::Corrupt;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (text.size() > static_cast<size_t>(MaxFileSize)) {
        return FileState::Corrupt; // it grew since
    }
    return ParseRegFile(std::move(text), file) ? FileState::Parsed : FileState::Corrupt;
}

// mkdir -p with the mode the base-directory convention asks for.
bool MakeFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) {
        return false;
    }
    if (::mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Replaces target by text so that a crash or a full disk leaves either the old or the new file,
// never a mix. With keepOld the existing target is moved to target.bad first (it could not be
// read, and is not ours to destroy). Nothing is left behind on failure.
bool ReplaceFile(const std::string& folder, const std::string& target, const std::string& text,
                 bool keepOld) {
    const std::string temp = target + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && keepOld) {
        const std::string bad = target + ".bad";
        ok = ::rename(target.c_str(), bad.c_str()) == 0 || errno == ENOENT;
    }
    if (ok) {
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable. The new file is in place whatever this gives.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::string EnvPath(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string UserFolder() {
    std::string home = EnvPath("XDG_CONFIG_HOME");
    // Relative locations are ignored, as the base-directory convention says.
    if (home.empty() || home[0] != '/') {
        std::string user = EnvPath("HOME");
        if (user.empty()) {
            return {};
        }
        home = user + "/.config";
    }
    return home + "/dravel";
}

// A name is written on one line of the file: a line break in it would split that line, and the
// whole file would no longer read, every setting in it lost.
bool HoldsLineBreak(std::string_view name) {
    return name.find_first_of("\r\n") != std::string_view::npos;
}

// --- the key -----------------------------------------------------------------------------------

class FileKey : public RegistryKey {
public:
    FileKey(RegFile file, RegRoot root, std::string key, std::string folder, std::string path,
            bool writable, bool keepOld)
        : File(std::move(file)), Root(root), Key(std::move(key)), Folder(std::move(folder)),
          Path(std::move(path)), Writable(writable), KeepOld(keepOld) {}

    RegType TypeOf(const std::string& name) const override {
        const RegValue* v = Find(name);
        return v == nullptr ? RegType::None : v->Type;
    }

    bool ReadDword(const std::string& name, int32_t& out) const override {
        const RegValue* v = Find(name);
        if (v == nullptr || v->Type != RegType::Dword) {
            return false;
        }
        out = static_cast<int32_t>(v->Dword);
        return true;
    }

    bool ReadString(const std::string& name, std::string& out) const override {
        const RegValue* v = Find(name);
        if (v == nullptr || (v->Type != RegType::String && v->Type != RegType::ExpandString)) {
            return false;
        }
        out = Utf8ToCp1252(v->Text.substr(0, v->Text.find('\0')));
        return true;
    }

    bool WriteDword(const std::string& name, uint32_t value) override {
        RegValue v;
        v.Type = RegType::Dword;
        v.Dword = value;
        return Write(name, std::move(v));
    }

    bool WriteString(const std::string& name, const std::string& value) override {
        RegValue v;
        v.Type = RegType::String;
        // As stored by the registry's string write: the text up to its first NUL.
        v.Text = Cp1252ToUtf8(value.substr(0, value.find('\0')));
        return Write(name, std::move(v));
    }

private:
    const RegValue* Find(const std::string& name) const {
        const RegSection* s = FindSection(File, Root, Key);
        return s == nullptr ? nullptr : FindValue(*s, Cp1252ToUtf8(name));
    }

    bool Write(const std::string& name, RegValue value) {
        if (!Writable || HoldsLineBreak(name)) {
            return false;
        }
        RegFile next = File;
        RegSection* section = FindSection(next, Root, Key);
        if (section == nullptr) {
            next.Sections.push_back(RegSection{std::string(RootName(Root)) + "\\" + Key, {}});
            section = &next.Sections.back();
        }
        if (RegValue* existing = FindValue(*section, Cp1252ToUtf8(name))) {
            value.Name = existing->Name; // the registry keeps the name's first spelling
            *existing = std::move(value);
        } else {
            value.Name = Cp1252ToUtf8(name);
            section->Values.push_back(std::move(value));
        }
        if (!ReplaceFile(Folder, Path, Serialise(next), KeepOld)) {
            return false;
        }
        File = std::move(next);
        KeepOld = false;
        return true;
    }

    RegFile File;
    RegRoot Root;
    std::string Key;
    std::string Folder;
    std::string Path;
    bool Writable;
    bool KeepOld;
};

} // namespace

std::string FileRegistry::UserFilePath() {
    std::string folder = UserFolder();
    return folder.empty() ? folder : folder + "/user.reg";
}

std::string FileRegistry::MachineFilePath() {
    std::string dirs = EnvPath("XDG_CONFIG_DIRS");
    if (dirs.empty()) {
        dirs = "/etc/xdg";
    }
    std::stringstream list(dirs);
    std::string dir;
    while (std::getline(list, dir, ':')) {
        if (dir.empty() || dir[0] != '/') {
            continue;
        }
        std::string path = dir + "/dravel/machine.reg";
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            return path;
        }
    }
    return {};
}

bool FileRegistry::Rewrite(const std::string& text, std::string& out) {
    RegFile file;
    if (!ParseRegFile(text, file)) {
        return false;
    }
    out = Serialise(file);
    return true;
}

std::unique_ptr<RegistryKey> FileRegistry::OpenKey(RegRoot root, const std::string& name,
                                                   bool forWriting) {
    // Names come in Windows-1252 and the file is UTF-8, keys as much as values: a key's raw
    // 8-bit letter would leave a file that no longer reads.
    const std::string key = Cp1252ToUtf8(name);
    if (root == RegRoot::ClassesRoot && forWriting) {
        return nullptr; // the machine template is never written
    }
    if (HoldsLineBreak(key)) {
        return nullptr; // no file holds such a key, and none may
    }
    const std::string path = root == RegRoot::CurrentUser ? UserFilePath() : MachineFilePath();
    if (path.empty()) {
        return nullptr;
    }
    const std::string folder = path.substr(0, path.find_last_of('/'));
    RegFile file;
    if (!forWriting) {
        if (LoadRegFile(path, file) != FileState::Parsed ||
            FindSection(file, root, key) == nullptr) {
            return nullptr;
        }
        return std::make_unique<FileKey>(std::move(file), root, key, folder, path, false, false);
    }
    if (!MakeFolders(folder)) {
        return nullptr;
    }
    bool keepOld = false;
    switch (LoadRegFile(path, file)) {
    case FileState::Parsed:
    case FileState::Missing:
        break;
    case FileState::Corrupt:
        // Start afresh, but keep the unreadable file beside the new one at the first write.
        file.Sections.clear();
        keepOld = true;
        break;
    case FileState::Unusable:
        return nullptr; // a folder or device in the file's place: not ours to move
    }
    return std::make_unique<FileKey>(std::move(file), root, key, folder, path, true, keepOld);
}
