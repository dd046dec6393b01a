#include "core/RecordText.h"

#include "core/CMatrix.h"
#include "core/ShownText.h"
#include "core/UOrvoCCommon.h"

std::string RecordingDateText(const std::string& value) {
    const std::string trimmed = TrimControl(value);
    if (trimmed == "000000000") {
        return "non disponibile";
    }
    const Date date = ParseServerDate(trimmed);
    return IsZeroDate(date) ? "non disponibile" : FormatShortDate(date);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            line.push_back(c);
        }
    }
    lines.push_back(std::move(line));
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        out += lines[i];
    }
    return out;
}

std::vector<std::string> WorkRecordLines(const CMatrix& t, int row) {
    // Each value on its one line, bounded: a server's CR or LF must not make a line of its own.
    auto field = [&](const char* name) { return ShownText(t.GetField(name, row)); };
    auto trimmed = [&](const char* name) { return TrimControl(field(name)); };
    std::vector<std::string> lines;

    lines.push_back("Titolo dell'opera: " + field("Titolo"));
    if (std::string v = trimmed("Sottotitolo"); !v.empty()) {
        lines.push_back("Sottotitolo: " + v);
    }
    lines.push_back("Genere: " + field("ClasseNome"));
    lines.push_back("Autore: " + field("AutoreNome"));
    lines.push_back("Editore: " + field("EditoreNome"));
    if (std::string v = trimmed("Edizione"); !EmptyOrZero(v)) {
        lines.push_back("Anno di Edizione: " + v);
    }
    {
        std::string v = trimmed("Pagine");
        lines.push_back("Pagine: " + (EmptyOrZero(v) ? std::string("Non disponibile") : v));
    }
    bool available = false;
    if (std::string v = trimmed("Cassette"); !EmptyOrZero(v)) {
        lines.push_back("Numero cassette: " + v);
        available = true;
    } else {
        lines.push_back("L'opera non risulta disponibile su cassetta.");
    }
    if (std::string v = trimmed("nCD"); !EmptyOrZero(v)) {
        lines.push_back("Numero CD-ROM: " + v);
        available = true;
    } else {
        lines.push_back("L'opera non risulta disponibile su CD-ROM.");
    }
    if (available) {
        std::string v = trimmed("Minuti");
        lines.push_back("Durata (minuti): " +
                        (EmptyOrZero(v) ? std::string("Non disponibile") : v));
    }
    if (std::string v = trimmed("TipoRegistrazione"); !v.empty()) {
        lines.push_back("Tipo registrazione: " + v);
    }
    lines.push_back("Data incisione: " + RecordingDateText(field("DataIncisione")));
    lines.push_back("Docide di riferimento in catalogo: " + trimmed("CodOrigine") +
                    " (codice interno " + trimmed("CatalogoId") + ")");
    if (std::string d = CleanFieldText(ShownTextKeepingLines(t.GetField("Descrizione", row)));
        !d.empty()) {
        lines.emplace_back();
        lines.push_back("Descrizione");
        for (std::string& l : SplitLines(d)) {
            lines.push_back(std::move(l));
        }
    }
    return lines;
}

std::string WorkGroupTitle(int row) {
    return "Opera numero " + std::to_string(row);
}

std::string CentreAddressLine(const std::string& indirizzo, const std::string& cap,
                              const std::string& localita, const std::string& provincia) {
    const std::string ind = TrimControl(indirizzo);
    const std::string c = TrimControl(cap);
    const std::string loc = TrimControl(localita);
    const std::string prov = TrimControl(provincia);
    if (ind.empty()) {
        return "";
    }
    std::string line = "Via: " + ind;
    if (!c.empty()) {
        line += " - " + c;
        if (!loc.empty()) {
            line += " " + loc;
        }
        if (!prov.empty()) {
            line += " (" + prov + ")";
        }
    } else if (!loc.empty()) {
        line += " - " + loc;
        if (!prov.empty()) {
            line += " (" + prov + ")";
        }
    } else if (!prov.empty()) {
        line += "(prov. " + prov + ")";
    }
    return line;
}

CentreRecord CentreRecordText(const CMatrix& t, int row) {
    auto field = [&](const char* name) { return ShownText(t.GetField(name, row)); };
    CentreRecord r;
    r.GroupTitle = std::to_string(row) + " - " + field("RagioneSociale");
    r.Lines.push_back(TrimControl(field("RagioneSociale")));
    std::string address =
        CentreAddressLine(field("Indirizzo"), field("CAP"), field("Localita"), field("Provincia"));
    if (!address.empty()) {
        r.Lines.push_back(std::move(address));
    }
    if (std::string v = TrimControl(field("Telefono")); !v.empty()) {
        r.Lines.push_back("Telefono: " + v);
    }
    if (std::string v = TrimControl(field("FAX")); !v.empty()) {
        r.Lines.push_back("FAX: " + v);
    }
    r.EMail = TrimControl(field("EMail"));
    if (!r.EMail.empty()) {
        r.Lines.push_back("EMail: " + r.EMail);
    }
    return r;
}

RecordNumberCheck CheckRecordNumber(const std::string& answer, int rowCount, int& number) {
    const std::string text = TrimControl(answer);
    if (text.empty()) {
        return RecordNumberCheck::Nothing;
    }
    const std::optional<long long> value = StrToIntOpt(text);
    if (!value) {
        return RecordNumberCheck::NotANumber;
    }
    if (*value < 1 || *value > rowCount) {
        return RecordNumberCheck::OutOfRange;
    }
    number = static_cast<int>(*value);
    return RecordNumberCheck::Valid;
}
