#include "server/CatalogueVfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system VFS's file follows this one in the same allocation.
struct MappedFile {
    sqlite3_file Base;
    const unsigned char* Data; // null: not the catalogue itself (a temporary file, a journal)
    sqlite3_int64 Size;
    sqlite3_file* Real;
    // Any other file: the ceiling shared by all, and how much of it this one has taken.
    std::atomic<long long>* Temporary;
    sqlite3_int64 Written;
};

// Takes (or gives back, when negative) room under the ceiling.
bool Grow(MappedFile* file, sqlite3_int64 newSize) {
    if (file->Temporary == nullptr) {
        return true;
    }
    const long long by = newSize - file->Written;
    if (by > 0 && file->Temporary->fetch_add(by) + by > CatalogueVfs::MaxTemporaryBytes) {
        file->Temporary->fetch_sub(by);
        return false;
    }
    if (by < 0) {
        file->Temporary->fetch_add(by);
    }
    file->Written = newSize;
    return true;
}

sqlite3_file* Real(sqlite3_file* f) {
    return reinterpret_cast<MappedFile*>(f)->Real;
}

int Close(sqlite3_file* f) {
    Grow(reinterpret_cast<MappedFile*>(f), 0);
    return Real(f)->pMethods->xClose(Real(f));
}
int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
    auto* file = reinterpret_cast<MappedFile*>(f);
    if (offset + amount > file->Written && !Grow(file, offset + amount)) {
        return SQLITE_FULL;
    }
    return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    auto* file = reinterpret_cast<MappedFile*>(f);
    if (size < file->Written) {
        Grow(file, size);
    }
    return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
    return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) {
    return Real(f)->pMethods->xLock(Real(f), level);
}
int Unlock(sqlite3_file* f, int level) {
    return Real(f)->pMethods->xUnlock(Real(f), level);
}
int CheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
    // The mapping is ours: the system VFS must not map the file again for this connection.
    if (op == SQLITE_FCNTL_MMAP_SIZE && reinterpret_cast<MappedFile*>(f)->Data != nullptr) {
        return SQLITE_OK;
    }
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) {
    return Real(f)->pMethods->xSectorSize(Real(f));
}
int DeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) {
    Real(f)->pMethods->xShmBarrier(Real(f));
}
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
    return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    auto* file = reinterpret_cast<MappedFile*>(f);
    *out = nullptr;
    if (file->Data == nullptr) {
        return Real(f)->pMethods->iVersion >= 3
                   ? Real(f)->pMethods->xFetch(Real(f), offset, amount, out)
                   : SQLITE_OK;
    }
    // Past the mapping, SQLite reads the page into its cache as usual.
    if (offset >= 0 && amount >= 0 && offset + amount <= file->Size) {
        *out = const_cast<unsigned char*>(file->Data + offset);
    }
    return SQLITE_OK;
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
    if (reinterpret_cast<MappedFile*>(f)->Data != nullptr) {
        return SQLITE_OK;
    }
    return Real(f)->pMethods->iVersion >= 3 ? Real(f)->pMethods->xUnfetch(Real(f), offset, page)
                                            : SQLITE_OK;
}

const sqlite3_io_methods Methods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

} // namespace

std::unique_ptr<CatalogueVfs> CatalogueVfs::Create(const std::string& path, long long mapBytes,
                                                   std::string& error) {
    std::unique_ptr<CatalogueVfs> map(new CatalogueVfs);
    map->real = sqlite3_vfs_find(nullptr);
    if (map->real == nullptr) {
        error = "no SQLite VFS";
        return nullptr;
    }
    if (!path.empty() && mapBytes > 0) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            error = "cannot open the catalogue " + path + ": " + std::strerror(errno);
            if (fd >= 0) {
                ::close(fd);
            }
            return nullptr;
        }
        map->size = std::min<long long>(info.st_size, mapBytes);
        if (map->size > 0) {
            void* p = ::mmap(nullptr, static_cast<size_t>(map->size), PROT_READ, MAP_SHARED, fd, 0);
            if (p == MAP_FAILED) {
                // Reading through the page cache still works.
                map->size = 0;
            } else {
                map->base = static_cast<const unsigned char*>(p);
            }
        }
        ::close(fd);
    }

    map->name = "orvo-catalogue-" + std::to_string(reinterpret_cast<uintptr_t>(map.get()));
    map->vfs = std::make_unique<sqlite3_vfs>(*map->real);
    map->vfs->szOsFile = static_cast<int>(sizeof(MappedFile)) + map->real->szOsFile;
    map->vfs->zName = map->name.c_str();
    map->vfs->pAppData = map.get();
    map->vfs->pNext = nullptr;
    map->vfs->xOpen = &CatalogueVfs::Open;
    if (sqlite3_vfs_register(map->vfs.get(), 0) != SQLITE_OK) {
        error = "cannot register the catalogue's VFS";
        return nullptr;
    }
    return map;
}

CatalogueVfs::~CatalogueVfs() {
    if (vfs) {
        sqlite3_vfs_unregister(vfs.get());
    }
    if (base != nullptr) {
        ::munmap(const_cast<unsigned char*>(base), static_cast<size_t>(size));
    }
}

int CatalogueVfs::Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                       int* outFlags) {
    auto* self = static_cast<CatalogueVfs*>(vfs->pAppData);
    auto* mapped = reinterpret_cast<MappedFile*>(file);
    mapped->Real = reinterpret_cast<sqlite3_file*>(mapped + 1);
    const bool catalogue = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    mapped->Data = catalogue ? self->base : nullptr;
    mapped->Size = catalogue ? self->size : 0;
    mapped->Temporary = catalogue ? nullptr : &self->temporaryBytes;
    mapped->Written = 0;
    int rc = self->real->xOpen(self->real, name, mapped->Real, flags, outFlags);
    file->pMethods = mapped->Real->pMethods != nullptr ? &Methods : nullptr;
    return rc;
}
