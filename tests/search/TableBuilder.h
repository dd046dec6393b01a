#pragma once
// Builds result tables the way the receive path fills them: from QUERYRESULT and QUERYITEM.

#include <map>
#include <string>
#include <vector>

#include "core/CList.h"
#include "core/CMatrix.h"

using Row = std::map<std::string, std::string>;

inline const std::vector<std::string>& WorkColumns() {
    static const std::vector<std::string> columns = {
        "OperaId",           "Titolo",     "Edizione",   "Pagine",     "Sottotitolo",
        "Descrizione",       "nCD",        "Cassette",   "Minuti",     "DataIncisione",
        "TipoRegistrazione", "CodOrigine", "CatalogoId", "AutoreNome", "EditoreNome",
        "ClasseNome"};
    return columns;
}

inline const std::vector<std::string>& CentreColumns() {
    static const std::vector<std::string> columns = {
        "RagioneSociale", "Indirizzo", "Localita", "CAP", "Provincia", "Telefono", "FAX", "EMail"};
    return columns;
}

// Cells in column order, for a row given by name (missing names are empty).
inline std::vector<std::string> Cells(const std::vector<std::string>& columns, const Row& row) {
    std::vector<std::string> cells;
    for (const std::string& c : columns) {
        auto it = row.find(c);
        cells.push_back(it == row.end() ? std::string() : it->second);
    }
    return cells;
}

inline void FillTable(CMatrix& table, const std::vector<std::string>& columns,
                      const std::vector<std::vector<std::string>>& rows) {
    CList header;
    header.AddValue("OPERATION", "QUERYRESULT");
    header.AddValue("COLS", std::to_string(columns.size()));
    for (size_t j = 0; j < columns.size(); ++j) {
        header.AddValue("NAME" + std::to_string(j + 1), columns[j]);
    }
    table.AddFromMessage(header);
    for (size_t first = 0; first < rows.size(); first += CMatrix::MaxRowsPerMessage) {
        CList batch;
        batch.AddValue("OPERATION", "QUERYITEM");
        const size_t last = std::min(rows.size(), first + CMatrix::MaxRowsPerMessage);
        batch.AddValue("ITEMSSEND", std::to_string(last - first));
        for (size_t r = first; r < last; ++r) {
            for (size_t j = 0; j < columns.size(); ++j) {
                batch.AddValue(std::to_string(j + 1) + ":" + std::to_string(r + 1), rows[r][j]);
            }
        }
        table.AddFromMessage(batch);
    }
}

inline void FillRows(CMatrix& table, const std::vector<std::string>& columns,
                     const std::vector<Row>& rows) {
    std::vector<std::vector<std::string>> cells;
    for (const Row& r : rows) {
        cells.push_back(Cells(columns, r));
    }
    FillTable(table, columns, cells);
}
