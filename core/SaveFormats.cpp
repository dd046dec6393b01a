#include "core/SaveFormats.h"

#include "core/CMatrix.h"
#include "core/Cp1252.h"
#include "core/UOrvoCCommon.h"

namespace {

// A number the record text would leave out or call "Non disponibile" is an empty cell.
std::string Number(std::string_view value) {
    std::string v = TrimControl(value);
    return v == "0" ? std::string() : v;
}

std::string DateCell(std::string_view value) {
    const std::string v = TrimControl(value);
    if (v.empty() || v == "000000000") {
        return {};
    }
    const Date date = ParseServerDate(v);
    return IsZeroDate(date) ? std::string() : FormatShortDate(date);
}

constexpr const char* CsvHeader =
    "Titolo,Sottotitolo,Genere,Autore,Editore,Anno di edizione,Pagine,Numero cassette,"
    "Numero CD-ROM,Durata (minuti),Tipo registrazione,Data incisione,Codice in catalogo,"
    "Codice interno,Descrizione\r\n";

} // namespace

const char* SaveFormatExtension(SaveFormat format) {
    return format == SaveFormat::CsvUtf8 ? "csv" : "txt";
}

std::string CsvField(const std::string& utf8) {
    std::string value = utf8;
    if (!value.empty() && (value[0] == '=' || value[0] == '+' || value[0] == '-' ||
                           value[0] == '@' || value[0] == '\t' || value[0] == '\r')) {
        value.insert(value.begin(), '\'');
    }
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        return value;
    }
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') {
            out += "\"\"";
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

WorksWriter::CsvColumns::CsvColumns(const CMatrix& t)
    : Titolo(RequiredColumn(t, "Titolo")), Sottotitolo(RequiredColumn(t, "Sottotitolo")),
      ClasseNome(RequiredColumn(t, "ClasseNome")), AutoreNome(RequiredColumn(t, "AutoreNome")),
      EditoreNome(RequiredColumn(t, "EditoreNome")), Edizione(RequiredColumn(t, "Edizione")),
      Pagine(RequiredColumn(t, "Pagine")), Cassette(RequiredColumn(t, "Cassette")),
      Cd(RequiredColumn(t, "nCD")), Minuti(RequiredColumn(t, "Minuti")),
      TipoRegistrazione(RequiredColumn(t, "TipoRegistrazione")),
      DataIncisione(RequiredColumn(t, "DataIncisione")),
      CodOrigine(RequiredColumn(t, "CodOrigine")), CatalogoId(RequiredColumn(t, "CatalogoId")),
      Descrizione(RequiredColumn(t, "Descrizione")) {}

WorksWriter::WorksWriter(const CMatrix& table, SaveFormat format) : Table(table), Format(format) {
    if (format == SaveFormat::CsvUtf8) {
        Csv.emplace(table);
    } else {
        Text.emplace(table);
    }
}

std::string WorksWriter::Header() const {
    return Format == SaveFormat::CsvUtf8 ? CsvHeader : "";
}

void WorksWriter::AppendWork(std::string& out, int row) const {
    switch (Format) {
    case SaveFormat::TextCp1252:
        AppendWorkBlock(out, Table, *Text, row);
        return;
    case SaveFormat::TextUtf8: {
        std::string block;
        AppendWorkBlock(block, Table, *Text, row);
        out += Cp1252ToUtf8(block);
        return;
    }
    case SaveFormat::CsvUtf8:
        AppendCsvRow(out, row);
        return;
    }
}

void WorksWriter::AppendCsvRow(std::string& out, int row) const {
    const CsvColumns& c = *Csv;
    auto cell = [&](int col) { return Table.Cell(col, row); };
    // The duration only where the record text gives it: a work on cassette or CD-ROM.
    const bool available = !Number(cell(c.Cassette)).empty() || !Number(cell(c.Cd)).empty();
    const std::string fields[] = {TrimControl(cell(c.Titolo)),
                                  TrimControl(cell(c.Sottotitolo)),
                                  TrimControl(cell(c.ClasseNome)),
                                  TrimControl(cell(c.AutoreNome)),
                                  TrimControl(cell(c.EditoreNome)),
                                  Number(cell(c.Edizione)),
                                  Number(cell(c.Pagine)),
                                  Number(cell(c.Cassette)),
                                  Number(cell(c.Cd)),
                                  available ? Number(cell(c.Minuti)) : std::string(),
                                  TrimControl(cell(c.TipoRegistrazione)),
                                  DateCell(cell(c.DataIncisione)),
                                  TrimControl(cell(c.CodOrigine)),
                                  TrimControl(cell(c.CatalogoId)),
                                  CleanFieldText(cell(c.Descrizione))};
    bool first = true;
    for (const std::string& f : fields) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        out += CsvField(Cp1252ToUtf8(f));
    }
    out += "\r\n";
}
