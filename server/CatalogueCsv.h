#pragma once
// Catalogues as CSV files, one per table, named after it (Opere.csv): the way a library or
// centre brings its own catalogue in, and takes one out to edit or keep. server/README.md
// describes the layout for the people who prepare the files.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

enum class CsvKind {
    Integer, // a whole number, optional sign
    Boolean, // 0 or 1, never empty
    Text,    // UTF-8 without control characters other than tab and line breaks
    Date,    // text: 0YYYYMMDD, or 000000000 for no date
};

struct CsvColumnLayout {
    const char* Name;
    CsvKind Kind;
    int References = -1; // index in CatalogueCsvTables of the table whose key this names
};

struct CsvTableLayout {
    const char* Name;
    std::vector<CsvColumnLayout> Columns; // in the schema's order
    size_t KeyColumns;                    // the first ones make the primary key
    // Empty for a table whose file must be there; otherwise what its absence means.
    const char* Absent;
};

// The seven tables, each after those its references point to.
extern const std::vector<CsvTableLayout> CatalogueCsvTables;

bool IsCatalogueDate(std::string_view text);

// Builds the new catalogue file dbFile from the files in dir. Every problem goes to report as
// one line naming file, line and reason; nothing is written unless there is none. A summary
// goes to summary.
bool ImportCatalogue(const std::string& dir, const std::string& dbFile, std::ostream& report,
                     std::ostream& summary, std::string& error);

// Writes every table of the catalogue file dbFile into dir, which may exist but must not hold
// the files already. Values the import would refuse are written as they are and reported as
// warnings; only values a CSV file cannot carry and I/O failures make it fail, and then no file
// is left behind.
bool ExportCatalogue(const std::string& dbFile, const std::string& dir, std::ostream& report,
                     std::ostream& summary, std::string& error);
