#include "server/Wire.h"

#include <cstring>

#include "core/CList.h"
#include "core/Cp1252.h"

MessageFramer::Status MessageFramer::Feed(std::string_view bytes, std::vector<std::string>& out) {
    pending.append(bytes);
    size_t start = 0;
    for (size_t i = scanned; i < pending.size(); ++i) {
        char b = pending[i];
        switch (state) {
        case State::Name:
            if (b == '=') {
                state = State::Value;
            }
            break;
        case State::Value:
            if (b == '\x01') {
                state = State::AfterPair;
            }
            break;
        case State::AfterPair:
            if (b == '\x02') {
                if (i + 1 - start > MaxMessageBytes) {
                    return Status::TooLong;
                }
                out.emplace_back(pending, start, i + 1 - start);
                start = i + 1;
                state = State::Name;
            } else {
                state = b == '=' ? State::Value : State::Name;
            }
            break;
        }
    }
    pending.erase(0, start);
    scanned = pending.size();
    if (pending.size() > MaxMessageBytes) {
        return Status::TooLong;
    }
    if (!pending.empty() && pending.back() == '\x02' && state != State::AfterPair) {
        return Status::Undecodable;
    }
    return Status::Ok;
}

std::string
EncodeMessage(std::initializer_list<std::pair<std::string_view, std::string_view>> pairs) {
    CList message;
    for (const auto& [name, value] : pairs) {
        message.AddValue(name, BlankFraming(value));
    }
    return message.Encode();
}

std::string BlankFraming(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\x01' || c == '\x02') {
            c = ' ';
        }
    }
    return out;
}

void AppendPair(std::string& out, std::string_view name, std::string_view value) {
    out.append(name);
    out.push_back('=');
    out.append(value);
    out.push_back('\x01');
}

size_t CatalogueTextInto(char* out, const char* utf8, size_t size) {
    // Most catalogue text is plain ASCII: copied as it is up to the first byte that is not.
    size_t plain = 0;
    while (plain < size) {
        const auto c = static_cast<unsigned char>(utf8[plain]);
        if (c >= 0x80 || c == 0x01 || c == 0x02) {
            break;
        }
        ++plain;
    }
    if (plain != 0) {
        std::memcpy(out, utf8, plain);
    }
    if (plain == size) {
        return size;
    }
    const size_t written =
        plain + Utf8ToCp1252Into(out + plain, std::string_view(utf8 + plain, size - plain));
    for (size_t i = plain; i < written; ++i) {
        if (out[i] == '\x01' || out[i] == '\x02') {
            out[i] = ' ';
        }
    }
    return written;
}

void AppendCatalogueText(std::string& out, const char* utf8, size_t size) {
    const size_t at = out.size();
    out.resize(at + size);
    out.resize(at + CatalogueTextInto(out.data() + at, utf8, size));
}

std::string CatalogueText(std::string_view utf8) {
    std::string out;
    AppendCatalogueText(out, utf8.data(), utf8.size());
    return out;
}
