#pragma once
// One running query: the open statement, stepped batch by batch as the client acknowledges, so
// that only one batch is ever held whatever the size of the result.

#include <string>
#include <vector>

struct sqlite3_stmt;

class QueryCursor {
public:
    // A single row may not take more wire bytes than this.
    static constexpr size_t MaxRowBytes = 8u << 20;

    // Takes the statement.
    explicit QueryCursor(sqlite3_stmt* statement);
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
    bool Interrupted() const { return interrupted; }
    long long RowsSent() const { return rowsSent; }

private:
    sqlite3_stmt* stmt;
    int columns = 0;
    std::vector<std::string> columnKeys; // "j:" for each column
    size_t lastBatchBytes = 0;           // the room the next batch starts with
    long long rowsSent = 0;
    bool finished = false;
    bool interrupted = false;
    std::string error;
};
