#include "server/QueryCursor.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>

#include "core/Cp1252.h"
#include "server/Catalogue.h"
#include "server/Wire.h"

namespace {
std::string_view Decimal(char* buffer, size_t size, long long value) {
    auto [end, ec] = std::to_chars(buffer, buffer + size, value);
    (void)ec;
    return std::string_view(buffer, static_cast<size_t>(end - buffer));
}
} // namespace

QueryCursor::QueryCursor(sqlite3_stmt* statement) : stmt(statement) {
    columns = sqlite3_column_count(stmt);
}

QueryCursor::~QueryCursor() {
    sqlite3_finalize(stmt);
}

std::string QueryCursor::ResultMessage() const {
    std::string out;
    char number[24];
    AppendPair(out, "OPERATION", "QUERYRESULT");
    AppendPair(out, "COLS", Decimal(number, sizeof number, columns));
    for (int j = 1; j <= columns; ++j) {
        const char* name = sqlite3_column_name(stmt, j - 1);
        std::string text = CatalogueText(name != nullptr ? name : "");
        // A name is a key on the client's side, where '=' would end it early.
        std::replace(text.begin(), text.end(), '=', ' ');
        // The client trims names and refuses a blank one.
        if (text.find_first_not_of(std::string_view(" \t\r\n", 4)) == std::string::npos) {
            text = "Colonna" + std::to_string(j);
        }
        std::string key = "NAME" + std::to_string(j);
        AppendPair(out, key, text);
    }
    out.push_back('\x02');
    return out;
}

QueryCursor::Outcome QueryCursor::NextBatch(int maxRows, size_t maxBytes, std::string& message) {
    if (finished) {
        return Outcome::Finished;
    }
    std::string out;
    AppendPair(out, "OPERATION", "QUERYITEM");
    char key[48];
    int rows = 0;
    int rc = SQLITE_ROW;
    while (rows < maxRows && out.size() < maxBytes) {
        rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW) {
            break;
        }
        ++rows;
        long long row = rowsSent + rows;
        size_t rowStart = out.size();
        for (int j = 1; j <= columns; ++j) {
            // "j:r", the absolute row number continuing from earlier batches.
            char* p = std::to_chars(key, key + 20, j).ptr;
            *p++ = ':';
            p = std::to_chars(p, key + sizeof key, row).ptr;
            out.append(key, static_cast<size_t>(p - key));
            out.push_back('=');
            if (sqlite3_column_type(stmt, j - 1) != SQLITE_NULL) {
                const unsigned char* text = sqlite3_column_text(stmt, j - 1);
                int size = sqlite3_column_bytes(stmt, j - 1);
                if (text != nullptr) {
                    AppendCatalogueText(out, reinterpret_cast<const char*>(text),
                                        static_cast<size_t>(size));
                }
            }
            out.push_back('\x01');
            if (out.size() - rowStart > MaxRowBytes) {
                // Wide values repeated over many columns: refused before they pile up.
                error = "Richiesta interrotta: una riga del risultato \xE8 troppo grande.";
                finished = true;
                return Outcome::Failed;
            }
        }
    }
    if (rc == SQLITE_DONE) {
        finished = true;
    } else if (rc != SQLITE_ROW) {
        if (rc == SQLITE_INTERRUPT) {
            interrupted = true;
            error = "Richiesta interrotta.";
        } else {
            error = "Errore nell'esecuzione della richiesta: " +
                    ItalianSqlError(sqlite3_errmsg(sqlite3_db_handle(stmt)));
        }
        finished = true;
        return Outcome::Failed;
    }
    if (rows == 0) {
        return Outcome::Finished;
    }
    char number[24];
    AppendPair(out, "ITEMSSEND", Decimal(number, sizeof number, rows));
    out.push_back('\x02');
    rowsSent += rows;
    message = std::move(out);
    return Outcome::Rows;
}
