// The client's own queries on the sample catalogue, hostile fragments, and the wildcards.

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "server/CatalogueBuilder.h"
#include "tests/server/ServerHarness.h"

namespace {

using Strings = std::vector<std::string>;

std::string ManyColumns(int n) {
    std::string list = "ClasseId";
    for (int i = 1; i < n; ++i) {
        list += ", ClasseId";
    }
    return list;
}

class SampleQueries : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ServerOptions o;
        o.QueryTimeoutMs = 300;
        server = new TestServer(o);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        client = std::make_unique<RawClient>(server->Port());
        client->Login();
    }

    Exchange Works(const std::string& clauses) {
        return client->Query(WorksSelect, WorksFrom, WorksCondition + clauses, "Opere.Titolo");
    }
    Strings Titles(const std::string& clause) {
        Exchange e = client->Query("Titolo", "Opere", clause, "Titolo");
        EXPECT_EQ(e.Error, "");
        return e.Column("Titolo");
    }
    // The catalogue is untouched and the connection still answers.
    void ExpectStillServing() {
        Exchange e = client->Query("count(*)", "Opere");
        ASSERT_TRUE(e.Complete);
        EXPECT_EQ(e.Table->GetField("count(*)", 1), "52");
        EXPECT_EQ(client->Query("ClasseNome", "Classi").Table->RowCount(), 6);
    }

    static TestServer* server;
    std::unique_ptr<RawClient> client;
};
TestServer* SampleQueries::server = nullptr;

TEST_F(SampleQueries, GenreList) {
    Exchange e = client->Query("ClasseNome", "Classi");
    ASSERT_TRUE(e.Complete);
    EXPECT_EQ(e.Column("ClasseNome"), (Strings{"Narrativa", "Poesia", "Teatro", "Libri per ragazzi",
                                               "Saggistica", "Memorie e lettere"}));
}

TEST_F(SampleQueries, WorksSearchByTitleNamesTheSixteenColumnsAndKeepsNullsEmpty) {
    Exchange e = Works(" AND (Opere.Titolo LIKE '*promessi*')");
    ASSERT_TRUE(e.Complete) << e.Error;
    Strings names;
    for (int j = 0; j < e.Table->ColCount(); ++j) {
        names.emplace_back(e.Table->Cell(j, 0));
    }
    EXPECT_EQ(names,
              (Strings{"OperaId", "Titolo", "Edizione", "Pagine", "Sottotitolo", "Descrizione",
                       "nCD", "Cassette", "Minuti", "DataIncisione", "TipoRegistrazione",
                       "CodOrigine", "CatalogoId", "AutoreNome", "EditoreNome", "ClasseNome"}));
    ASSERT_EQ(e.Table->RowCount(), 2);
    Strings ids = e.Column("CatalogoId");
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (Strings{"101", "153"}));
    EXPECT_EQ(e.Column("Titolo"), (Strings{"I promessi sposi", "I promessi sposi"}));
    int cassettes = e.Table->GetField("CatalogoId", 1) == "101" ? 1 : 2;
    EXPECT_EQ(e.Table->GetField("nCD", cassettes), "");
    EXPECT_EQ(e.Table->GetField("Cassette", cassettes), "18");
    EXPECT_EQ(e.Table->GetField("DataIncisione", cassettes), "019850312");
    EXPECT_EQ(e.Table->GetField("AutoreNome", cassettes), "Alessandro Manzoni");
    EXPECT_EQ(e.Table->GetField("Sottotitolo", cassettes), "Storia milanese del secolo XVII");
    EXPECT_EQ(e.Table->GetField("Descrizione", cassettes),
              "Renzo e Lucia, promessi sposi in un paese sul lago di Como, sono separati dai "
              "capricci di don Rodrigo.\nLettura integrale dell'edizione definitiva.");

    // Available on both media, duration unknown.
    Exchange odi = Works(" AND (Opere.Titolo LIKE 'odi barbare')");
    ASSERT_EQ(odi.Table->RowCount(), 1) << odi.Error;
    EXPECT_EQ(odi.Table->GetField("Cassette", 1), "3");
    EXPECT_EQ(odi.Table->GetField("nCD", 1), "1");
    EXPECT_EQ(odi.Table->GetField("Minuti", 1), "");
}

TEST_F(SampleQueries, WorksSearchByAuthorPeriodAndYearLeavesUnavailableOut) {
    Exchange byAuthor = Works(" AND (Autori.AutoreNome LIKE '*pirandello*')");
    EXPECT_EQ(byAuthor.Column("Titolo"),
              (Strings{"Cos\xEC \xE8 (se vi pare)", "Il fu Mattia Pascal",
                       "Sei personaggi in cerca d'autore", "Uno, nessuno e centomila"}));

    Exchange byPeriod = Works(" AND (Catalogo.DataIncisione >= '020180401')"
                              " AND (Catalogo.DataIncisione <= '020180630')");
    EXPECT_EQ(byPeriod.Column("CodOrigine"), (Strings{"TE-0009", "TE-0008"}));

    Exchange byYear = Works(" AND (Catalogo.AnnoIncisione = 2021)");
    Strings cantiche = byYear.Column("Sottotitolo");
    std::sort(cantiche.begin(), cantiche.end());
    EXPECT_EQ(cantiche, (Strings{"Inferno", "Paradiso", "Purgatorio"}));

    // "Una vita" is recorded but not available.
    Exchange vita = Works(" AND (Opere.Titolo LIKE '*vita*')");
    EXPECT_EQ(vita.Column("Titolo"), (Strings{"Vita", "Vita nuova"}));

    Exchange apostrophe = Works(" AND (Opere.Titolo LIKE '*d''autore*')"
                                " AND (Classi.ClasseNome = 'Teatro')"
                                " AND (Catalogo.TipoRegistrazione = 'Professionale')");
    EXPECT_EQ(apostrophe.Column("OperaId"), (Strings{"8"}));
}

TEST_F(SampleQueries, CentresOfAWorkAndOfNone) {
    const std::string select =
        "Provenienza.RagioneSociale, Provenienza.Indirizzo, Provenienza.Localita, "
        "Provenienza.CAP, Provenienza.Provincia, Provenienza.Telefono, Provenienza.FAX, "
        "Provenienza.EMail";
    auto condition = [](const std::string& id) {
        return "(Catalogo.CatalogoId = " + id +
               ") AND (Catalogo.CatalogoId = Presenza.CatalogoId) AND "
               "(Provenienza.ProvenienzaId = Presenza.ProvenienzaId)";
    };
    Exchange held = client->Query(select, "Provenienza, Catalogo, Presenza", condition("101"),
                                  "Provenienza.RagioneSociale");
    ASSERT_TRUE(held.Complete) << held.Error;
    EXPECT_EQ(
        held.Column("RagioneSociale"),
        (Strings{"Biblioteca sonora di Bologna", "Centro Orvo di Napoli", "Centro Orvo di Trieste",
                 "Fondo donazioni Ferraguti", "Sede centrale del Servizio Orvo"}));
    EXPECT_EQ(held.Table->GetField("CAP", 1), "");
    EXPECT_EQ(held.Table->GetField("FAX", 3), "");
    EXPECT_EQ(held.Table->GetField("Provincia", 3), "TS");

    Exchange none = client->Query(select, "Provenienza, Catalogo, Presenza", condition("105"),
                                  "Provenienza.RagioneSociale");
    EXPECT_TRUE(none.Complete);
    EXPECT_EQ(none.Table->RowCount(), 0);
    EXPECT_EQ(none.Table->ColCount(), 8);
}

TEST_F(SampleQueries, AllCentresLeaveOutTheHeadOfficeAndWhatIsNoCentre) {
    Exchange e = client->Query("*", "Provenienza", "(CentroOrvo <> false) AND (ProvenienzaId<>1)",
                               "RagioneSociale");
    ASSERT_TRUE(e.Complete) << e.Error;
    EXPECT_EQ(e.Column("RagioneSociale"),
              (Strings{"Associazione Lettori dell'Aquila", "Biblioteca sonora di Bologna",
                       "Centro Orvo di Cagliari", "Centro Orvo di Firenze", "Centro Orvo di Milano",
                       "Centro Orvo di Napoli", "Centro Orvo di Palermo", "Centro Orvo di Torino",
                       "Centro Orvo di Trieste", "Punto di prestito di Forl\xEC"}));
    EXPECT_EQ(e.Table->GetField("Localita", 1), "L'Aquila");
    EXPECT_EQ(e.Table->GetField("EMail", 4), "");
}

TEST_F(SampleQueries, HostileFragmentsAreRefusedAndChangeNothing) {
    QTemporaryDir dir;
    const std::string attached = dir.filePath("other.db").toStdString();
    struct Case {
        std::string Select, From, Where, Expected;
    };
    const std::vector<Case> cases = {
        {"ClasseNome", "Classi", "1; DROP TABLE Opere",
         "Richiesta non consentita: \xE8 ammessa una sola istruzione."},
        {"ClasseNome", "Classi; ATTACH DATABASE '" + attached + "' AS x", "",
         "Richiesta non consentita: \xE8 ammessa una sola istruzione."},
        {"ClasseNome", "Classi", "1; PRAGMA query_only = 0",
         "Richiesta non consentita: \xE8 ammessa una sola istruzione."},
        {"name", "pragma_table_info('Opere')", "", ""},
        {"ClasseNome", "Classi", "ClasseId IN (INSERT INTO Classi VALUES (9, 'x'))", ""},
        {"ClasseNome", "Classi", "(DROP TABLE Opere) IS NULL", ""},
        {"name", "sqlite_master", "",
         "Richiesta non consentita: la tabella sqlite_master non fa parte del catalogo."},
        {"sql", "sqlite_schema", "", ""},
        {"load_extension('libc.so.6')", "Classi", "",
         "Richiesta non consentita: la funzione load_extension non \xE8 ammessa."},
        {"zeroblob(1000000000)", "Classi", "", ""},
        {"x", "(WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT x FROM r)",
         "", "Richiesta non consentita: le ricerche ricorsive non sono ammesse."},
        {"count(*)", "Opere a, Opere b, Opere c, Opere d, Opere e, Opere f", "",
         "Richiesta interrotta: superato il tempo massimo di esecuzione (300 ms)."},
        {"", "Classi", "", "Richiesta incompleta: mancano le colonne o le tabelle."},
        {"Titolo", "Opere", "Titolo LIKE '" + std::string(1200, 'a') + "'",
         "Errore nell'esecuzione della richiesta: modello di ricerca troppo lungo"},
        {ManyColumns(257), "Classi", "",
         "Errore nella richiesta: il risultato avrebbe pi\xF9 di 256 colonne"},
        {"Titolo", "Opere", "Titolo LIKE 'x' AND", "Errore nella richiesta: richiesta incompleta"},
        {"Nome", "Opere", "", "Errore nella richiesta: colonna inesistente: Nome"},
        {"abs(1, 2)", "Opere", "",
         "Errore nella richiesta: numero di argomenti errato per la funzione abs()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Select + " FROM " + c.From + " WHERE " + c.Where.substr(0, 60));
        Exchange e = client->Query(c.Select, c.From, c.Where);
        EXPECT_FALSE(e.Complete);
        EXPECT_FALSE(e.Error.empty());
        if (!c.Expected.empty()) {
            EXPECT_EQ(e.Error, c.Expected);
        }
        ExpectStillServing();
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(attached)));
}

TEST_F(SampleQueries, AResultOfTheClientsMaximumWidthIsServed) {
    Exchange e = client->Query(ManyColumns(256), "Classi");
    ASSERT_TRUE(e.Complete) << e.Error;
    EXPECT_EQ(e.Table->ColCount(), 256);
    EXPECT_EQ(e.Table->RowCount(), 6);
}

TEST_F(SampleQueries, WildcardsFollowCaseButNotAccents) {
    EXPECT_EQ(Titles("Titolo LIKE '*CITT\xC0*'"), (Strings{"La citt\xE0 morta"}));
    EXPECT_EQ(Titles("Titolo LIKE '*citt\xE0*'"), (Strings{"La citt\xE0 morta"}));
    EXPECT_EQ(Titles("Titolo LIKE '*citta*'"), Strings{});
    EXPECT_EQ(Titles("Titolo LIKE 'la citt? MORTA'"), (Strings{"La citt\xE0 morta"}));
    EXPECT_EQ(Titles("Titolo LIKE '%Citt_ morta'"), (Strings{"La citt\xE0 morta"}));
    EXPECT_EQ(Titles("Titolo LIKE 'La citt'"), Strings{});
    EXPECT_EQ(Titles("Titolo LIKE '*rustican?'"),
              (Strings{"Cavalleria rusticana", "Novelle rusticane"}));
    EXPECT_EQ(Titles("Titolo LIKE 'I VICER\xC9'"), (Strings{"I Vicer\xE9"}));
    Exchange author = client->Query("AutoreNome", "Autori", "AutoreNome LIKE '*NICCOL\xD2*'");
    EXPECT_EQ(author.Column("AutoreNome"), (Strings{"Niccol\xF2 Machiavelli"}));
}

TEST(WideRows, ARowTooLargeToSendIsRefusedNotBuffered) {
    TestServer server;
    RawClient client(server.Port());
    client.Login();
    // A 256,000-byte value built by doubling, repeated over 40 columns: a 10 MB row.
    std::string from = "(SELECT '" + std::string(1000, 'a') + "' AS x)";
    for (int i = 0; i < 8; ++i) {
        from = "(SELECT x || x AS x FROM " + from + ")";
    }
    std::string select = "x";
    for (int i = 1; i < 40; ++i) {
        select += ", x";
    }
    Exchange e = client.Query(select, from);
    EXPECT_EQ(e.Error, "Richiesta interrotta: una riga del risultato \xE8 troppo grande.");
    EXPECT_EQ(client.Query("ClasseNome", "Classi").Table->RowCount(), 6);
}

// Cells are the catalogue's text: framing bytes inside them must not break the message.
TEST(FileCatalogue, FramingBytesInCellsAreBlankedAndTheRowArrivesWhole) {
    QTemporaryDir dir;
    std::string path = dir.filePath("c.db").toStdString();
    std::string error;
    ASSERT_TRUE(CreateSampleFile(path, error)) << error;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db,
                 "UPDATE Opere SET Descrizione = 'uno' || char(1) || 'due citt\xC3\xA0' || char(2) || 'tre' "
                 "WHERE OperaId = 16; CREATE TABLE \"Citt\xC3\xA0\"(x)",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);

    TestServer server({}, TestServer::Source::File, path);
    RawClient client(server.Port());
    client.Login();
    Exchange e = client.Query("Descrizione, Titolo", "Opere", "OperaId = 16");
    ASSERT_TRUE(e.Complete) << e.Error;
    EXPECT_EQ(e.Table->GetField("Descrizione", 1), "uno due citt\xE0 tre");
    EXPECT_EQ(e.Table->GetField("Titolo", 1), "Cuore");
    // A table of the file that is no catalogue table is refused by its name, in the client's
    // characters.
    EXPECT_EQ(client.Query("x", "Citt\xE0").Error,
              "Richiesta non consentita: la tabella Citt\xE0 non fa parte del catalogo.");
}

} // namespace
