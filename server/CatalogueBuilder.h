#pragma once
// Writing catalogues: the schema, the bundled sample, and large synthetic ones for load tests.

#include <functional>
#include <string>

struct sqlite3;

// The seven tables, and the indexes the client's queries need (created once the rows are in).
extern const char* const CatalogueTablesSql;
extern const char* const CatalogueIndexesSql;

// Creates the schema and the sample rows in an empty database.
bool WriteSampleCatalogue(sqlite3* db, std::string& error);

// Writes a new catalogue file: the schema, then whatever fill adds, in one transaction, into
// path.part (a stale one is removed first), synced to disk and renamed into place. Refuses to
// replace an existing file; on failure nothing is left behind.
bool BuildCatalogueFile(const std::string& path, std::string& error,
                        const std::function<bool(sqlite3*, std::string&)>& fill);

// Both write a new file and refuse to replace an existing one. The file appears only once it
// is complete.
bool CreateSampleFile(const std::string& path, std::string& error);
// A deterministic catalogue of the given number of works: the same works and seed give the same
// file contents.
bool CreateLargeFile(const std::string& path, long long works, unsigned long long seed,
                     std::string& error);
