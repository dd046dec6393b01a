#include "server/QueryCursor.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

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
    for (int j = 1; j <= columns; ++j) {
        columnKeys.push_back(std::to_string(j) + ":");
    }
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
    // Written through a pointer into room made ahead, rather than byte by byte: the encoding
    // costs about as much as SQLite's own stepping otherwise.
    std::string out;
    out.resize(std::max<size_t>(lastBatchBytes + lastBatchBytes / 8, 4096));
    size_t used = 0;
    auto room = [&](size_t bytes) {
        if (out.size() - used < bytes) {
            out.resize(std::max(out.size() * 2, used + bytes));
        }
        return out.data() + used;
    };
    constexpr std::string_view Operation = "OPERATION=QUERYITEM\x01";
    std::memcpy(room(Operation.size()), Operation.data(), Operation.size());
    used += Operation.size();
    int rows = 0;
    int rc = SQLITE_ROW;
    while (rows < maxRows && used < maxBytes) {
        rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW) {
            break;
        }
        ++rows;
        // "j:r", the absolute row number continuing from earlier batches.
        char row[24];
        const std::string_view rowText = Decimal(row, sizeof row, rowsSent + rows);
        const size_t rowStart = used;
        for (int j = 1; j <= columns; ++j) {
            const unsigned char* text = nullptr;
            size_t size = 0;
            if (sqlite3_column_type(stmt, j - 1) != SQLITE_NULL) {
                text = sqlite3_column_text(stmt, j - 1);
                size = static_cast<size_t>(sqlite3_column_bytes(stmt, j - 1));
            }
            const std::string& key = columnKeys[static_cast<size_t>(j - 1)];
            char* p = room(key.size() + rowText.size() + 2 + size);
            std::memcpy(p, key.data(), key.size());
            p += key.size();
            std::memcpy(p, rowText.data(), rowText.size());
            p += rowText.size();
            *p++ = '=';
            if (text != nullptr) {
                p += CatalogueTextInto(p, reinterpret_cast<const char*>(text), size);
            }
            *p++ = '\x01';
            used = static_cast<size_t>(p - out.data());
            if (used - rowStart > MaxRowBytes) {
                // Wide values repeated over many columns: refused before they pile up.
                error = "Richiesta interrotta: una riga del risultato \xE8 troppo grande.";
                finished = true;
                return Outcome::Failed;
            }
        }
    }
    out.resize(used);
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
    lastBatchBytes = out.size();
    message = std::move(out);
    return Outcome::Rows;
}
