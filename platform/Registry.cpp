#include "platform/Registry.h"

// Placeholder so the tree links; replaced by the .reg file implementation.
std::unique_ptr<RegistryKey> FileRegistry::OpenKey(RegRoot, const std::string&, bool) {
    return nullptr;
}
