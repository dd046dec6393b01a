#pragma once
// One memory mapping of the catalogue file for every reader. SQLite maps the file once per
// connection, and the system counts a page once per mapping that touched it: with hundreds of
// readers, each scanning the whole catalogue, the process would look (and be accounted) many
// times the file's size. Readers opened through this VFS read their pages from the one mapping
// instead; everything else goes to the system's VFS.

#include <memory>
#include <string>

struct sqlite3_vfs;

class SharedMap {
public:
    // Maps up to maxBytes of path (read-only) and registers a VFS of its own. Null and error
    // set on failure.
    static std::unique_ptr<SharedMap> Create(const std::string& path, long long maxBytes,
                                             std::string& error);
    // Every connection opened through it must be closed first.
    ~SharedMap();
    SharedMap(const SharedMap&) = delete;
    SharedMap& operator=(const SharedMap&) = delete;

    // The VFS name to open the catalogue with.
    const char* VfsName() const { return name.c_str(); }
    long long Size() const { return size; }

private:
    SharedMap() = default;
    static int Open(sqlite3_vfs* vfs, const char* name, struct sqlite3_file* file, int flags,
                    int* outFlags);

    std::string name;
    const unsigned char* base = nullptr;
    long long size = 0;
    std::unique_ptr<sqlite3_vfs> vfs;
    sqlite3_vfs* real = nullptr;
};
