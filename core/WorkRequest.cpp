#include "core/WorkRequest.h"

#include "core/CMatrix.h"
#include "core/Cp1252.h"
#include "core/UOrvoCCommon.h"

namespace {

bool IsAsciiAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

constexpr const char* Eol = "\r\n";

} // namespace

RequestedWork RequestedWorkAt(const CMatrix& t, int row) {
    auto field = [&](const char* name) { return TrimControl(t.GetField(name, row)); };
    return {field("Titolo"), field("AutoreNome"), field("TipoRegistrazione"), field("CodOrigine"),
            field("CatalogoId")};
}

std::string WorkRequestSubject(const RequestedWork& work) {
    return "Richiesta opera: " + work.Titolo;
}

std::string WorkRequestBody(const RequestedWork& w) {
    std::string body = "Buongiorno,";
    body += Eol;
    body += Eol;
    body += "vorrei ricevere in prestito l'opera seguente.";
    body += Eol;
    body += Eol;
    body += "Titolo: " + w.Titolo + Eol;
    if (!w.Autore.empty()) {
        body += "Autore: " + w.Autore + Eol;
    }
    if (!w.TipoRegistrazione.empty()) {
        body += "Tipo registrazione: " + w.TipoRegistrazione + Eol;
    }
    body += "Codice di riferimento in catalogo: " + w.CodOrigine + " (codice interno " +
            w.CatalogoId + ")" + Eol;
    body += Eol;
    body += "Grazie per l'attenzione, cordiali saluti.";
    body += Eol;
    return body;
}

bool IsPlainMailAddress(const std::string& address) {
    const size_t at = address.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string::npos) {
        return false;
    }
    for (size_t i = 0; i < address.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(address[i]);
        if (i == at || IsAsciiAlnum(c) || c == '-' || c == '.') {
            continue;
        }
        const bool localOnly = c == '!' || c == '$' || c == '\'' || c == '*' || c == '+' ||
                               c == '=' || c == '_' || c == '~';
        if (!(localOnly && i < at)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> WorkRequestUri(const std::string& address, const RequestedWork& work) {
    const std::string to = TrimControl(address);
    if (!IsPlainMailAddress(to)) {
        return std::nullopt;
    }
    return "mailto:" + to + "?subject=" + PercentEncode(Cp1252ToUtf8(WorkRequestSubject(work))) +
           "&body=" + PercentEncode(Cp1252ToUtf8(WorkRequestBody(work)));
}
