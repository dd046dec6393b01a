#pragma once
// The registry as typed values in Windows .reg text files (UTF-8):
//   HKEY_CURRENT_USER  = ${XDG_CONFIG_HOME:-$HOME/.config}/dravel/user.reg   (read and write)
//   HKEY_CLASSES_ROOT  = the first dravel/machine.reg along ${XDG_CONFIG_DIRS:-/etc/xdg} (read)
// The locations are taken from the environment at every OpenKey. Every value write replaces
// user.reg atomically. A user.reg that cannot be read or parsed reads as holding no keys; the
// first write after that keeps it beside the new file as user.reg.bad.
// Standard library only.

#include <string>

#include "core/Registry.h"

class FileRegistry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenKey(RegRoot root, const std::string& key,
                                         bool forWriting) override;

    // Where the two roots live right now; empty when there is no such file location
    // (no HOME, or no machine.reg along the search path).
    static std::string UserFilePath();
    static std::string MachineFilePath();
    // A .reg text as this registry writes it back after reading it; false (out untouched) when
    // the text is not one it would load.
    static bool Rewrite(const std::string& text, std::string& out);
};
