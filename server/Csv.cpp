#include "server/Csv.h"

#include <cstring>

bool CsvReader::Fill() {
    if (at == filled) {
        filled = std::fread(buffer.data(), 1, buffer.size(), file);
        at = 0;
    }
    return at < filled;
}

int CsvReader::Get() {
    if (!Fill()) {
        return EOF;
    }
    int c = static_cast<unsigned char>(buffer[at++]);
    if (c == '\n') {
        ++line;
    }
    return c;
}

int CsvReader::Peek() {
    return Fill() ? static_cast<unsigned char>(buffer[at]) : EOF;
}

void CsvReader::SkipLine() {
    for (int c = Get(); c != EOF && c != '\n'; c = Get()) {
    }
}

CsvReader::Status CsvReader::Next(std::vector<CsvField>& fields, std::string& error) {
    if (!started) {
        started = true;
        Fill();
        if (filled - at >= 3 && std::memcmp(buffer.data() + at, "\xEF\xBB\xBF", 3) == 0) {
            at += 3; // a byte order mark
        }
    }
    fields.clear();
    enum class State { FieldStart, Bare, Quoted, AfterQuote };
    State state = State::FieldStart;
    CsvField field;
    auto add = [&](char c) {
        if (field.Text.size() < MaxFieldBytes) {
            field.Text.push_back(c);
        } else {
            field.TooLong = true;
        }
    };
    auto finish = [&] {
        fields.push_back(std::move(field));
        field = CsvField{};
        state = State::FieldStart;
    };
    // The end of a line outside quotes: true when it ends the record, false (with error set)
    // for a carriage return that is not followed by a line feed.
    auto lineEnd = [&](int c) {
        if (c == '\r') {
            if (Peek() != '\n') {
                error = "carriage return outside quotes (not followed by a line feed)";
                return false;
            }
            Get();
        }
        return true;
    };
    auto bad = [&](std::string why) {
        error = std::move(why);
        SkipLine();
        return Status::Bad;
    };

    for (;;) {
        if (state == State::FieldStart && fields.empty()) {
            recordLine = line;
        }
        int c = Get();
        switch (state) {
        case State::FieldStart:
            if (c == EOF) {
                if (fields.empty()) {
                    return Status::End;
                }
                finish();
                return Status::Record;
            }
            if (c == '"') {
                field.Quoted = true;
                state = State::Quoted;
            } else if (c == ',') {
                finish();
            } else if (c == '\n' || c == '\r') {
                if (!lineEnd(c)) {
                    return bad(error);
                }
                if (fields.empty()) {
                    continue; // an empty line
                }
                finish();
                return Status::Record;
            } else {
                add(static_cast<char>(c));
                state = State::Bare;
            }
            break;
        case State::Bare:
            if (c == EOF || c == ',' || c == '\n' || c == '\r') {
                if (c == '\n' || c == '\r') {
                    if (!lineEnd(c)) {
                        return bad(error);
                    }
                }
                bool more = c == ',';
                finish();
                if (!more) {
                    return Status::Record;
                }
            } else if (c == '"') {
                return bad("a quote inside a field that does not start with one");
            } else {
                add(static_cast<char>(c));
            }
            break;
        case State::Quoted:
            if (c == EOF) {
                error = "a quote opened here is never closed";
                return Status::Bad;
            }
            if (c == '"') {
                state = State::AfterQuote;
            } else {
                add(static_cast<char>(c));
            }
            break;
        case State::AfterQuote:
            if (c == '"') {
                add('"');
                state = State::Quoted;
            } else if (c == ',') {
                finish();
            } else if (c == EOF || c == '\n' || c == '\r') {
                if (c != EOF && !lineEnd(c)) {
                    return bad(error);
                }
                finish();
                return Status::Record;
            } else {
                return bad("text after the closing quote of a field");
            }
            break;
        }
    }
}

void AppendCsvText(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}
