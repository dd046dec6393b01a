#pragma once
// The works found as a list a reader can skim: five columns read straight from the result
// table (nothing is copied), one spoken line per row, and the jump to a title by its first
// letters. Display-free; search/UFormElenco shows it.

#include <string>

class CMatrix;

class WorkList {
public:
    static constexpr int ColumnCount = 5;

    // Throws EOrvoError "Field not found:" + name when the table lacks a column the list reads.
    explicit WorkList(const CMatrix& table);

    int RowCount() const;
    // "Titolo", "Autore", "Genere", "Tipo", "Durata".
    static const char* Heading(int column);
    // The value as the record text shows it (row from 1, column from 0); Durata is empty for a
    // work on neither cassette nor CD-ROM, as the record text leaves it out.
    std::string Cell(int row, int column) const;
    // The row as one line for a screen reader: the values that are not empty, ", " between
    // them, the duration with its unit.
    std::string RowText(int row) const;
    // The first row from `from` on, wrapping past the last, whose title starts with prefix
    // (case and leading blanks ignored); 0 when none does or prefix is empty.
    int FindTitle(const std::string& prefix, int from) const;

private:
    const CMatrix& Table;
    int Titolo, Autore, Genere, Tipo, Minuti, Cassette, Cd;
};

// Letters typed in the list: typed close together they make one prefix; a new letter starts a
// new one. The same letter again moves on to the next title with that letter.
class TypeAhead {
public:
    // The row to go to (0: none), given the row now current; continued when the key follows
    // the previous one within the typing interval.
    int Type(const WorkList& list, char letter, int current, bool continued);
    const std::string& Typed() const { return typed; }

private:
    std::string typed;
};
