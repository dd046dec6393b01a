#pragma once
// Writing catalogues: the schema, the bundled sample, and large synthetic ones for load tests.

#include <string>

struct sqlite3;

// The seven tables and the indexes the client's queries need.
extern const char* const CatalogueSchemaSql;

// Creates the schema and the sample rows in an empty database.
bool WriteSampleCatalogue(sqlite3* db, std::string& error);

// Both write a new file and refuse to replace an existing one. The file appears only once it
// is complete.
bool CreateSampleFile(const std::string& path, std::string& error);
// A deterministic catalogue of the given number of works: the same works and seed give the same
// file contents.
bool CreateLargeFile(const std::string& path, long long works, unsigned long long seed,
                     std::string& error);
