#pragma once
// The three types a search result is saved as: the text of old (Windows-1252), the same text in
// UTF-8 for today's editors and phones, and a UTF-8 CSV table for a spreadsheet.

#include <cstdint>
#include <optional>
#include <string>

#include "core/ResultsExport.h"

class CMatrix;

// Stored in the user settings as a DWORD: the values must not change.
enum class SaveFormat : uint32_t { TextCp1252 = 0, TextUtf8 = 1, CsvUtf8 = 2 };
inline constexpr uint32_t SaveFormatCount = 3;

// The save dialog's types, one per format in the order of the enum (name|pattern pairs).
inline constexpr const char* SaveFormatFilter =
    "Testo Windows-1252 (*.txt)|*.txt|Testo UTF-8 (*.txt)|*.txt|Tabella CSV UTF-8 (*.csv)|*.csv";
// "txt" or "csv".
const char* SaveFormatExtension(SaveFormat format);

// One CSV field: quoted when it holds a comma, a quote or a line break (quotes doubled). A
// field a spreadsheet would take for a formula (=, +, -, @, tab, CR at its start) gets a
// leading apostrophe: a catalogue text must never run as a formula on the reader's computer.
std::string CsvField(const std::string& utf8);

// Writes the works of a table in one format: the file's first bytes, then one piece per row.
class WorksWriter {
public:
    // Throws EOrvoError "Field not found:" + name when the table lacks a column the format
    // reads.
    WorksWriter(const CMatrix& table, SaveFormat format);
    WorksWriter(const WorksWriter&) = delete;
    WorksWriter& operator=(const WorksWriter&) = delete;

    // The CSV header row (CR LF ended); nothing for the texts.
    std::string Header() const;
    // Appends the piece of row (from 1 to the row count) to out.
    void AppendWork(std::string& out, int row) const;

private:
    struct CsvColumns {
        explicit CsvColumns(const CMatrix& table);
        int Titolo, Sottotitolo, ClasseNome, AutoreNome, EditoreNome, Edizione, Pagine, Cassette,
            Cd, Minuti, TipoRegistrazione, DataIncisione, CodOrigine, CatalogoId, Descrizione;
    };

    void AppendCsvRow(std::string& out, int row) const;

    const CMatrix& Table;
    SaveFormat Format;
    // Exactly one of the two, by format.
    std::optional<WorksExportColumns> Text;
    std::optional<CsvColumns> Csv;
};
