#include "server/CatalogueCsv.h"
#include "server/PartFiles.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>
#include <unistd.h>

#include "server/Catalogue.h"
#include "server/CatalogueBuilder.h"
#include "server/Csv.h"
#include "server/LikeMatcher.h"

namespace fs = std::filesystem;

namespace {
enum TableIndex { Classi, Autori, Editori, Provenienza, Opere, Catalogo, Presenza };
}

const std::vector<CsvTableLayout> CatalogueCsvTables = {
    {"Classi", {{"ClasseId", CsvKind::Integer}, {"ClasseNome", CsvKind::Text}}, 1, ""},
    {"Autori", {{"AutoreId", CsvKind::Integer}, {"AutoreNome", CsvKind::Text}}, 1, ""},
    {"Editori", {{"EditoreId", CsvKind::Integer}, {"EditoreNome", CsvKind::Text}}, 1, ""},
    {"Provenienza",
     {{"ProvenienzaId", CsvKind::Integer},
      {"RagioneSociale", CsvKind::Text},
      {"Indirizzo", CsvKind::Text},
      {"Localita", CsvKind::Text},
      {"CAP", CsvKind::Text},
      {"Provincia", CsvKind::Text},
      {"Telefono", CsvKind::Text},
      {"FAX", CsvKind::Text},
      {"EMail", CsvKind::Text},
      {"CentroOrvo", CsvKind::Boolean}},
     1,
     "no centres"},
    {"Opere",
     {{"OperaId", CsvKind::Integer},
      {"Titolo", CsvKind::Text},
      {"Sottotitolo", CsvKind::Text},
      {"Edizione", CsvKind::Integer},
      {"Pagine", CsvKind::Integer},
      {"Descrizione", CsvKind::Text},
      {"AutoreId", CsvKind::Integer, Autori},
      {"EditoreId", CsvKind::Integer, Editori},
      {"ClasseId", CsvKind::Integer, Classi}},
     1,
     ""},
    {"Catalogo",
     {{"CatalogoId", CsvKind::Integer},
      {"OperaId", CsvKind::Integer, Opere},
      {"nCD", CsvKind::Integer},
      {"Cassette", CsvKind::Integer},
      {"Minuti", CsvKind::Integer},
      {"DataIncisione", CsvKind::Date},
      {"AnnoIncisione", CsvKind::Integer},
      {"TipoRegistrazione", CsvKind::Text},
      {"CodOrigine", CsvKind::Text},
      {"Disponibile", CsvKind::Boolean}},
     1,
     ""},
    {"Presenza",
     {{"CatalogoId", CsvKind::Integer, Catalogo}, {"ProvenienzaId", CsvKind::Integer, Provenienza}},
     2,
     "no recording held by any centre"},
};

bool IsCatalogueDate(std::string_view d) {
    if (d.size() != 9 || d[0] != '0' ||
        !std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    if (d == "000000000") {
        return true;
    }
    auto number = [&](size_t from, size_t n) {
        int v = 0;
        for (size_t i = from; i < from + n; ++i) {
            v = v * 10 + (d[i] - '0');
        }
        return v;
    };
    int year = number(1, 4);
    int month = number(5, 2);
    int day = number(7, 2);
    static const int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= Days[month - 1] + (month == 2 && leap ? 1 : 0);
}

namespace {

static_assert(CsvReader::MaxFieldBytes == Catalogue::MaxValueBytes,
              "a value the import takes must be one the server can send");

struct Cell {
    enum class Type { Null, Integer, Text };
    Type Kind = Type::Null;
    long long Integer = 0;
    std::string_view Text;
};

std::string FileName(size_t table) {
    return std::string(CatalogueCsvTables[table].Name) + ".csv";
}

// A value as it may appear in a message: short, and only once it is known to be clean text.
std::string Shown(std::string_view text) {
    return "\"" + std::string(text.substr(0, 40)) + (text.size() > 40 ? "...\"" : "\"");
}

// Why a text cannot go into the catalogue, or empty.
std::string TextProblem(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t at = 0; at < text.size();) {
        if (p[at] < 0x20 && p[at] != '\t' && p[at] != '\n' && p[at] != '\r') {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", p[at]);
            return std::string("holds the control character ") + code;
        }
        size_t length = 0;
        if (DecodeCatalogueChar(p + at, text.size() - at, length) > 0x10FFFF) {
            return "is not UTF-8 text (save the file as CSV UTF-8)";
        }
        at += length;
    }
    return {};
}

// Reads one field as a value of its column; returns why it cannot, or empty.
std::string ReadCell(const CsvColumnLayout& column, bool required, const CsvField& field,
                     Cell& cell) {
    cell = Cell{};
    if (field.TooLong) {
        return "is longer than " + std::to_string(CsvReader::MaxFieldBytes) + " bytes";
    }
    if (std::string why = TextProblem(field.Text); !why.empty()) {
        return why;
    }
    const std::string& text = field.Text;
    bool textual = column.Kind == CsvKind::Text || column.Kind == CsvKind::Date;
    // Empty text is told from no value by the quotes; a number has no empty form.
    if (text.empty() && (!field.Quoted || !textual)) {
        if (column.Kind == CsvKind::Boolean) {
            return "is empty; it must be 0 or 1";
        }
        if (required) {
            return "is empty; it must name a row";
        }
        return {};
    }
    switch (column.Kind) {
    case CsvKind::Integer:
    case CsvKind::Boolean: {
        long long n = 0;
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, n);
        if (ec != std::errc() || ptr != end) {
            return Shown(text) + " is not a whole number";
        }
        if (column.Kind == CsvKind::Boolean && n != 0 && n != 1) {
            return Shown(text) + " is neither 0 nor 1";
        }
        cell.Kind = Cell::Type::Integer;
        cell.Integer = n;
        return {};
    }
    case CsvKind::Date:
        if (!text.empty() && !IsCatalogueDate(text)) {
            return Shown(text) + " is not a date written 0YYYYMMDD (000000000 for none)";
        }
        [[fallthrough]];
    case CsvKind::Text:
        cell.Kind = Cell::Type::Text;
        cell.Text = text;
        return {};
    }
    return {};
}

// The keys of one table with the lines they are on: sorted once the table is read, for the
// duplicates and for the references of the tables read after it.
class KeyIndex {
public:
    void Clear() { entries.clear(); }
    void Add(long long a, long long b, long line) {
        entries.push_back({a, b, static_cast<uint32_t>(line)});
    }
    // Sorts, and returns the duplicates as (line, line of the first).
    std::vector<std::pair<long, long>> Seal() {
        std::sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) {
            return std::tie(x.A, x.B, x.Line) < std::tie(y.A, y.B, y.Line);
        });
        std::vector<std::pair<long, long>> duplicates;
        for (size_t i = 1, first = 0; i < entries.size(); ++i) {
            if (entries[i].A == entries[first].A && entries[i].B == entries[first].B) {
                duplicates.emplace_back(entries[i].Line, entries[first].Line);
            } else {
                first = i;
            }
        }
        return duplicates;
    }
    bool Contains(long long a) const {
        auto it = std::lower_bound(entries.begin(), entries.end(), a,
                                   [](const Entry& e, long long key) { return e.A < key; });
        return it != entries.end() && it->A == a;
    }

private:
    struct Entry {
        long long A;
        long long B;
        uint32_t Line;
    };
    std::vector<Entry> entries;
};

// Checks the rows of the tables, in the order of CatalogueCsvTables, for the import and the
// export alike: the values, the keys, and the references to the tables before.
class RowChecker {
public:
    RowChecker(std::ostream& report, std::string lead, std::string tail)
        : report(report), lead(std::move(lead)), tail(std::move(tail)) {}

    void Problem(size_t table, long line, const std::string& why) {
        ++problems;
        report << lead << FileName(table);
        if (line > 0) {
            report << " line " << line;
        }
        report << ": " << why << tail << '\n';
    }
    size_t Problems() const { return problems; }

    // A table whose rows cannot be read at all: references to it are not checked, rather
    // than each reported.
    void Unreadable(size_t table) { unreadable[table] = true; }

    // fields in the order of the table's columns; fills cells. Returns whether all is well.
    bool Row(size_t table, long line, const std::vector<const CsvField*>& fields,
             std::vector<Cell>& cells) {
        const CsvTableLayout& layout = CatalogueCsvTables[table];
        cells.resize(layout.Columns.size());
        bool ok = true;
        for (size_t c = 0; c < layout.Columns.size(); ++c) {
            const CsvColumnLayout& column = layout.Columns[c];
            bool required = c < layout.KeyColumns || column.References >= 0;
            if (std::string why = ReadCell(column, required, *fields[c], cells[c]); !why.empty()) {
                Problem(table, line, std::string(column.Name) + " " + why);
                ok = false;
                continue;
            }
            int target = column.References;
            if (target >= 0 && !unreadable[static_cast<size_t>(target)] &&
                !keys[static_cast<size_t>(target)].Contains(cells[c].Integer)) {
                Problem(table, line,
                        std::string(column.Name) + " " + std::to_string(cells[c].Integer) +
                            " is not in " + FileName(static_cast<size_t>(target)));
                ok = false;
            }
        }
        bool keyRead = true;
        for (size_t c = 0; c < layout.KeyColumns; ++c) {
            keyRead = keyRead && cells[c].Kind == Cell::Type::Integer;
        }
        if (keyRead) {
            keys[table].Add(cells[0].Integer, layout.KeyColumns > 1 ? cells[1].Integer : 0, line);
        }
        return ok;
    }

    // Reports the keys given more than once, once the whole table is read.
    void EndTable(size_t table) {
        const CsvTableLayout& layout = CatalogueCsvTables[table];
        std::string names = layout.Columns[0].Name;
        for (size_t c = 1; c < layout.KeyColumns; ++c) {
            names += " and " + std::string(layout.Columns[c].Name);
        }
        for (auto [line, first] : keys[table].Seal()) {
            Problem(table, line,
                    "the same " + names + " as line " + std::to_string(first) +
                        (layout.KeyColumns > 1 ? "" : "; each row needs its own"));
        }
    }

private:
    std::ostream& report;
    std::string lead;
    std::string tail;
    size_t problems = 0;
    std::array<KeyIndex, 7> keys;
    std::array<bool, 7> unreadable{};
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

std::string ColumnList(const CsvTableLayout& layout) {
    std::string list;
    for (const CsvColumnLayout& c : layout.Columns) {
        list += (list.empty() ? "" : ", ") + std::string(c.Name);
    }
    return list;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

// Maps the header's names to the table's columns: for each column, its field number.
bool ReadHeader(RowChecker& checker, size_t table, const std::vector<CsvField>& header,
                std::vector<size_t>& position) {
    const CsvTableLayout& layout = CatalogueCsvTables[table];
    const size_t unset = SIZE_MAX;
    position.assign(layout.Columns.size(), unset);
    bool ok = true;
    if (header.size() == 1 && header[0].Text.find(';') != std::string::npos) {
        checker.Problem(table, 1,
                        "the header is separated by semicolons; save the file as CSV with commas");
        return false;
    }
    for (size_t f = 0; f < header.size(); ++f) {
        const std::string& name = header[f].Text;
        auto column =
            std::find_if(layout.Columns.begin(), layout.Columns.end(),
                         [&](const CsvColumnLayout& c) { return SameName(c.Name, name); });
        if (!TextProblem(name).empty()) {
            checker.Problem(table, 1, "a column name is not UTF-8 text");
            ok = false;
        } else if (column == layout.Columns.end()) {
            checker.Problem(table, 1,
                            "unknown column " + Shown(name) + "; the columns are " +
                                ColumnList(layout));
            ok = false;
        } else if (size_t& at = position[static_cast<size_t>(column - layout.Columns.begin())];
                   at != unset) {
            checker.Problem(table, 1, "column " + std::string(column->Name) + " appears twice");
            ok = false;
        } else {
            at = f;
        }
    }
    for (size_t c = 0; c < layout.Columns.size(); ++c) {
        if (position[c] == unset) {
            checker.Problem(table, 1,
                            "column " + std::string(layout.Columns[c].Name) + " is missing");
            ok = false;
        }
    }
    return ok;
}

class Importer {
public:
    Importer(const std::string& dir, std::ostream& report, std::ostream& summary)
        : dir(dir), checker(report, "", ""), summary(summary) {}

    bool Fill(sqlite3* db, std::string& error) {
        this->db = db;
        for (size_t t = 0; t < CatalogueCsvTables.size(); ++t) {
            if (!ReadTable(t, error)) {
                return false; // an I/O failure
            }
        }
        if (checker.Problems() > 0) {
            error = std::to_string(checker.Problems()) + " problem" +
                    (checker.Problems() > 1 ? "s" : "") + " in " + dir + ": nothing written";
            return false;
        }
        return true;
    }

private:
    bool ReadTable(size_t t, std::string& error) {
        const CsvTableLayout& layout = CatalogueCsvTables[t];
        std::string path = (fs::path(dir) / FileName(t)).string();
        FileHandle file(std::fopen(path.c_str(), "rb"));
        if (!file) {
            if (errno != ENOENT) {
                error = "cannot read " + path + ": " + std::strerror(errno);
                return false;
            }
            if (*layout.Absent != '\0') {
                summary << FileName(t) << ": absent, so " << layout.Absent << '\n';
                checker.EndTable(t);
            } else {
                checker.Problem(t, 0, "missing; every catalogue needs it");
                checker.Unreadable(t);
            }
            return true;
        }
        CsvReader reader(file.get());
        std::vector<CsvField> fields;
        std::string why;
        std::vector<size_t> position;
        switch (reader.Next(fields, why)) {
        case CsvReader::Status::End:
            checker.Problem(t, 1, "empty; the first line must name the columns");
            checker.Unreadable(t);
            return !ReadFailed(reader, path, error);
        case CsvReader::Status::Bad:
            checker.Problem(t, reader.Line(), why);
            checker.Unreadable(t);
            return !ReadFailed(reader, path, error);
        case CsvReader::Status::Record:
            if (!ReadHeader(checker, t, fields, position)) {
                checker.Unreadable(t);
                return !ReadFailed(reader, path, error);
            }
            break;
        }
        const size_t width = fields.size();
        Statement insert = Prepare(layout, error);
        if (!insert) {
            return false;
        }
        std::vector<const CsvField*> ordered(layout.Columns.size());
        std::vector<Cell> cells;
        long rows = 0;
        for (;;) {
            CsvReader::Status status = reader.Next(fields, why);
            if (status == CsvReader::Status::End) {
                break;
            }
            if (status == CsvReader::Status::Bad) {
                checker.Problem(t, reader.Line(), why);
                continue;
            }
            if (fields.size() != width) {
                checker.Problem(t, reader.Line(),
                                std::to_string(fields.size()) + " fields where the header has " +
                                    std::to_string(width));
                continue;
            }
            for (size_t c = 0; c < ordered.size(); ++c) {
                ordered[c] = &fields[position[c]];
            }
            ++rows;
            // Once anything is wrong nothing will be written: the rest is only checked.
            if (checker.Row(t, reader.Line(), ordered, cells) && checker.Problems() == 0 &&
                !Insert(insert.get(), cells)) {
                checker.Problem(t, reader.Line(), sqlite3_errmsg(db));
            }
        }
        checker.EndTable(t);
        if (ReadFailed(reader, path, error)) {
            return false;
        }
        summary << FileName(t) << ": " << rows << " row" << (rows == 1 ? "" : "s") << '\n';
        return true;
    }

    static bool ReadFailed(const CsvReader& reader, const std::string& path, std::string& error) {
        if (reader.ReadFailed()) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return true;
        }
        return false;
    }

    Statement Prepare(const CsvTableLayout& layout, std::string& error) {
        // A key given twice is reported once the whole file is read, with both lines.
        std::string sql = "INSERT OR IGNORE INTO " + std::string(layout.Name) + " (" +
                          ColumnList(layout) + ") VALUES (?";
        for (size_t c = 1; c < layout.Columns.size(); ++c) {
            sql += ", ?";
        }
        sql += ")";
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            error = std::string("cannot prepare the import: ") + sqlite3_errmsg(db);
        }
        return Statement(stmt);
    }

    bool Insert(sqlite3_stmt* stmt, const std::vector<Cell>& cells) {
        for (size_t c = 0; c < cells.size(); ++c) {
            int at = static_cast<int>(c) + 1;
            switch (cells[c].Kind) {
            case Cell::Type::Null:
                sqlite3_bind_null(stmt, at);
                break;
            case Cell::Type::Integer:
                sqlite3_bind_int64(stmt, at, cells[c].Integer);
                break;
            case Cell::Type::Text:
                sqlite3_bind_text(stmt, at, cells[c].Text.data(),
                                  static_cast<int>(cells[c].Text.size()), SQLITE_STATIC);
                break;
            }
        }
        int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        return rc == SQLITE_DONE;
    }

    std::string dir;
    RowChecker checker;
    std::ostream& summary;
    sqlite3* db = nullptr;
};

} // namespace

bool ImportCatalogue(const std::string& dir, const std::string& dbFile, std::ostream& report,
                     std::ostream& summary, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "cannot read the directory " + dir + (ec ? ": " + ec.message() : "");
        return false;
    }
    // The summary is told only once the catalogue is in place.
    std::ostringstream counts;
    Importer importer(dir, report, counts);
    auto fill = [&](sqlite3* db, std::string& e) {
        try {
            return importer.Fill(db, e);
        } catch (const std::exception& failure) {
            e = failure.what();
            return false;
        }
    };
    if (!BuildCatalogueFile(dbFile, error, fill)) {
        return false;
    }
    summary << counts.str() << "catalogue written to " << dbFile << '\n';
    return true;
}

namespace {

class Exporter {
public:
    Exporter(std::ostream& report, std::ostream& summary)
        : checker(report, "warning: ", "; the import would refuse it"), summary(summary) {}

    bool Run(const std::string& dbFile, const std::string& dir, std::string& error) {
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(dbFile.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
        if (rc != SQLITE_OK) {
            error = "cannot open the catalogue " + dbFile + ": " +
                    (raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
            return false;
        }
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) {
            error = "cannot create the directory " + dir + ": " + ec.message();
            return false;
        }
        std::vector<std::string> targets;
        for (size_t t = 0; t < CatalogueCsvTables.size(); ++t) {
            targets.push_back((fs::path(dir) / FileName(t)).string());
            if (fs::exists(targets.back(), ec)) {
                error = targets.back() + " already exists; export into a directory without it";
                return false;
            }
        }
        std::vector<std::string> done; // files written, removed again on failure
        auto fail = [&] {
            for (const std::string& f : done) {
                fs::remove(f, ec);
            }
            return false;
        };
        std::ostringstream counts;
        std::deque<PartFile> unfinished;
        for (size_t t = 0; t < CatalogueCsvTables.size(); ++t) {
            std::string part = targets[t] + ".part";
            fs::remove(part, ec);
            unfinished.emplace_back(part);
            done.push_back(part);
            long rows = 0;
            if (!WriteTable(db.get(), t, part, rows, error)) {
                return fail();
            }
            counts << FileName(t) << ": " << rows << " row" << (rows == 1 ? "" : "s") << '\n';
        }
        for (size_t t = 0; t < targets.size(); ++t) {
            fs::rename(done[t], targets[t], ec);
            if (ec) {
                error = "cannot rename " + done[t] + ": " + ec.message();
                return fail();
            }
            done[t] = targets[t];
        }
        int fd = ::open(dir.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
        summary << counts.str() << "catalogue exported to " << dir;
        if (checker.Problems() > 0) {
            summary << " with " << checker.Problems() << " warning"
                    << (checker.Problems() > 1 ? "s" : "");
        }
        summary << '\n';
        return true;
    }

private:
    bool WriteTable(sqlite3* db, size_t t, const std::string& path, long& rows,
                    std::string& error) {
        const CsvTableLayout& layout = CatalogueCsvTables[t];
        std::string sql = "SELECT " + ColumnList(layout) + " FROM " + layout.Name + " ORDER BY " +
                          layout.Columns[0].Name + (layout.KeyColumns > 1 ? ", " : "") +
                          (layout.KeyColumns > 1 ? layout.Columns[1].Name : "");
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            error = std::string("cannot read the table ") + layout.Name + ": " + sqlite3_errmsg(db);
            sqlite3_finalize(raw);
            return false;
        }
        Statement select(raw);
        FileHandle file(std::fopen(path.c_str(), "wb"));
        if (!file) {
            error = "cannot create " + path + ": " + std::strerror(errno);
            return false;
        }
        std::string out;
        for (size_t c = 0; c < layout.Columns.size(); ++c) {
            out += (c > 0 ? "," : "") + std::string(layout.Columns[c].Name);
        }
        out += "\r\n";
        const size_t n = layout.Columns.size();
        std::vector<CsvField> fields(n);
        std::vector<const CsvField*> ordered;
        for (const CsvField& f : fields) {
            ordered.push_back(&f);
        }
        std::vector<Cell> cells;
        long line = 2;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
            long lines = 1;
            for (size_t c = 0; c < n; ++c) {
                if (!ReadValue(select.get(), static_cast<int>(c), fields[c])) {
                    error = FileName(t) + " line " + std::to_string(line) + ": " +
                            layout.Columns[c].Name +
                            " holds binary data, which a CSV file cannot carry";
                    return false;
                }
                out += c > 0 ? "," : "";
                if (fields[c].Quoted) {
                    AppendCsvText(out, fields[c].Text);
                    lines += std::count(fields[c].Text.begin(), fields[c].Text.end(), '\n');
                } else {
                    out += fields[c].Text;
                }
            }
            out += "\r\n";
            checker.Row(t, line, ordered, cells);
            line += lines;
            ++rows;
            if (out.size() >= (1 << 20) && !Write(file.get(), out, path, error)) {
                return false;
            }
        }
        if (rc != SQLITE_DONE) {
            error = std::string("cannot read the table ") + layout.Name + ": " + sqlite3_errmsg(db);
            return false;
        }
        checker.EndTable(t);
        if (!Write(file.get(), out, path, error)) {
            return false;
        }
        if (std::fflush(file.get()) != 0 || ::fsync(::fileno(file.get())) != 0 ||
            std::fclose(file.release()) != 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }

    // The value of a column as its field: text quoted, numbers and NULL bare.
    static bool ReadValue(sqlite3_stmt* stmt, int c, CsvField& field) {
        field = CsvField{};
        switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL:
            return true;
        case SQLITE_INTEGER:
            field.Text = std::to_string(sqlite3_column_int64(stmt, c));
            return true;
        case SQLITE_FLOAT: {
            char number[32];
            std::snprintf(number, sizeof number, "%.17g", sqlite3_column_double(stmt, c));
            field.Text = number;
            return true;
        }
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            field.Text.assign(text, static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
            field.Quoted = true;
            field.TooLong = field.Text.size() > CsvReader::MaxFieldBytes;
            return true;
        }
        default:
            return false;
        }
    }

    static bool Write(std::FILE* file, std::string& out, const std::string& path,
                      std::string& error) {
        if (std::fwrite(out.data(), 1, out.size(), file) != out.size()) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        out.clear();
        return true;
    }

    RowChecker checker;
    std::ostream& summary;
};

} // namespace

bool ExportCatalogue(const std::string& dbFile, const std::string& dir, std::ostream& report,
                     std::ostream& summary, std::string& error) {
    try {
        Exporter exporter(report, summary);
        return exporter.Run(dbFile, dir, error);
    } catch (const std::exception& failure) {
        error = failure.what();
        return false;
    }
}
