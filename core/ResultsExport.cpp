#include "core/ResultsExport.h"

#include "core/CMatrix.h"
#include "core/UOrvoCCommon.h"

namespace {

constexpr const char* Eol = "\r\n";
constexpr size_t BufferLimit = 256 * 1024;

} // namespace

WorksExportColumns::WorksExportColumns(const CMatrix& t)
    : Titolo(RequiredColumn(t, "Titolo")), CodOrigine(RequiredColumn(t, "CodOrigine")),
      AutoreNome(RequiredColumn(t, "AutoreNome")), EditoreNome(RequiredColumn(t, "EditoreNome")),
      Edizione(RequiredColumn(t, "Edizione")), DataIncisione(RequiredColumn(t, "DataIncisione")),
      Cassette(RequiredColumn(t, "Cassette")), Minuti(RequiredColumn(t, "Minuti")),
      TipoRegistrazione(RequiredColumn(t, "TipoRegistrazione")),
      Descrizione(RequiredColumn(t, "Descrizione")) {}

void AppendWorkBlock(std::string& out, const CMatrix& t, const WorksExportColumns& c, int row) {
    // Whole values, as stored: the file keeps what a window shows cut short.
    auto cell = [&](int col) { return t.Cell(col, row); };

    out += cell(c.Titolo);
    out += Eol;
    out += "\tCodice:\t\t";
    out += cell(c.CodOrigine);
    out += Eol;
    out += "\tAutore:\t\t";
    out += cell(c.AutoreNome);
    out += Eol;
    out += "\tEditore:\t";
    out += cell(c.EditoreNome);
    out += Eol;
    if (std::string v = TrimControl(cell(c.Edizione)); !EmptyOrZero(v)) {
        out += "\tEdizione:\t";
        out += v;
        out += Eol;
    }
    if (std::string v = TrimControl(cell(c.DataIncisione)); !v.empty() && v != "000000000") {
        const Date date = ParseServerDate(v);
        if (!IsZeroDate(date)) {
            out += "\tData incisione:\t";
            out += FormatShortDate(date);
            out += Eol;
        }
    }
    if (std::string v = TrimControl(cell(c.Cassette)); !EmptyOrZero(v)) {
        out += "\tCassette:\t";
        out += v;
        out += Eol;
    }
    if (std::string v = TrimControl(cell(c.Minuti)); !EmptyOrZero(v)) {
        out += "\tDurara:\t\t";
        out += v;
        out += " minuti";
        out += Eol;
    }
    out += "\tRegistrazione:\t";
    out += cell(c.TipoRegistrazione);
    out += Eol;
    if (std::string d = CleanFieldText(cell(c.Descrizione)); !d.empty()) {
        out += "Descrizione";
        out += Eol;
        out += d;
        out += Eol;
    }
    out += Eol;
}

ExportFile::~ExportFile() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool ExportFile::Create(const std::string& path) {
    if (file != nullptr) {
        std::fclose(file);
    }
    buffer.clear();
    file = std::fopen(path.c_str(), "wb");
    failed = file == nullptr;
    if (file != nullptr) {
        // Our own buffer collects the blocks; the stream's is not needed on top of it.
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return !failed;
}

bool ExportFile::Write(const std::string& bytes) {
    if (failed) {
        return false;
    }
    buffer += bytes;
    if (buffer.size() >= BufferLimit) {
        return Flush();
    }
    return true;
}

bool ExportFile::Flush() {
    if (failed || file == nullptr) {
        failed = true;
        return false;
    }
    if (!buffer.empty()) {
        if (std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size() ||
            std::ferror(file)) {
            failed = true;
        }
        buffer.clear();
    }
    return !failed;
}

bool ExportFile::Close() {
    if (file == nullptr) {
        return false;
    }
    Flush();
    if (std::fclose(file) != 0) {
        failed = true;
    }
    file = nullptr;
    return !failed;
}
