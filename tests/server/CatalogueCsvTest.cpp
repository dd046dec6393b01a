// Catalogues in and out of CSV files: the reader, the checks and their report, the round trip.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sstream>

#include "server/CatalogueBuilder.h"
#include "server/CatalogueCsv.h"
#include "server/Csv.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
    bool Ok = false;
    std::string Report, Summary, Error;
};

// Runs an import or export, collecting what it says.
template <class Action> Outcome Collect(Action action) {
    std::ostringstream report, summary;
    Outcome o;
    o.Ok = action(report, summary, o.Error);
    o.Report = report.str();
    o.Summary = summary.str();
    return o;
}

Outcome Import(const std::string& dir, const std::string& db) {
    return Collect([&](std::ostream& r, std::ostream& s, std::string& e) {
        return ImportCatalogue(dir, db, r, s, e);
    });
}

Outcome Export(const std::string& db, const std::string& dir) {
    return Collect([&](std::ostream& r, std::ostream& s, std::string& e) {
        return ExportCatalogue(db, dir, r, s, e);
    });
}

// Every row of every table, in key order, each value with its storage class.
std::string Contents(const std::string& db) {
    sqlite3* handle = nullptr;
    EXPECT_EQ(sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::string out;
    for (const CsvTableLayout& table : CatalogueCsvTables) {
        std::string sql = std::string("SELECT * FROM ") + table.Name + " ORDER BY 1, 2";
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(handle, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
        out += table.Name + std::string(":\n");
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                static const char* const Types[] = {"?", "int", "real", "text", "blob", "null"};
                const unsigned char* v = sqlite3_column_text(stmt, c);
                out += std::string(Types[sqlite3_column_type(stmt, c)]) + "[" +
                       (v ? reinterpret_cast<const char*>(v) : "") + "] ";
            }
            out += "\n";
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(handle);
    return out;
}

bool BuildFrom(const std::string& path, const std::string& rowsSql) {
    std::string error;
    bool ok = BuildCatalogueFile(path, error, [&](sqlite3* db, std::string& e) {
        char* message = nullptr;
        if (sqlite3_exec(db, rowsSql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            e = message;
            sqlite3_free(message);
            return false;
        }
        return true;
    });
    EXPECT_TRUE(ok) << error;
    return ok;
}

class CatalogueCsv : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const {
        return dir.filePath(name.c_str()).toStdString();
    }
    // Writes the files of a directory for the import, creating it.
    std::string Files(const std::string& name,
                      const std::vector<std::pair<std::string, std::string>>& files) {
        std::string at = Path(name);
        fs::create_directories(at);
        for (const auto& [file, bytes] : files) {
            WriteFile(at + "/" + file, bytes);
        }
        return at;
    }
    // Export, import, compare tables; export again and compare the files.
    void ExpectRoundTrip(const std::string& source) {
        std::string name = fs::path(source).stem().string();
        Outcome out = Export(source, Path(name + "-csv"));
        ASSERT_TRUE(out.Ok) << out.Error;
        EXPECT_EQ(out.Report, "");
        Outcome in = Import(Path(name + "-csv"), Path(name + "-back.db"));
        ASSERT_TRUE(in.Ok) << in.Error << "\n" << in.Report;
        EXPECT_EQ(Contents(Path(name + "-back.db")), Contents(source));
        ASSERT_TRUE(Export(Path(name + "-back.db"), Path(name + "-again")).Ok);
        for (const CsvTableLayout& table : CatalogueCsvTables) {
            std::string file = std::string("/") + table.Name + ".csv";
            EXPECT_EQ(ReadFile(Path(name + "-again") + file), ReadFile(Path(name + "-csv") + file))
                << file;
        }
    }

    QTemporaryDir dir;
};

TEST(CatalogueCsvLayout, NamesEveryColumnOfTheSchemaInOrderWithItsKeyAndType) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, CatalogueTablesSql, nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, CatalogueIndexesSql, nullptr, nullptr, nullptr), SQLITE_OK);
    for (const CsvTableLayout& table : CatalogueCsvTables) {
        std::string sql =
            std::string("SELECT name, type, pk FROM pragma_table_info('") + table.Name + "')";
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
        size_t c = 0;
        for (; sqlite3_step(stmt) == SQLITE_ROW; ++c) {
            ASSERT_LT(c, table.Columns.size()) << table.Name;
            const CsvColumnLayout& column = table.Columns[c];
            std::string type = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
            EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                      std::string(column.Name));
            EXPECT_EQ(type, column.Kind == CsvKind::Integer   ? "INTEGER"
                            : column.Kind == CsvKind::Boolean ? "BOOLEAN"
                                                              : "TEXT")
                << column.Name;
            EXPECT_EQ(sqlite3_column_int(stmt, 2) != 0, c < table.KeyColumns) << column.Name;
        }
        EXPECT_EQ(c, table.Columns.size()) << table.Name;
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
}

TEST(CatalogueCsvLayout, DatesAreRealDaysOrAllZeros) {
    for (const char* good : {"000000000", "020240229", "020000229", "019851231", "000010101"}) {
        EXPECT_TRUE(IsCatalogueDate(good)) << good;
    }
    for (const char* bad : {"020230229", "019000229", "020241301", "020240100", "000000101",
                            "120240101", "20240101", "0202401011", "02024-1-1", ""}) {
        EXPECT_FALSE(IsCatalogueDate(bad)) << bad;
    }
}

TEST_F(CatalogueCsv, ExportThenImportRoundTripsTheSampleAndAGeneratedCatalogue) {
    std::string error;
    ASSERT_TRUE(CreateSampleFile(Path("sample.db"), error)) << error;
    ExpectRoundTrip(Path("sample.db"));
    ASSERT_TRUE(CreateLargeFile(Path("large.db"), 3000, 5, error)) << error;
    ExpectRoundTrip(Path("large.db"));
}

TEST_F(CatalogueCsv, AwkwardValuesRoundTripExactly) {
    // Empty text against NULL, quotes, commas, every kind of line break, blanks at the ends,
    // letters of four bytes, the largest numbers, and the empty and zero dates.
    ASSERT_TRUE(BuildFrom(
        Path("awkward.db"),
        "INSERT INTO Classi VALUES (1, 'Quote \"q\", comma'), (2, ''), (3, NULL),"
        " (4, '  blanks  '), (5, 'crlf' || char(13, 10) || 'cr' || char(13) || 'lf' || char(10)),"
        " (6, 'emoji \xF0\x9F\x98\x80 and \xC3\xA8'), (-7, '\"'), (9223372036854775807, ',');"
        "INSERT INTO Autori VALUES (1, 'a');"
        "INSERT INTO Editori VALUES (1, NULL);"
        "INSERT INTO Provenienza VALUES (1, NULL, NULL, NULL, '00100', NULL, NULL, '', NULL, 0);"
        "INSERT INTO Opere VALUES (1, '', NULL, -9223372036854775808, NULL, '\"\"', 1, 1, -7);"
        "INSERT INTO Catalogo VALUES (1, 1, NULL, 0, -1, NULL, NULL, '', NULL, 0),"
        " (2, 1, 1, 1, 1, '', 0, 'x', 'y', 1), (3, 1, 1, 1, 1, '000000000', 0, NULL, '', 1),"
        " (4, 1, 1, 1, 1, '020240229', 2024, NULL, NULL, 1);"
        "INSERT INTO Presenza VALUES (4, 1), (1, 1);"));
    ExpectRoundTrip(Path("awkward.db"));
}

TEST_F(CatalogueCsv, ReadsMarksLineEndsColumnOrdersAndQuotingAsDocumented) {
    std::string at = Files(
        "ok", {{"Classi.csv", "\xEF\xBB\xBF"
                              "ClasseId,ClasseNome\r\n1,Narrativa\r\n\r\n2,\"Poesia\"\r\n"},
               {"Autori.csv", "autorenome,AUTOREID\n\"Verga, Giovanni\",\"7\"\n"},
               {"Editori.csv", "EditoreId,EditoreNome\n1,\n2,\"\""},
               {"Opere.csv", "OperaId,Titolo,Sottotitolo,Edizione,Pagine,Descrizione,AutoreId,"
                             "EditoreId,ClasseId\n"
                             "5,I Malavoglia,,\"\",,\"Riga uno\r\nriga due\",7,2,1\n"},
               {"Catalogo.csv", "CatalogoId,OperaId,nCD,Cassette,Minuti,DataIncisione,"
                                "AnnoIncisione,TipoRegistrazione,CodOrigine,Disponibile\n"
                                "9,5,1,0,60,020240229,2024,,\"\",1\n"}});
    Outcome in = Import(at, Path("ok.db"));
    ASSERT_TRUE(in.Ok) << in.Error << "\n" << in.Report;
    EXPECT_EQ(in.Report, "");
    EXPECT_NE(in.Summary.find("Provenienza.csv: absent, so no centres"), std::string::npos)
        << in.Summary;
    EXPECT_NE(in.Summary.find("Presenza.csv: absent"), std::string::npos);
    EXPECT_NE(in.Summary.find("Classi.csv: 2 rows"), std::string::npos);
    EXPECT_EQ(Contents(Path("ok.db")),
              "Classi:\nint[1] text[Narrativa] \nint[2] text[Poesia] \n"
              "Autori:\nint[7] text[Verga, Giovanni] \n"
              "Editori:\nint[1] null[] \nint[2] text[] \n"
              "Provenienza:\n"
              "Opere:\nint[5] text[I Malavoglia] null[] null[] null[] text[Riga uno\r\nriga due] "
              "int[7] int[2] int[1] \n"
              "Catalogo:\nint[9] int[5] int[1] int[0] int[60] text[020240229] int[2024] null[] "
              "text[] int[1] \n"
              "Presenza:\n");
}

TEST_F(CatalogueCsv, ReportsEveryBadRowWithFileLineAndReasonAndWritesNothing) {
    const std::string works = "OperaId,Titolo,Sottotitolo,Edizione,Pagine,Descrizione,AutoreId,"
                              "EditoreId,ClasseId\n";
    std::string at = Files(
        "bad",
        {{"Classi.csv", "ClasseId,ClasseNome\n1,Narrativa\n1,Poesia\nx,Teatro\n"},
         // Unreadable: the works' authors are then not checked one by one.
         {"Autori.csv", "AutoreId,Nome\n1,Verga\n"},
         {"Editori.csv", "EditoreId,EditoreNome\n1,\"Uno\" due\n2,Bad\xFF\n3,Ctl\x01\n4,ok\n"},
         {"Opere.csv", works + "1,\"Two\nlines\",,1,2,,1,4,1\n"
                               "2,Fine,,,,,1,9,\n"
                               "3,Short,,,\n"
                               "1,Again,,,,,1,4,1\n"
                               "4,\"Open quote,,,,,1,4,1\n"},
         {"Catalogo.csv", "CatalogoId,OperaId,nCD,Cassette,Minuti,DataIncisione,AnnoIncisione,"
                          "TipoRegistrazione,CodOrigine,Disponibile\n"
                          "1,1,,,,020230229,2023,,,1\n2,1,,,,,,,,\n3,7,,,,000000000,0,,,2\n"},
         {"Provenienza.csv", "ProvenienzaId;RagioneSociale\n"},
         {"Presenza.csv", "CatalogoId,ProvenienzaId\n1,1\n1,1\n5,1\r"}});
    Outcome in = Import(at, Path("bad.db"));
    EXPECT_FALSE(in.Ok);
    EXPECT_EQ(in.Report,
              "Classi.csv line 4: ClasseId \"x\" is not a whole number\n"
              "Classi.csv line 3: the same ClasseId as line 2; each row needs its own\n"
              "Autori.csv line 1: unknown column \"Nome\"; the columns are AutoreId, AutoreNome\n"
              "Autori.csv line 1: column AutoreNome is missing\n"
              "Editori.csv line 2: text after the closing quote of a field\n"
              "Editori.csv line 3: EditoreNome is not UTF-8 text (save the file as CSV UTF-8)\n"
              "Editori.csv line 4: EditoreNome holds the control character 0x01\n"
              "Provenienza.csv line 1: the header is separated by semicolons; save the file as "
              "CSV with commas\n"
              "Opere.csv line 4: EditoreId 9 is not in Editori.csv\n"
              "Opere.csv line 4: ClasseId is empty; it must name a row\n"
              "Opere.csv line 5: 5 fields where the header has 9\n"
              "Opere.csv line 7: a quote opened here is never closed\n"
              "Opere.csv line 6: the same OperaId as line 2; each row needs its own\n"
              "Catalogo.csv line 2: DataIncisione \"020230229\" is not a date written 0YYYYMMDD "
              "(000000000 for none)\n"
              "Catalogo.csv line 3: Disponibile is empty; it must be 0 or 1\n"
              "Catalogo.csv line 4: OperaId 7 is not in Opere.csv\n"
              "Catalogo.csv line 4: Disponibile \"2\" is neither 0 nor 1\n"
              "Presenza.csv line 4: carriage return outside quotes (not followed by a line feed)\n"
              "Presenza.csv line 3: the same CatalogoId and ProvenienzaId as line 2\n");
    EXPECT_EQ(in.Error, "19 problems in " + at + ": nothing written");
    EXPECT_FALSE(fs::exists(Path("bad.db")));
    EXPECT_FALSE(fs::exists(Path("bad.db.part")));

    fs::remove(at + "/Classi.csv");
    in = Import(at, Path("bad.db"));
    EXPECT_EQ(in.Report.substr(0, in.Report.find('\n')),
              "Classi.csv: missing; every catalogue needs it");
}

TEST_F(CatalogueCsv, ExportWritesWhatTheImportWouldRefuseAndWarnsOfItAtTheSameLines) {
    ASSERT_TRUE(BuildFrom(Path("odd.db"),
                          "INSERT INTO Classi VALUES (1, 'x');"
                          "INSERT INTO Autori VALUES (1, 'Two' || char(10) || 'lines');"
                          "INSERT INTO Editori VALUES (1, 'e');"
                          "INSERT INTO Opere VALUES (1, 't', NULL, 'abc', NULL, 'a' || char(10) || "
                          "'b', 1, 1, 1), (2, 'u', NULL, 1, 1, NULL, 1, 2, 1);"
                          "INSERT INTO Catalogo VALUES (1, 1, 1, 1, 1, '2024', 0, '', '', 1);"));
    Outcome out = Export(Path("odd.db"), Path("odd"));
    ASSERT_TRUE(out.Ok) << out.Error;
    const std::string suffix = "; the import would refuse it\n";
    EXPECT_EQ(out.Report,
              "warning: Opere.csv line 2: Edizione \"abc\" is not a whole number" + suffix +
                  "warning: Opere.csv line 4: EditoreId 2 is not in Editori.csv" + suffix +
                  "warning: Catalogo.csv line 2: DataIncisione \"2024\" is not a date written "
                  "0YYYYMMDD (000000000 for none)" +
                  suffix);
    EXPECT_NE(out.Summary.find("with 3 warnings"), std::string::npos) << out.Summary;
    Outcome in = Import(Path("odd"), Path("odd-back.db"));
    EXPECT_EQ(in.Report, "Opere.csv line 2: Edizione \"abc\" is not a whole number\n"
                         "Opere.csv line 4: EditoreId 2 is not in Editori.csv\n"
                         "Catalogo.csv line 2: DataIncisione \"2024\" is not a date written "
                         "0YYYYMMDD (000000000 for none)\n");
}

TEST_F(CatalogueCsv, NeitherReplacesFilesNorLeavesPartsBehind) {
    std::string error;
    ASSERT_TRUE(CreateSampleFile(Path("s.db"), error));
    ASSERT_TRUE(Export(Path("s.db"), Path("csv")).Ok);

    // A stale part from an interrupted import is replaced; an existing catalogue is not.
    WriteFile(Path("new.db.part"), "junk");
    ASSERT_TRUE(Import(Path("csv"), Path("new.db")).Ok);
    EXPECT_FALSE(fs::exists(Path("new.db.part")));
    std::string before = ReadFile(Path("new.db"));
    Outcome again = Import(Path("csv"), Path("new.db"));
    EXPECT_FALSE(again.Ok);
    EXPECT_EQ(again.Error, Path("new.db") + " already exists");
    EXPECT_EQ(ReadFile(Path("new.db")), before);

    // An export meets one of its files already there: nothing is written.
    fs::create_directories(Path("busy"));
    WriteFile(Path("busy/Opere.csv"), "mine");
    Outcome busy = Export(Path("s.db"), Path("busy"));
    EXPECT_FALSE(busy.Ok);
    EXPECT_NE(busy.Error.find("Opere.csv already exists"), std::string::npos) << busy.Error;
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("busy")), fs::directory_iterator()), 1);
    EXPECT_EQ(ReadFile(Path("busy/Opere.csv")), "mine");

    // A value no CSV file can carry fails the export and removes what it wrote.
    ASSERT_TRUE(BuildFrom(Path("blob.db"), "INSERT INTO Autori VALUES (1, x'00ff');"));
    Outcome blob = Export(Path("blob.db"), Path("blob"));
    EXPECT_FALSE(blob.Ok);
    EXPECT_EQ(blob.Error,
              "Autori.csv line 2: AutoreNome holds binary data, which a CSV file cannot carry");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("blob")), fs::directory_iterator()), 0);
}

std::FILE* FileHolding(const std::string& text) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

TEST(CsvReaderTest, SplitsRecordsAndRecoversAfterABadOne) {
    std::FILE* file = FileHolding("a,\"b\"\"c\",\n"
                                  "\"multi\nline\",x\"y\n"
                                  "\n"
                                  "\"q\"z,1\n"
                                  "last,\"\"");
    CsvReader reader(file);
    std::vector<CsvField> f;
    std::string why;
    ASSERT_EQ(reader.Next(f, why), CsvReader::Status::Record);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[1].Text, "b\"c");
    EXPECT_TRUE(f[1].Quoted);
    EXPECT_EQ(f[2].Text, "");
    EXPECT_FALSE(f[2].Quoted);
    ASSERT_EQ(reader.Next(f, why), CsvReader::Status::Bad);
    EXPECT_EQ(reader.Line(), 2);
    EXPECT_EQ(why, "a quote inside a field that does not start with one");
    ASSERT_EQ(reader.Next(f, why), CsvReader::Status::Bad);
    EXPECT_EQ(reader.Line(), 5);
    ASSERT_EQ(reader.Next(f, why), CsvReader::Status::Record);
    EXPECT_EQ(reader.Line(), 6);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_TRUE(f[1].Quoted);
    EXPECT_EQ(reader.Next(f, why), CsvReader::Status::End);
    std::fclose(file);
}

TEST(CsvReaderTest, KeepsOnlyTheStartOfAnOverlongField) {
    std::string big(CsvReader::MaxFieldBytes + 10, 'x');
    std::FILE* file =
        FileHolding("\"" + big + "\"," + big.substr(0, CsvReader::MaxFieldBytes) + "\n");
    CsvReader reader(file);
    std::vector<CsvField> f;
    std::string why;
    ASSERT_EQ(reader.Next(f, why), CsvReader::Status::Record);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_TRUE(f[0].TooLong);
    EXPECT_FALSE(f[1].TooLong);
    EXPECT_EQ(f[1].Text.size(), CsvReader::MaxFieldBytes);
    std::fclose(file);
}

TEST(CatalogueCsvProcess, ExitsWithZeroOneOrTwo) {
    QTemporaryDir dir;
    const QString binary = QStringLiteral(ORVO_SERVER_BINARY);
    auto run = [&](const QStringList& args, std::string* err = nullptr) {
        QProcess p;
        p.start(binary, args);
        EXPECT_TRUE(p.waitForFinished(30000));
        if (err != nullptr) {
            *err = p.readAllStandardError().toStdString();
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QString db = dir.filePath("s.db");
    QString csv = dir.filePath("csv");
    ASSERT_EQ(run({"--create-sample", db}), 0);
    EXPECT_EQ(run({"--export", csv}), 2);
    EXPECT_EQ(run({"--export", csv, "--db", db, "--port", "1"}), 2);
    EXPECT_EQ(run({"--export", csv, "--import", csv, "--db", db}), 2);
    EXPECT_EQ(run({"--export", csv, "--db", db}), 0);
    EXPECT_EQ(run({"--import", csv, "--db", dir.filePath("back.db")}), 0);
    EXPECT_EQ(run({"--export", dir.filePath("none"), "--db", dir.filePath("none.db")}), 1);
    WriteFile(csv.toStdString() + "/Classi.csv", "ClasseId,ClasseNome\nuno,Narrativa\n");
    std::string err;
    EXPECT_EQ(run({"--import", csv, "--db", dir.filePath("bad.db")}, &err), 1);
    EXPECT_NE(err.find("Classi.csv line 2: ClasseId \"uno\" is not a whole number\n"),
              std::string::npos)
        << err;
}

} // namespace
