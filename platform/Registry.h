#pragma once
// The registry as typed values in Windows .reg text files (UTF-8):
//   HKEY_CURRENT_USER  = ${XDG_CONFIG_HOME:-$HOME/.config}/dravel/user.reg   (read and write)
//   HKEY_CLASSES_ROOT  = the first dravel/machine.reg along ${XDG_CONFIG_DIRS:-/etc/xdg} (read)
// Standard library only.

#include "core/Registry.h"

class FileRegistry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenKey(RegRoot root, const std::string& key,
                                         bool forWriting) override;
};
