#pragma once
// Files written under a temporary name and renamed into place once whole. A create, import or
// export stopped by SIGINT, SIGTERM or SIGHUP removes its unfinished files before it ends,
// instead of leaving them on the disk until the next run.

#include <string>

// For the runs that write catalogue files; serving has handlers of its own.
void RemovePartFilesOnSignals();

// While it lives, path is removed should the process be stopped by one of those signals.
class PartFile {
public:
    explicit PartFile(const std::string& path);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

private:
    int slot = -1; // -1: no room was left, or the path is too long to keep
};
