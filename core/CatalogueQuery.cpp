#include "core/CatalogueQuery.h"

#include "core/UOrvoCCommon.h"

namespace {

// Empty: not usable. Enough significant characters: usable and wrapped in "*". Otherwise usable
// only without wildcards, and left as typed.
bool UsablePattern(std::string& pattern) {
    if (pattern.empty()) {
        return false;
    }
    if (HasSignificantChars(pattern, 3)) {
        pattern = "*" + pattern + "*";
        return true;
    }
    return !HasWildcards(pattern);
}

} // namespace

std::string QuarterStart(int index) {
    static const char* starts[] = {"0101", "0401", "0701", "1001"};
    return index >= 1 && index <= 4 ? starts[index - 1] : "";
}

std::string QuarterEnd(int index) {
    static const char* ends[] = {"0331", "0630", "0930", "1231"};
    return index >= 1 && index <= 4 ? ends[index - 1] : "";
}

CriteriaOutcome EvaluateCriteria(const SearchEntries& entries) {
    CriteriaOutcome out;
    SearchCriteria& c = out.Criteria;
    c.TitlePattern = entries.Title;
    c.AuthorPattern = entries.Author;
    c.PublisherPattern = entries.Publisher;
    c.Genre = entries.Genre;
    c.Year = entries.Year;
    c.RecordingType = entries.RecordingType;

    const bool titleUsable = UsablePattern(c.TitlePattern);
    const bool authorUsable = UsablePattern(c.AuthorPattern);
    const bool publisherUsable = UsablePattern(c.PublisherPattern);
    const bool genreGiven = !c.Genre.empty();
    const bool yearGiven = !c.Year.empty();

    bool period = yearGiven && entries.QuarterIndex >= 1 && entries.QuarterIndex <= 4;
    if (c.Year.size() != 4) {
        c.Year.clear();
        period = false;
    }
    if (period) {
        c.PeriodStart = "0" + c.Year + QuarterStart(entries.QuarterIndex);
        c.PeriodEnd = "0" + c.Year + QuarterEnd(entries.QuarterIndex);
    }
    out.Sufficient =
        period || titleUsable || authorUsable || (publisherUsable && genreGiven && yearGiven);
    return out;
}

QueryTexts WorksQuery(const SearchCriteria& c) {
    QueryTexts q;
    q.Select = "Opere.OperaId, Opere.Titolo, Opere.Edizione, Opere.Pagine, Opere.Sottotitolo, "
               "Opere.Descrizione, Catalogo.nCD, Catalogo.Cassette, Catalogo.Minuti, "
               "Catalogo.DataIncisione, Catalogo.TipoRegistrazione, Catalogo.CodOrigine, "
               "Catalogo.CatalogoId, Autori.AutoreNome, Editori.EditoreNome, Classi.ClasseNome";
    q.From = "Opere, Autori, Editori, Classi, Catalogo";
    q.OrderBy = "Opere.Titolo";
    std::string& w = q.Where;
    w = "(Catalogo.Disponibile <> " + BoolText(false) + " ) AND " +
        "(Catalogo.OperaId = Opere.OperaId) AND " + "(Autori.AutoreId = Opere.AutoreId) AND " +
        "(Opere.EditoreId = Editori.EditoreId) AND " + "(Classi.ClasseId = Opere.ClasseId)";
    if (!c.TitlePattern.empty()) {
        w += " AND (Opere.Titolo LIKE '" + EscapeQuotes(c.TitlePattern) + "')";
    }
    if (!c.AuthorPattern.empty()) {
        w += " AND (Autori.AutoreNome LIKE '" + EscapeQuotes(c.AuthorPattern) + "')";
    }
    if (!c.PublisherPattern.empty()) {
        w += " AND (Editori.EditoreNome LIKE '" + EscapeQuotes(c.PublisherPattern) + "')";
    }
    if (!c.Genre.empty()) {
        w += " AND (Classi.ClasseNome = '" + EscapeQuotes(c.Genre) + "')";
    }
    if (!c.RecordingType.empty()) {
        w += " AND (Catalogo.TipoRegistrazione = '" + EscapeQuotes(c.RecordingType) + "')";
    }
    if (!c.Year.empty()) {
        if (!c.PeriodStart.empty() && !c.PeriodEnd.empty()) {
            w += " AND (Catalogo.DataIncisione >= '" + EscapeQuotes(c.PeriodStart) + "')";
            w += " AND (Catalogo.DataIncisione <= '" + EscapeQuotes(c.PeriodEnd) + "')";
        } else {
            w += " AND (Catalogo.AnnoIncisione = " + c.Year + ")";
        }
    }
    return q;
}

QueryTexts GenresQuery() {
    return {"ClasseNome", "Classi", "", ""};
}

QueryTexts CentresOfWorkQuery(const std::string& catalogueId) {
    QueryTexts q;
    q.Select = "Provenienza.RagioneSociale, Provenienza.Indirizzo, Provenienza.Localita, "
               "Provenienza.CAP, Provenienza.Provincia, Provenienza.Telefono, Provenienza.FAX, "
               "Provenienza.EMail";
    q.From = "Provenienza, Catalogo, Presenza";
    q.Where = "(Catalogo.CatalogoId = " + catalogueId +
              ") AND (Catalogo.CatalogoId = Presenza.CatalogoId) AND " +
              "(Provenienza.ProvenienzaId = Presenza.ProvenienzaId)";
    q.OrderBy = "Provenienza.RagioneSociale";
    return q;
}

QueryTexts AllCentresQuery() {
    QueryTexts q;
    q.Select = "*";
    q.From = "Provenienza";
    q.Where = "(" + std::string("CentroOrvo <> ") + BoolText(false) + ") AND (ProvenienzaId<>1)";
    q.OrderBy = "RagioneSociale";
    return q;
}

std::vector<std::string> YearItems(const std::chrono::year_month_day& today) {
    std::vector<std::string> years;
    const int current = static_cast<int>(today.year());
    if (current > 1960) {
        for (int y = current; y >= 1960; --y) {
            years.push_back(std::to_string(y));
        }
    }
    return years;
}

int YearForQuarter(int quarterIndex, int yearIndex, unsigned month) {
    if (quarterIndex > 0) {
        if (yearIndex <= 0) {
            return month >= 4 ? 1 : 2;
        }
        return -1;
    }
    return quarterIndex == 0 ? 0 : -1;
}

int QuarterForYear(int yearIndex, int quarterIndex) {
    if (yearIndex > 0) {
        return quarterIndex <= 0 ? 1 : -1;
    }
    return yearIndex == 0 ? 0 : -1;
}
