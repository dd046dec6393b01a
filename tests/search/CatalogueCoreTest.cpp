// The display-free half of the catalogue windows: query texts, sufficiency, record texts and the
// export blocks.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/CatalogueQuery.h"
#include "core/RecordText.h"
#include "core/ResultsExport.h"
#include "tests/search/TableBuilder.h"

namespace {

const std::string FixedCondition =
    "(Catalogo.Disponibile <> false ) AND (Catalogo.OperaId = Opere.OperaId) AND "
    "(Autori.AutoreId = Opere.AutoreId) AND (Opere.EditoreId = Editori.EditoreId) AND "
    "(Classi.ClasseId = Opere.ClasseId)";

SearchEntries Title(const std::string& t) {
    SearchEntries e;
    e.Title = t;
    return e;
}

} // namespace

TEST(WorksQuery, FixedTextsAndTitleClauses) {
    const QueryTexts q = WorksQuery({});
    EXPECT_EQ(q.Select,
              "Opere.OperaId, Opere.Titolo, Opere.Edizione, Opere.Pagine, Opere.Sottotitolo, "
              "Opere.Descrizione, Catalogo.nCD, Catalogo.Cassette, Catalogo.Minuti, "
              "Catalogo.DataIncisione, Catalogo.TipoRegistrazione, Catalogo.CodOrigine, "
              "Catalogo.CatalogoId, Autori.AutoreNome, Editori.EditoreNome, Classi.ClasseNome");
    EXPECT_EQ(q.From, "Opere, Autori, Editori, Classi, Catalogo");
    EXPECT_EQ(q.OrderBy, "Opere.Titolo");
    EXPECT_EQ(q.Where, FixedCondition);

    // Two significant characters: searched as typed.
    auto ab = EvaluateCriteria(Title("ab"));
    EXPECT_TRUE(ab.Sufficient);
    EXPECT_EQ(WorksQuery(ab.Criteria).Where, FixedCondition + " AND (Opere.Titolo LIKE 'ab')");
    // Three or more: wrapped; the apostrophe counts and is doubled inside the quotes.
    auto isola = EvaluateCriteria(Title("l'isola"));
    EXPECT_EQ(WorksQuery(isola.Criteria).Where,
              FixedCondition + " AND (Opere.Titolo LIKE '*l''isola*')");
    auto promessi = EvaluateCriteria(Title("promessi"));
    EXPECT_EQ(promessi.Criteria.TitlePattern, "*promessi*");
}

TEST(WorksQuery, EveryClauseInOrder) {
    SearchEntries e;
    e.Title = "x";
    e.Author = "Manz?";
    e.Publisher = "Ed. d'Arte";
    e.Genre = "Romanzo d'amore";
    e.RecordingType = "Professionale";
    e.Year = "1998";
    e.QuarterIndex = 2;
    auto out = EvaluateCriteria(e);
    ASSERT_TRUE(out.Sufficient); // the period alone would do
    EXPECT_EQ(WorksQuery(out.Criteria).Where,
              FixedCondition + " AND (Opere.Titolo LIKE 'x')" +
                  " AND (Autori.AutoreNome LIKE '*Manz?*')" +
                  " AND (Editori.EditoreNome LIKE '*Ed. d''Arte*')" +
                  " AND (Classi.ClasseNome = 'Romanzo d''amore')" +
                  " AND (Catalogo.TipoRegistrazione = 'Professionale')" +
                  " AND (Catalogo.DataIncisione >= '019980401')" +
                  " AND (Catalogo.DataIncisione <= '019980630')");

    // A year that arrives without bounds uses the year clause, unquoted.
    SearchCriteria yearOnly;
    yearOnly.Year = "2001";
    EXPECT_EQ(WorksQuery(yearOnly).Where, FixedCondition + " AND (Catalogo.AnnoIncisione = 2001)");
}

TEST(WorksQuery, PeriodBoundsOfEachQuarter) {
    const char* expected[][2] = {{"020240101", "020240331"},
                                 {"020240401", "020240630"},
                                 {"020240701", "020240930"},
                                 {"020241001", "020241231"}};
    for (int q = 1; q <= 4; ++q) {
        SearchEntries e;
        e.Year = "2024";
        e.QuarterIndex = q;
        auto out = EvaluateCriteria(e);
        EXPECT_TRUE(out.Sufficient) << q;
        EXPECT_EQ(out.Criteria.PeriodStart, expected[q - 1][0]);
        EXPECT_EQ(out.Criteria.PeriodEnd, expected[q - 1][1]);
    }
    // A year of another length is dropped, and with it the period.
    SearchEntries odd;
    odd.Year = "199";
    odd.QuarterIndex = 1;
    auto out = EvaluateCriteria(odd);
    EXPECT_FALSE(out.Sufficient);
    EXPECT_EQ(out.Criteria.Year, "");
    EXPECT_EQ(out.Criteria.PeriodStart, "");
}

TEST(WorksQuery, SufficiencyRules) {
    auto sufficient = [](const SearchEntries& e) { return EvaluateCriteria(e).Sufficient; };
    EXPECT_FALSE(sufficient({}));
    EXPECT_FALSE(sufficient(Title("a*")));   // few characters and a wildcard
    EXPECT_FALSE(sufficient(Title("a b?"))); // blanks do not count
    EXPECT_TRUE(sufficient(Title("a b")));   // two significant, no wildcard
    EXPECT_TRUE(sufficient(Title("ab*c")));  // three significant: wrapped, wildcard allowed

    SearchEntries author;
    author.Author = "Verga";
    EXPECT_TRUE(sufficient(author));

    SearchEntries publisher;
    publisher.Publisher = "Sellerio";
    EXPECT_FALSE(sufficient(publisher));
    publisher.Genre = "Romanzo";
    EXPECT_FALSE(sufficient(publisher));
    publisher.Year = "2000"; // publisher, genre and year together; no quarter
    EXPECT_TRUE(sufficient(publisher));

    SearchEntries genreAndType;
    genreAndType.Genre = "Poesia";
    genreAndType.RecordingType = "Amatoriale";
    EXPECT_FALSE(sufficient(genreAndType));

    // An unusable pattern still reaches the query when another field makes the search
    // sufficient.
    SearchEntries mixed;
    mixed.Title = "a*";
    mixed.Author = "Verga";
    auto out = EvaluateCriteria(mixed);
    EXPECT_TRUE(out.Sufficient);
    EXPECT_EQ(out.Criteria.TitlePattern, "a*");
}

TEST(WorksQuery, YearListAndPeriodCoupling) {
    using namespace std::chrono;
    auto years = YearItems(year{2026} / May / 15);
    ASSERT_EQ(years.size(), 2026u - 1960u + 1u);
    EXPECT_EQ(years.front(), "2026");
    EXPECT_EQ(years.back(), "1960");
    EXPECT_TRUE(YearItems(year{1960} / January / 1).empty());

    // Quarter chosen, no year: this year from April, the previous one before.
    EXPECT_EQ(YearForQuarter(2, 0, 5), 1);
    EXPECT_EQ(YearForQuarter(2, 0, 4), 1);
    EXPECT_EQ(YearForQuarter(2, 0, 1), 2);
    EXPECT_EQ(YearForQuarter(2, 0, 3), 2);
    EXPECT_EQ(YearForQuarter(3, 5, 1), -1); // a year is there already
    EXPECT_EQ(YearForQuarter(0, 5, 1), 0);  // quarter emptied: year emptied
    EXPECT_EQ(QuarterForYear(3, 0), 1);
    EXPECT_EQ(QuarterForYear(3, 2), -1);
    EXPECT_EQ(QuarterForYear(0, 2), 0);
}

TEST(OtherQueries, GenresAndCentres) {
    const QueryTexts g = GenresQuery();
    EXPECT_EQ(g.Select, "ClasseNome");
    EXPECT_EQ(g.From, "Classi");
    EXPECT_EQ(g.Where, "");
    EXPECT_EQ(g.OrderBy, "");

    const QueryTexts c = CentresOfWorkQuery(" 17");
    EXPECT_EQ(c.Select, "Provenienza.RagioneSociale, Provenienza.Indirizzo, Provenienza.Localita, "
                        "Provenienza.CAP, Provenienza.Provincia, Provenienza.Telefono, "
                        "Provenienza.FAX, Provenienza.EMail");
    EXPECT_EQ(c.From, "Provenienza, Catalogo, Presenza");
    EXPECT_EQ(c.Where, "(Catalogo.CatalogoId =  17) AND (Catalogo.CatalogoId = "
                       "Presenza.CatalogoId) AND (Provenienza.ProvenienzaId = "
                       "Presenza.ProvenienzaId)");
    EXPECT_EQ(c.OrderBy, "Provenienza.RagioneSociale");

    const QueryTexts all = AllCentresQuery();
    EXPECT_EQ(all.Select, "*");
    EXPECT_EQ(all.From, "Provenienza");
    EXPECT_EQ(all.Where, "(CentroOrvo <> false) AND (ProvenienzaId<>1)");
    EXPECT_EQ(all.OrderBy, "RagioneSociale");
}

namespace {

Row FullWork() {
    return {{"Titolo", "I Malavoglia"},
            {"Sottotitolo", "  romanzo  "},
            {"ClasseNome", "Narrativa"},
            {"AutoreNome", "Giovanni Verga"},
            {"EditoreNome", "Editrice Aurora"},
            {"Edizione", " 1881 "},
            {"Pagine", "320"},
            {"Cassette", "6"},
            {"nCD", "2"},
            {"Minuti", "540"},
            {"TipoRegistrazione", "Professionale"},
            {"DataIncisione", "019990315"},
            {"CodOrigine", " MV-01 "},
            {"CatalogoId", "7"},
            {"Descrizione", "\r\nLa famiglia Toscano.\r\nAci Trezza, 1863.\r\n  "}};
}

} // namespace

TEST(WorkRecord, EveryLineWhenEverythingIsThere) {
    CMatrix t;
    FillRows(t, WorkColumns(), {FullWork()});
    EXPECT_EQ(JoinLines(WorkRecordLines(t, 1)),
              "Titolo dell'opera: I Malavoglia\n"
              "Sottotitolo: romanzo\n"
              "Genere: Narrativa\n"
              "Autore: Giovanni Verga\n"
              "Editore: Editrice Aurora\n"
              "Anno di Edizione: 1881\n"
              "Pagine: 320\n"
              "Numero cassette: 6\n"
              "Numero CD-ROM: 2\n"
              "Durata (minuti): 540\n"
              "Tipo registrazione: Professionale\n"
              "Data incisione: 15/03/1999\n"
              "Docide di riferimento in catalogo: MV-01 (codice interno 7)\n"
              "\n"
              "Descrizione\n"
              "La famiglia Toscano.\n"
              "Aci Trezza, 1863.");
    EXPECT_EQ(WorkGroupTitle(12), "Opera numero 12");
}

TEST(WorkRecord, MissingValuesFollowTheDisplayRules) {
    Row w = FullWork();
    w["Sottotitolo"] = " ";
    w["Edizione"] = "0";
    w["Pagine"] = "0";
    w["Cassette"] = "0";
    w["nCD"] = "";
    w["TipoRegistrazione"] = "";
    w["DataIncisione"] = "000000000";
    w["Descrizione"] = " \r\n ";
    Row cdOnly = FullWork();
    cdOnly["Cassette"] = "";
    cdOnly["Minuti"] = "0";
    cdOnly["Pagine"] = "";
    cdOnly["DataIncisione"] = "020230230"; // no such day
    Row noDate = FullWork();
    noDate["DataIncisione"] = "";
    CMatrix t;
    FillRows(t, WorkColumns(), {w, cdOnly, noDate});

    EXPECT_EQ(JoinLines(WorkRecordLines(t, 1)),
              "Titolo dell'opera: I Malavoglia\n"
              "Genere: Narrativa\n"
              "Autore: Giovanni Verga\n"
              "Editore: Editrice Aurora\n"
              "Pagine: Non disponibile\n"
              "L'opera non risulta disponibile su cassetta.\n"
              "L'opera non risulta disponibile su CD-ROM.\n"
              "Data incisione: non disponibile\n"
              "Docide di riferimento in catalogo: MV-01 (codice interno 7)");
    const std::vector<std::string> cd = WorkRecordLines(t, 2);
    EXPECT_EQ(cd[6], "Pagine: Non disponibile");
    EXPECT_EQ(cd[7], "L'opera non risulta disponibile su cassetta.");
    EXPECT_EQ(cd[8], "Numero CD-ROM: 2");
    EXPECT_EQ(cd[9], "Durata (minuti): Non disponibile");
    EXPECT_EQ(cd[11], "Data incisione: non disponibile");
    EXPECT_EQ(WorkRecordLines(t, 3)[11], "Data incisione: non disponibile");

    // A table without one of the columns is an error for the window to report.
    CMatrix partial;
    FillTable(partial, {"Titolo"}, {{"x"}});
    EXPECT_THROW(WorkRecordLines(partial, 1), EOrvoError);
}

TEST(CentreRecord, AddressLineShapesAndEMail) {
    EXPECT_EQ(CentreAddressLine("Via Roma 1", "00100", "Roma", "RM"),
              "Via: Via Roma 1 - 00100 Roma (RM)");
    EXPECT_EQ(CentreAddressLine("Via Roma 1", "00100", "", "RM"), "Via: Via Roma 1 - 00100 (RM)");
    EXPECT_EQ(CentreAddressLine("Via Roma 1", "", "Roma", ""), "Via: Via Roma 1 - Roma");
    EXPECT_EQ(CentreAddressLine("Via Roma 1", " ", " ", "RM "), "Via: Via Roma 1(prov. RM)");
    EXPECT_EQ(CentreAddressLine(" ", "00100", "Roma", "RM"), "");

    CMatrix t;
    FillRows(t, CentreColumns(),
             {{{"RagioneSociale", " Centro Nord "},
               {"Indirizzo", "Corso Po 3"},
               {"Localita", "Torino"},
               {"Telefono", "011 123"},
               {"FAX", " "},
               {"EMail", " nord@example.org "}},
              {{"RagioneSociale", "Centro Sud"}, {"FAX", "081 9"}}});
    CentreRecord first = CentreRecordText(t, 1);
    EXPECT_EQ(first.GroupTitle, "1 -  Centro Nord ");
    EXPECT_EQ(JoinLines(first.Lines), "Centro Nord\nVia: Corso Po 3 - Torino\nTelefono: 011 123\n"
                                      "EMail: nord@example.org");
    EXPECT_EQ(first.EMail, "nord@example.org");
    CentreRecord second = CentreRecordText(t, 2);
    EXPECT_EQ(JoinLines(second.Lines), "Centro Sud\nFAX: 081 9");
    EXPECT_EQ(second.EMail, "");
}

TEST(RecordNumber, PromptAnswers) {
    int n = 0;
    EXPECT_EQ(CheckRecordNumber("", 5, n), RecordNumberCheck::Nothing);
    EXPECT_EQ(CheckRecordNumber("  ", 5, n), RecordNumberCheck::Nothing);
    EXPECT_EQ(CheckRecordNumber("abc", 5, n), RecordNumberCheck::NotANumber);
    EXPECT_EQ(CheckRecordNumber("0", 5, n), RecordNumberCheck::OutOfRange);
    EXPECT_EQ(CheckRecordNumber("-3", 5, n), RecordNumberCheck::OutOfRange);
    EXPECT_EQ(CheckRecordNumber("6", 5, n), RecordNumberCheck::OutOfRange);
    EXPECT_EQ(CheckRecordNumber(" 5 ", 5, n), RecordNumberCheck::Valid);
    EXPECT_EQ(n, 5);
}

namespace {

std::string ExportOf(const CMatrix& t) {
    const WorksExportColumns columns(t);
    std::string out;
    for (int r = 1; r <= t.RowCount(); ++r) {
        AppendWorkBlock(out, t, columns, r);
    }
    return out;
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(ResultsExport, BlocksByteForByte) {
    Row bare = FullWork();
    bare["Titolo"] = "Citt\xE0 ";
    bare["Edizione"] = "0";
    bare["Cassette"] = "0";
    bare["Minuti"] = "0";
    bare["DataIncisione"] = "000000000";
    bare["TipoRegistrazione"] = "";
    bare["Descrizione"] = "\r\n";
    Row badDate = FullWork();
    badDate["DataIncisione"] = "0abc";
    badDate["Edizione"] = "";
    CMatrix t;
    FillRows(t, WorkColumns(), {FullWork(), bare, badDate});

    EXPECT_EQ(ExportOf(t), "I Malavoglia\r\n"
                           "\tCodice:\t\t MV-01 \r\n"
                           "\tAutore:\t\tGiovanni Verga\r\n"
                           "\tEditore:\tEditrice Aurora\r\n"
                           "\tEdizione:\t1881\r\n"
                           "\tData incisione:\t15/03/1999\r\n"
                           "\tCassette:\t6\r\n"
                           "\tDurara:\t\t540 minuti\r\n"
                           "\tRegistrazione:\tProfessionale\r\n"
                           "Descrizione\r\n"
                           "La famiglia Toscano.\r\nAci Trezza, 1863.\r\n"
                           "\r\n"
                           "Citt\xE0 \r\n"
                           "\tCodice:\t\t MV-01 \r\n"
                           "\tAutore:\t\tGiovanni Verga\r\n"
                           "\tEditore:\tEditrice Aurora\r\n"
                           "\tRegistrazione:\t\r\n"
                           "\r\n"
                           "I Malavoglia\r\n"
                           "\tCodice:\t\t MV-01 \r\n"
                           "\tAutore:\t\tGiovanni Verga\r\n"
                           "\tEditore:\tEditrice Aurora\r\n"
                           "\tCassette:\t6\r\n"
                           "\tDurara:\t\t540 minuti\r\n"
                           "\tRegistrazione:\tProfessionale\r\n"
                           "Descrizione\r\n"
                           "La famiglia Toscano.\r\nAci Trezza, 1863.\r\n"
                           "\r\n");

    CMatrix partial;
    FillTable(partial, {"Titolo"}, {{"x"}});
    EXPECT_THROW(WorksExportColumns{partial}, EOrvoError);
}

TEST(ResultsExport, FileReportsEveryFailure) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("dravel-export-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const auto path = dir / "out.txt";
    {
        std::ofstream old(path, std::ios::binary);
        old << "old contents that are longer than the new ones";
    }
    ExportFile file;
    ASSERT_TRUE(file.Create(path.string()));
    EXPECT_TRUE(file.Write("abc\r\n"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), "abc\r\n");

    ExportFile missing;
    EXPECT_FALSE(missing.Create((dir / "no" / "such" / "dir.txt").string()));
    EXPECT_FALSE(missing.Write("x"));
    EXPECT_FALSE(missing.Close());

    // A full disk: the buffered bytes fail when they reach the device, at the latest on close.
    ExportFile full;
    ASSERT_TRUE(full.Create("/dev/full"));
    full.Write("short");
    EXPECT_FALSE(full.Close());
    ExportFile big;
    ASSERT_TRUE(big.Create("/dev/full"));
    bool ok = true;
    for (int i = 0; i < 200 && ok; ++i) {
        ok = big.Write(std::string(4096, 'x'));
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(big.Failed());
    EXPECT_FALSE(big.Close());
    std::filesystem::remove_all(dir);
}
