#pragma once
// Comma-separated files with RFC 4180 quoting, read record by record from a file of any size.
//
// Reading accepts a UTF-8 byte order mark at the start, LF or CRLF after each record, and any
// bytes inside quotes (line breaks included, kept as written). A field keeps whether it was
// quoted, so that an empty quoted field can mean empty text and an empty bare one no value.
// Entirely empty lines are skipped.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct CsvField {
    std::string Text;
    bool Quoted = false;
    bool TooLong = false; // Text holds only the first MaxFieldBytes bytes
};

class CsvReader {
public:
    // The longest field kept whole; the server cannot send longer values anyway.
    static constexpr size_t MaxFieldBytes = 256 * 1024;

    // Reads from file, which stays the caller's.
    explicit CsvReader(std::FILE* file) : file(file) {}

    enum class Status { Record, End, Bad };
    // Reads the next record. On Bad, error says why and the reader has moved past the record;
    // reading can go on. Line() is the line where the record starts.
    Status Next(std::vector<CsvField>& fields, std::string& error);
    long Line() const { return recordLine; }
    // Whether reading the file failed (as opposed to its contents being bad).
    bool ReadFailed() const { return std::ferror(file) != 0; }

private:
    // Whether a byte is ready, reading more when the buffer is spent.
    bool Fill();
    int Get();
    int Peek();
    // Moves to the start of the next line, outside quotes.
    void SkipLine();

    std::FILE* file;
    std::vector<char> buffer = std::vector<char>(1 << 16);
    size_t at = 0;
    size_t filled = 0;
    bool started = false;
    long line = 1;
    long recordLine = 1;
};

// Appends text as a quoted field, inner quotes doubled.
void AppendCsvText(std::string& out, std::string_view text);
