// The list of works found and the jump to a title by its first letters.

#include <gtest/gtest.h>

#include "core/CMatrix.h"
#include "core/OrvoError.h"
#include "core/WorkList.h"
#include "tests/search/TableBuilder.h"

namespace {

Row Work(const std::string& titolo, const std::string& cassette, const std::string& cd,
         const std::string& minuti) {
    return {{"Titolo", titolo},        {"AutoreNome", "Giovanni Verga"},
            {"ClasseNome", "Romanzo"}, {"TipoRegistrazione", " Professionale "},
            {"Cassette", cassette},    {"nCD", cd},
            {"Minuti", minuti}};
}

class WorkListTest : public testing::Test {
protected:
    void SetUp() override {
        FillRows(Table, WorkColumns(),
                 {Work("I Malavoglia", "12", "0", "540"),
                  Work("  mastro-don Gesualdo", "0", "1", "0"), Work("Novelle", "0", "0", "300"),
                  Work("\xC8 tardi", "1", "", " 60 "), Work("Mastro", "1", "", "")});
    }
    CMatrix Table;
};

} // namespace

TEST_F(WorkListTest, ColumnsShowWhatTheRecordTextShows) {
    WorkList list(Table);
    ASSERT_EQ(list.RowCount(), 5);
    EXPECT_STREQ(WorkList::Heading(0), "Titolo");
    EXPECT_STREQ(WorkList::Heading(4), "Durata");
    EXPECT_EQ(list.Cell(1, 0), "I Malavoglia");
    EXPECT_EQ(list.Cell(1, 1), "Giovanni Verga");
    EXPECT_EQ(list.Cell(1, 2), "Romanzo");
    EXPECT_EQ(list.Cell(1, 3), "Professionale");
    EXPECT_EQ(list.Cell(1, 4), "540");
    // On CD-ROM without a duration; on neither support: no duration at all.
    EXPECT_EQ(list.Cell(2, 4), "Non disponibile");
    EXPECT_EQ(list.Cell(3, 4), "");
    EXPECT_EQ(list.Cell(4, 4), "60");
    EXPECT_EQ(list.Cell(0, 0), "");
    EXPECT_EQ(list.Cell(6, 0), "");

    EXPECT_EQ(list.RowText(1), "I Malavoglia, Giovanni Verga, Romanzo, Professionale, 540 minuti");
    EXPECT_EQ(list.RowText(2),
              "mastro-don Gesualdo, Giovanni Verga, Romanzo, Professionale, Non disponibile");
    EXPECT_EQ(list.RowText(3), "Novelle, Giovanni Verga, Romanzo, Professionale");
}

TEST_F(WorkListTest, MissingColumnIsReported) {
    CMatrix partial;
    FillTable(partial, {"Titolo", "AutoreNome"}, {{"a", "b"}});
    EXPECT_THROW(WorkList{partial}, EOrvoError);
}

TEST_F(WorkListTest, FindTitleWrapsAndIgnoresCaseAndBlanks) {
    WorkList list(Table);
    EXPECT_EQ(list.FindTitle("m", 1), 2);
    EXPECT_EQ(list.FindTitle("M", 3), 5);
    EXPECT_EQ(list.FindTitle("ma", 6), 2);
    EXPECT_EQ(list.FindTitle("i m", 2), 1);
    EXPECT_EQ(list.FindTitle("\xE8", 1), 4); // è finds È
    EXPECT_EQ(list.FindTitle("x", 1), 0);
    EXPECT_EQ(list.FindTitle("", 1), 0);
}

TEST_F(WorkListTest, TypedLettersMakeOnePrefixOrWalkOneLetter) {
    WorkList list(Table);
    TypeAhead t;
    // From row 1: "m" goes to the next m title, "ma" stays on it, "mas" too.
    EXPECT_EQ(t.Type(list, 'm', 1, false), 2);
    EXPECT_EQ(t.Type(list, 'a', 2, true), 2);
    EXPECT_EQ(t.Type(list, 's', 2, true), 2);
    EXPECT_EQ(t.Typed(), "mas");
    EXPECT_EQ(t.Type(list, 'z', 2, true), 0);
    // A pause starts again; the same letter repeated walks the m titles round.
    EXPECT_EQ(t.Type(list, 'm', 2, false), 5);
    EXPECT_EQ(t.Type(list, 'm', 5, true), 2);
    EXPECT_EQ(t.Typed(), "m");
    EXPECT_EQ(t.Type(list, 'n', 5, false), 3);
}
