// The three types a result is saved as, byte for byte, and the remembered choice.

#include <gtest/gtest.h>

#include "core/CMatrix.h"
#include "core/SaveFormats.h"
#include "core/Settings.h"
#include "tests/search/TableBuilder.h"
#include "tests/support/MemoryRegistry.h"

namespace {

std::string Save(const CMatrix& table, SaveFormat format) {
    WorksWriter writer(table, format);
    std::string out = writer.Header();
    for (int r = 1; r <= table.RowCount(); ++r) {
        writer.AppendWork(out, r);
    }
    return out;
}

class SaveFormatsTest : public testing::Test {
protected:
    void SetUp() override {
        FillRows(Table, WorkColumns(),
                 {{{"Titolo", "Citt\xE0 \"nuova\", vecchia"},
                   {"Sottotitolo", "=HYPERLINK(\"x\")"},
                   {"ClasseNome", "Narrativa"},
                   {"AutoreNome", "Verga"},
                   {"EditoreNome", "Treves"},
                   {"Edizione", "1881"},
                   {"Pagine", "0"},
                   {"Cassette", "2"},
                   {"nCD", "0"},
                   {"Minuti", "90"},
                   {"TipoRegistrazione", "Professionale"},
                   {"DataIncisione", "020010203"},
                   {"CodOrigine", "NA-0003"},
                   {"CatalogoId", "103"},
                   {"Descrizione", "Riga uno\r\nRiga \x80"}},
                  {{"Titolo", "-1"}, {"CodOrigine", "B"}, {"CatalogoId", "7"}}});
    }
    CMatrix Table;
};

} // namespace

TEST_F(SaveFormatsTest, ThreeTypesByteForByte) {
    const std::string cp1252 =
        "Citt\xE0 \"nuova\", vecchia\r\n\tCodice:\t\tNA-0003\r\n\tAutore:\t\t"
        "Verga\r\n\tEditore:\tTreves\r\n\tEdizione:\t1881\r\n\tData "
        "incisione:\t03/02/2001\r\n\tCassette:\t2\r\n\tDurara:\t\t90 minuti"
        "\r\n\tRegistrazione:\tProfessionale\r\nDescrizione\r\nRiga uno\r\n"
        "Riga \x80\r\n\r\n"
        "-1\r\n\tCodice:\t\tB\r\n\tAutore:\t\t\r\n\tEditore:\t\r\n"
        "\tRegistrazione:\t\r\n\r\n";
    EXPECT_EQ(Save(Table, SaveFormat::TextCp1252), cp1252);

    std::string utf8 = cp1252;
    utf8.replace(utf8.find('\xE0'), 1, "\xC3\xA0");
    utf8.replace(utf8.find('\x80'), 1, "\xE2\x82\xAC");
    EXPECT_EQ(Save(Table, SaveFormat::TextUtf8), utf8);

    EXPECT_EQ(Save(Table, SaveFormat::CsvUtf8),
              "Titolo,Sottotitolo,Genere,Autore,Editore,Anno di edizione,Pagine,Numero cassette,"
              "Numero CD-ROM,Durata (minuti),Tipo registrazione,Data incisione,Codice in catalogo,"
              "Codice interno,Descrizione\r\n"
              "\"Citt\xC3\xA0 \"\"nuova\"\", vecchia\",\"'=HYPERLINK(\"\"x\"\")\",Narrativa,Verga,"
              "Treves,1881,,2,,90,Professionale,03/02/2001,NA-0003,103,\"Riga uno\r\nRiga "
              "\xE2\x82\xAC\"\r\n"
              "'-1,,,,,,,,,,,,B,7,\r\n");
}

TEST(CsvField, QuotingAndFormulaGuard) {
    EXPECT_EQ(CsvField("semplice"), "semplice");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(CsvField("a\nb"), "\"a\nb\"");
    EXPECT_EQ(CsvField("+39 02"), "'+39 02");
    EXPECT_EQ(CsvField("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(CsvField("=1,2"), "\"'=1,2\"");
    EXPECT_EQ(CsvField("a=b"), "a=b");
}

TEST(SaveFormatChoice, RememberedInTheUsersKey) {
    MemoryRegistry registry;
    EXPECT_EQ(ReadSaveFormatChoice(SaveFormatCount, registry), 0u);
    EXPECT_TRUE(WriteSaveFormatChoice(2, registry));
    EXPECT_EQ(ReadSaveFormatChoice(SaveFormatCount, registry), 2u);
    const auto& v = registry.KeyValues(RegRoot::CurrentUser, SettingsKey).at("FormatoSalvataggio");
    EXPECT_EQ(v.Type, RegType::Dword);
    EXPECT_EQ(v.Dword, 2u);
    // A value from another version or a hand edit: back to the first type.
    EXPECT_TRUE(WriteSaveFormatChoice(3, registry));
    EXPECT_EQ(ReadSaveFormatChoice(SaveFormatCount, registry), 0u);
    registry.KeyValues(RegRoot::CurrentUser, SettingsKey)["FormatoSalvataggio"] = {RegType::String,
                                                                                   "1", 0};
    EXPECT_EQ(ReadSaveFormatChoice(SaveFormatCount, registry), 0u);
    registry.FailWrites = true;
    EXPECT_FALSE(WriteSaveFormatChoice(1, registry));
}
