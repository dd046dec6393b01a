#pragma once
// One running query: the open statement, stepped batch by batch as the client acknowledges, so
// that only one batch is ever held whatever the size of the result.

#include <chrono>
#include <string>
#include <vector>

#include "server/Catalogue.h"

struct sqlite3_stmt;

class QueryCursor {
public:
    // A single row may not take more wire bytes than this.
    static constexpr size_t MaxRowBytes = 8u << 20;

    // Takes the statement. timeout bounds each batch's stepping: the server has one thread, so
    // that is how long one query may keep the other clients waiting. A long result that keeps
    // flowing is not cut off; the client can ABORT it.
    QueryCursor(Catalogue& catalogue, sqlite3_stmt* statement, std::chrono::milliseconds budget);
    ~QueryCursor();
    QueryCursor(const QueryCursor&) = delete;
    QueryCursor& operator=(const QueryCursor&) = delete;

    // QUERYRESULT with COLS and NAME1..n.
    std::string ResultMessage() const;

    enum class Outcome { Rows, Finished, Failed };
    // Steps up to maxRows rows, stopping early once the message holds maxBytes, and writes the
    // QUERYITEM for them. Rows: message holds a batch (the result may have ended with it: see
    // Finished). Finished: no more rows, message untouched. Failed: see Error.
    Outcome NextBatch(int maxRows, size_t maxBytes, std::string& message);
    bool Finished() const { return finished; }
    const std::string& Error() const { return error; }
    long long RowsSent() const { return rowsSent; }

private:
    Catalogue& catalogue;
    sqlite3_stmt* stmt;
    std::chrono::milliseconds timeout;
    int columns = 0;
    long long rowsSent = 0;
    bool finished = false;
    std::string error;
};
