#include "core/WorkList.h"

#include "core/CMatrix.h"
#include "core/ShownText.h"
#include "core/UOrvoCCommon.h"

namespace {

// Windows-1252 lower case: ASCII and the accented capitals, so "è" finds "È".
unsigned char Fold(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return static_cast<unsigned char>(c + 0x20);
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return static_cast<unsigned char>(c + 0x20);
    }
    switch (c) {
    case 0x8A:
    case 0x8C:
    case 0x8E:
        return static_cast<unsigned char>(c + 0x10);
    case 0x9F:
        return 0xFF;
    default:
        return c;
    }
}

bool StartsWithFolded(std::string_view text, const std::string& foldedPrefix) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 0x20) {
        ++i;
    }
    if (text.size() - i < foldedPrefix.size()) {
        return false;
    }
    for (size_t k = 0; k < foldedPrefix.size(); ++k) {
        if (Fold(static_cast<unsigned char>(text[i + k])) !=
            static_cast<unsigned char>(foldedPrefix[k])) {
            return false;
        }
    }
    return true;
}

} // namespace

WorkList::WorkList(const CMatrix& table)
    : Table(table), Titolo(RequiredColumn(table, "Titolo")),
      Autore(RequiredColumn(table, "AutoreNome")), Genere(RequiredColumn(table, "ClasseNome")),
      Tipo(RequiredColumn(table, "TipoRegistrazione")), Minuti(RequiredColumn(table, "Minuti")),
      Cassette(RequiredColumn(table, "Cassette")), Cd(RequiredColumn(table, "nCD")) {}

int WorkList::RowCount() const {
    return Table.RowCount();
}

const char* WorkList::Heading(int column) {
    static const char* const headings[ColumnCount] = {"Titolo", "Autore", "Genere", "Tipo",
                                                      "Durata"};
    return column >= 0 && column < ColumnCount ? headings[column] : "";
}

std::string WorkList::Cell(int row, int column) const {
    if (row < 1 || row > Table.RowCount()) {
        return {};
    }
    switch (column) {
    // A row is read as one line: what the server sent is bounded and kept on that line.
    case 0:
        return ShownText(Table.Cell(Titolo, row));
    case 1:
        return ShownText(Table.Cell(Autore, row));
    case 2:
        return ShownText(Table.Cell(Genere, row));
    case 3:
        return ShownText(TrimControl(Table.Cell(Tipo, row)));
    case 4: {
        if (EmptyOrZero(TrimControl(Table.Cell(Cassette, row))) &&
            EmptyOrZero(TrimControl(Table.Cell(Cd, row)))) {
            return {};
        }
        std::string v = ShownText(TrimControl(Table.Cell(Minuti, row)));
        return EmptyOrZero(v) ? std::string("Non disponibile") : v;
    }
    default:
        return {};
    }
}

std::string WorkList::RowText(int row) const {
    std::string line;
    for (int c = 0; c < ColumnCount; ++c) {
        std::string v = TrimControl(Cell(row, c));
        if (v.empty()) {
            continue;
        }
        if (c == 4 && StrToIntOpt(v)) {
            v += " minuti";
        }
        if (!line.empty()) {
            line += ", ";
        }
        line += v;
    }
    return line;
}

int WorkList::FindTitle(const std::string& prefix, int from) const {
    const int rows = Table.RowCount();
    if (prefix.empty() || rows == 0) {
        return 0;
    }
    std::string folded;
    for (unsigned char c : prefix) {
        folded.push_back(static_cast<char>(Fold(c)));
    }
    if (from < 1 || from > rows) {
        from = 1;
    }
    for (int k = 0; k < rows; ++k) {
        const int row = (from - 1 + k) % rows + 1;
        if (StartsWithFolded(Table.Cell(Titolo, row), folded)) {
            return row;
        }
    }
    return 0;
}

int TypeAhead::Type(const WorkList& list, char letter, int current, bool continued) {
    const int next = current >= list.RowCount() ? 1 : current + 1;
    if (continued && !typed.empty()) {
        // "mm": the same letter again walks the titles starting with it.
        if (typed.size() == 1 && typed[0] == letter) {
            return list.FindTitle(typed, next);
        }
        typed.push_back(letter);
        // A longer prefix may still match the current title.
        if (int row = list.FindTitle(typed, current); row != 0) {
            return row;
        }
        return 0;
    }
    typed.assign(1, letter);
    return list.FindTitle(typed, next);
}
