#pragma once
// The texts the two record browsers show: one work of a search result, one distribution centre.
// Display-free; the windows put the lines into their read-only memos.

#include <string>
#include <vector>

class CMatrix;

// "dd/MM/yyyy" for a server date text, "non disponibile" for "000000000", an empty text or a
// text that holds no valid date. The text is taken trimmed.
std::string RecordingDateText(const std::string& value);

// The lines of one work (row from 1). Throws EOrvoError when a column is missing or the row is
// out of range.
std::vector<std::string> WorkRecordLines(const CMatrix& table, int row);
// "Opera numero " + row.
std::string WorkGroupTitle(int row);

// The address line of a centre, empty when there is none (no Indirizzo). Fields trimmed.
std::string CentreAddressLine(const std::string& indirizzo, const std::string& cap,
                              const std::string& localita, const std::string& provincia);

struct CentreRecord {
    std::string GroupTitle; // row + " - " + RagioneSociale as stored
    std::vector<std::string> Lines;
    std::string EMail; // trimmed; empty when the centre has none
};
// One centre (row from 1). Throws EOrvoError when a column is missing or the row is out of range.
CentreRecord CentreRecordText(const CMatrix& table, int row);

// The lines joined for a memo, one "\n" between them.
std::string JoinLines(const std::vector<std::string>& lines);
// A text's own line breaks (CR LF, CR or LF) as separate lines.
std::vector<std::string> SplitLines(const std::string& text);

// The answer to the browsers' go-to prompt, checked against the row count.
enum class RecordNumberCheck { Nothing, NotANumber, OutOfRange, Valid };
RecordNumberCheck CheckRecordNumber(const std::string& answer, int rowCount, int& number);
