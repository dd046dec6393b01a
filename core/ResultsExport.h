#pragma once
// The results export file: one block of CR LF lines per work, Windows-1252 bytes as stored.

#include <cstdio>
#include <string>

class CMatrix;

// The columns an export reads, looked up once for the whole table.
class WorksExportColumns {
public:
    // Throws EOrvoError "Field not found:" + name when the table lacks one of them.
    explicit WorksExportColumns(const CMatrix& table);

    int Titolo, CodOrigine, AutoreNome, EditoreNome, Edizione, DataIncisione, Cassette, Minuti,
        TipoRegistrazione, Descrizione;
};

// Appends the block of one work (row from 1 to the row count) to out.
void AppendWorkBlock(std::string& out, const CMatrix& table, const WorksExportColumns& columns,
                     int row);

// A file written through one buffer. Every call reports failure as false, and a failure sticks:
// later writes do nothing and Close reports it again.
class ExportFile {
public:
    ExportFile() = default;
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Creates the file, replacing any existing one.
    bool Create(const std::string& path);
    // Appends bytes; they reach the file when the buffer fills or on Flush and Close.
    bool Write(const std::string& bytes);
    bool Flush();
    // Flushes and closes; true only when everything written reached the file.
    bool Close();
    bool Failed() const { return failed; }

private:
    std::FILE* file = nullptr;
    std::string buffer;
    bool failed = false;
};
