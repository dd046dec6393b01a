#pragma once
// The file system as the catalogue's readers see it: the system's, with two differences.
// - One memory mapping of the catalogue file for every reader. SQLite maps the file once per
//   connection, and the system counts a page once per mapping that touched it: with hundreds of
//   readers, each scanning the whole catalogue, the process would look (and be accounted) many
//   times the file's size. Readers read their pages from the one mapping instead.
// - A ceiling on temporary files, for all readers together: a sort that outgrows its memory
//   spills to them, and a hostile sorted cross join could otherwise fill the disk before its
//   time runs out. Past the ceiling a write fails as a full disk, and only that query ends.

#include <atomic>
#include <memory>
#include <string>

struct sqlite3_vfs;

class CatalogueVfs {
public:
    static constexpr long long MaxTemporaryBytes = 1LL << 30;

    // Maps up to mapBytes of path (read-only; none for an empty path or 0) and registers a VFS
    // of its own. Null and error set on failure.
    static std::unique_ptr<CatalogueVfs> Create(const std::string& path, long long mapBytes,
                                                std::string& error);
    // Every connection opened through it must be closed first.
    ~CatalogueVfs();
    CatalogueVfs(const CatalogueVfs&) = delete;
    CatalogueVfs& operator=(const CatalogueVfs&) = delete;

    // The VFS name to open the catalogue with.
    const char* VfsName() const { return name.c_str(); }
    long long Size() const { return size; }

private:
    CatalogueVfs() = default;
    static int Open(sqlite3_vfs* vfs, const char* name, struct sqlite3_file* file, int flags,
                    int* outFlags);

    std::string name;
    const unsigned char* base = nullptr;
    long long size = 0;
    std::atomic<long long> temporaryBytes{0};
    std::unique_ptr<sqlite3_vfs> vfs;
    sqlite3_vfs* real = nullptr;
};
