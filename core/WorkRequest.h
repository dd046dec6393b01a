#pragma once
// The e-mail that asks a centre for a work: a mailto: address with the subject and the body
// already written, so the reader does not type the title and codes from memory.

#include <optional>
#include <string>

class CMatrix;

// The work asked for, Windows-1252 text as the table holds it (trimmed).
struct RequestedWork {
    std::string Titolo;
    std::string Autore;
    std::string TipoRegistrazione;
    std::string CodOrigine;
    std::string CatalogoId;
};

// Throws EOrvoError when a column is missing or the row is out of range.
RequestedWork RequestedWorkAt(const CMatrix& table, int row);

// "Richiesta opera: " + the title (Windows-1252).
std::string WorkRequestSubject(const RequestedWork& work);
// The body, lines ended by CR LF (Windows-1252).
std::string WorkRequestBody(const RequestedWork& work);

// Whether an address can stand in a mailto: as it is: one "@", a local part of letters,
// digits and "!$'*+-=._~", a domain of letters, digits, "-" and ".". Anything else could end
// the address early or add headers, so such an address is never used for a request.
bool IsPlainMailAddress(const std::string& address);

// "mailto:" + address + "?subject=...&body=...", the texts in UTF-8 and percent-encoded;
// nullopt when the address (trimmed) is not plain.
std::optional<std::string> WorkRequestUri(const std::string& address, const RequestedWork& work);
