#pragma once
// The server's side of the wire form: splitting the client's byte stream into messages, and
// writing messages whose cells come from the catalogue.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class MessageFramer {
public:
    static constexpr size_t MaxMessageBytes = 1 << 20;
    enum class Status { Ok, Undecodable, TooLong };

    // Appends the bytes received and moves every message they complete (terminator included)
    // to out. A message ends at the 0x02 that follows the 0x01 closing a value; a buffer that
    // ends in 0x02 anywhere else is a message the client thinks complete but that does not
    // decode.
    Status Feed(std::string_view bytes, std::vector<std::string>& out);
    size_t PendingBytes() const { return pending.size(); }

private:
    enum class State { Name, Value, AfterPair };
    std::string pending;
    size_t scanned = 0;
    State state = State::Name;
};

// A small message built with CList: pairs in the order given end up last-first on the wire,
// which the client does not mind. Framing bytes in the values become blanks: an error text can
// echo what a client sent, and SQLite's messages quote the request.
std::string
EncodeMessage(std::initializer_list<std::pair<std::string_view, std::string_view>> pairs);
// text with 0x01 and 0x02 as blanks.
std::string BlankFraming(std::string_view text);

// Appends name=value and the pair terminator.
void AppendPair(std::string& out, std::string_view name, std::string_view value);
// Appends a catalogue text (UTF-8) as Windows-1252. The two framing bytes 0x01 and 0x02 become
// blanks: a cell holding them would end the pair or, at the end of a read, the message. A
// character Windows-1252 cannot hold becomes '?': typed back into a search, that '?' is the
// one-character wildcard and finds the very text it came from, which a look-alike letter would
// not. The bundled catalogues hold only Windows-1252 text.
void AppendCatalogueText(std::string& out, const char* utf8, size_t size);
// The same into out, which has room for size bytes; the bytes written (at most size).
size_t CatalogueTextInto(char* out, const char* utf8, size_t size);
std::string CatalogueText(std::string_view utf8);
