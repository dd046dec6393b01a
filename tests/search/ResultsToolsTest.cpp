// The tools around the results browser: the list of the works found, the request e-mail to a
// centre, the three save types and the help on F1, driven as a user would.

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <fstream>

#include "core/SaveFormats.h"
#include "platform/Text.h"
#include "search/UFormCentri.h"
#include "search/UFormElenco.h"
#include "search/UFormRicercaUtente.h"
#include "search/UFormRisultatiRicerca.h"
#include "tests/search/TableBuilder.h"
#include "tests/search/WindowFixture.h"
#include "tests/support/MainFormProbe.h"
#include "ui/UFormAttendere.h"
#include "ui/UFormGuida.h"
#include "ui/UFormImpostazioni.h"
#include "ui/UFormInput.h"

namespace {

const char* const Titles[] = {
    "Novelle rusticane", "I Malavoglia", "Mastro-don Gesualdo", "Eva", "Nedda", "Mastro"};

std::vector<std::string> WorkRow(int i) {
    const std::string n = std::to_string(i);
    Row r{{"Titolo", i <= 6 ? Titles[i - 1] : "Opera " + n},
          {"AutoreNome", "Giovanni Verga"},
          {"EditoreNome", "Treves"},
          {"ClasseNome", "Narrativa"},
          {"Cassette", "2"},
          {"nCD", "0"},
          {"Minuti", std::to_string(60 + i)},
          {"TipoRegistrazione", "Professionale"},
          {"CodOrigine", "NA-" + n},
          {"CatalogoId", std::to_string(100 + i)}};
    return Cells(WorkColumns(), r);
}

std::vector<std::vector<std::string>> WorkRows(int n) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= n; ++i) {
        rows.push_back(WorkRow(i));
    }
    return rows;
}

std::string ReadAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TFormElenco* ShownList() {
    return qobject_cast<TFormElenco*>(QApplication::activeModalWidget());
}

TFormGuida* ShownGuide() {
    return qobject_cast<TFormGuida*>(QApplication::activeModalWidget());
}

class ResultsTools : public ConnectedMainWindow {
protected:
    // Opens the list from the browser; inside it, `inside` acts (and must close it).
    void WithList(TFormRisultatiRicerca* b, std::function<void(TFormElenco*)> inside) {
        bool ran = false;
        When([] { return ShownList() != nullptr && ShownList()->isVisible(); },
             [&] {
                 ran = true;
                 inside(ShownList());
                 if (ShownList() != nullptr) {
                     ShownList()->reject(); // a failed check must not leave the test hanging
                 }
             });
        b->ButtonElenco->click();
        EXPECT_TRUE(ran);
    }

    static void Key(TFormElenco* list, Qt::Key key) { QTest::keyClick(list->GridOpere, key); }
};

} // namespace

TEST_F(ResultsTools, ListShowsEveryWorkAndEnterMovesTheBrowser) {
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(300));
    b->ButtonSuccessivo->click();
    b->ButtonSuccessivo->click();
    WithList(b, [&](TFormElenco* list) {
        EXPECT_EQ(W(list->windowTitle()), "Elenco delle opere trovate");
        QAbstractItemModel* m = list->GridOpere->model();
        ASSERT_EQ(m->rowCount(), 300);
        ASSERT_EQ(m->columnCount(), 5);
        std::vector<std::string> headings;
        for (int c = 0; c < 5; ++c) {
            headings.push_back(W(m->headerData(c, Qt::Horizontal).toString()));
        }
        EXPECT_EQ(headings,
                  (std::vector<std::string>{"Titolo", "Autore", "Genere", "Tipo", "Durata"}));
        EXPECT_EQ(W(m->index(1, 0).data().toString()), "I Malavoglia");
        EXPECT_EQ(W(m->index(1, 4).data().toString()), "62");
        EXPECT_EQ(W(m->index(1, 0).data(Qt::AccessibleTextRole).toString()),
                  "I Malavoglia, Giovanni Verga, Narrativa, Professionale, 62 minuti");
        // The browser's record is the one selected and current, and the list has the focus.
        EXPECT_EQ(list->CurrentRecord(), 3);
        EXPECT_TRUE(list->GridOpere->selectionModel()->isRowSelected(2, QModelIndex()));
        EXPECT_EQ(list->focusWidget(), list->GridOpere);

        Key(list, Qt::Key_Down);
        EXPECT_EQ(list->CurrentRecord(), 4);
        Key(list, Qt::Key_End);
        EXPECT_EQ(list->CurrentRecord(), 300);
        Key(list, Qt::Key_Home);
        EXPECT_EQ(list->CurrentRecord(), 1);
        Key(list, Qt::Key_PageDown);
        EXPECT_GT(list->CurrentRecord(), 1);
        Key(list, Qt::Key_Home);
        // Letters: "m" to the next title with m, again to the one after; "ne" to Nedda.
        QTest::keyClicks(list->GridOpere, "m");
        EXPECT_EQ(list->CurrentRecord(), 3);
        QTest::keyClicks(list->GridOpere, "m");
        EXPECT_EQ(list->CurrentRecord(), 6);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(list->GridOpere, "ne");
        EXPECT_EQ(list->CurrentRecord(), 5);
        Key(list, Qt::Key_Right);
        EXPECT_EQ(list->GridOpere->currentIndex().column(), 0);
        Key(list, Qt::Key_Return);
        EXPECT_FALSE(list->isVisible());
    });
    EXPECT_EQ(b->Record, 5);
    EXPECT_EQ(W(b->GroupBoxOpera->title()), "Opera numero 5");
    EXPECT_EQ(W(b->MemoOpera->toPlainText()).substr(0, 25), "Titolo dell'opera: Nedda\n");

    // "&Mostra" does the same; Escape and "&Chiudi" leave the browser where it was.
    WithList(b, [&](TFormElenco* list) {
        Key(list, Qt::Key_Up);
        list->ButtonMostra->click();
    });
    EXPECT_EQ(b->Record, 4);
    WithList(b, [&](TFormElenco* list) {
        Key(list, Qt::Key_Up);
        Key(list, Qt::Key_Escape);
        EXPECT_FALSE(list->isVisible());
    });
    EXPECT_EQ(b->Record, 4);
    WithList(b, [&](TFormElenco* list) {
        Key(list, Qt::Key_Down);
        list->ButtonChiudi->click();
    });
    EXPECT_EQ(b->Record, 4);
    EXPECT_TRUE(b->isVisible());
}

TEST_F(ResultsTools, ListOfAHundredThousandWorks) {
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(100000));
    b->ButtonUltimo->click();
    WithList(b, [&](TFormElenco* list) {
        EXPECT_EQ(list->GridOpere->model()->rowCount(), 100000);
        EXPECT_EQ(list->CurrentRecord(), 100000);
        EXPECT_EQ(W(list->GridOpere->model()->index(99999, 0).data().toString()), "Opera 100000");
        QTest::keyClicks(list->GridOpere, "o");
        EXPECT_EQ(list->CurrentRecord(), 7);
        Key(list, Qt::Key_End);
        Key(list, Qt::Key_Up);
        Key(list, Qt::Key_Return);
    });
    EXPECT_EQ(b->Record, 99999);
}

TEST_F(ResultsTools, RequestToACentreOnlyForTheWorkLookedUp) {
    std::vector<Pairs> reply = ScriptedServer::ResultSet(
        CentreColumns(), {{"Centro Milano", "", "", "", "", "", "", " milano@example.org "},
                          {"Centro strano", "", "", "", "", "", "", "a@b.it?body=x"}});
    OnQuery = [&](const Pairs&) { return reply; };
    std::vector<std::vector<std::string>> rows = WorkRows(2);
    rows[1][1] = "I Malavoglia";
    FillTable(*MainForm->Results, WorkColumns(), rows);
    TFormRisultatiRicerca* b = OpenBrowser(rows);
    b->ButtonSuccessivo->click();
    b->ButtonCentri->click();
    ASSERT_TRUE(WaitUntil([] { return FormCentri->isVisible(); }));
    FormCentri->ButtonEMail->click();
    ASSERT_EQ(desk.OpenedUrls.size(), 1u);
    EXPECT_EQ(desk.OpenedUrls[0],
              "mailto:milano@example.org?subject=Richiesta%20opera%3A%20I%20Malavoglia&body="
              "Buongiorno%2C%0D%0A%0D%0Avorrei%20ricevere%20in%20prestito%20l%27opera%20seguente."
              "%0D%0A%0D%0ATitolo%3A%20I%20Malavoglia%0D%0AAutore%3A%20Giovanni%20Verga%0D%0ATipo"
              "%20registrazione%3A%20Professionale%0D%0ACodice%20di%20riferimento%20in%20catalogo"
              "%3A%20NA-2%20%28codice%20interno%20102%29%0D%0A%0D%0AGrazie%20per%20l%27attenzione"
              "%2C%20cordiali%20saluti.%0D%0A");
    // An address that would add to the e-mail gets the blank e-mail, with its bytes encoded.
    FormCentri->ButtonSuccessivo->click();
    FormCentri->ButtonEMail->click();
    EXPECT_EQ(desk.OpenedUrls.back(), "mailto:a@b.it%3Fbody%3Dx");
    FormCentri->ButtonChiudi->click();
    ASSERT_TRUE(WaitUntil([&] { return b->isVisible(); }));
    b->ButtonChiudi->click();
    ASSERT_TRUE(WaitUntil([] { return MainForm->isVisible() && Idle; }));

    // From the list of all centres the e-mail stays blank.
    reply = ScriptedServer::ResultSet(
        CentreColumns(), {{"Centro Milano", "", "", "", "", "", "", "milano@example.org"}});
    MainForm->ButtonEMail->click();
    ASSERT_TRUE(WaitUntil([] { return FormCentri->isVisible(); }));
    FormCentri->ButtonEMail->click();
    EXPECT_EQ(desk.OpenedUrls.back(), "mailto:milano@example.org");
}

TEST_F(ResultsTools, ThreeSaveTypesAndTheRememberedChoice) {
    QTemporaryDir dir;
    std::vector<std::vector<std::string>> rows = WorkRows(2);
    rows[0][1] = "Citt\xE0";
    TFormRisultatiRicerca* b = OpenBrowser(rows);
    const QString txt = dir.filePath("a.txt"), utf = dir.filePath("b.txt"),
                  csv = dir.filePath("c.csv");
    const std::string second = "Nedda\r\n\tCodice:\t\tNA-2\r\n\tAutore:\t\tGiovanni Verga\r\n"
                               "\tEditore:\tTreves\r\n\tCassette:\t2\r\n\tDurara:\t\t62 minuti\r\n"
                               "\tRegistrazione:\tProfessionale\r\n\r\n";
    rows[1][1] = "Nedda";
    b->Table.Clear();
    FillTable(b->Table, WorkColumns(), rows);

    desk.SaveReplies = {txt.toStdString()};
    b->ButtonSalva->click();
    EXPECT_EQ(ReadAll(txt), "Citt\xE0\r\n\tCodice:\t\tNA-1\r\n\tAutore:\t\tGiovanni Verga\r\n"
                            "\tEditore:\tTreves\r\n\tCassette:\t2\r\n\tDurara:\t\t61 minuti\r\n"
                            "\tRegistrazione:\tProfessionale\r\n\r\n" +
                                second);
    // Nothing chosen, nothing written: the settings hold no type yet.
    EXPECT_EQ(registry.KeyValues(RegRoot::CurrentUser, SettingsKey).count("FormatoSalvataggio"),
              0u);

    desk.SaveReplies = {utf.toStdString()};
    desk.SaveTypeReplies = {2};
    b->ButtonSalva->click();
    EXPECT_EQ(ReadAll(utf), "Citt\xC3\xA0\r\n\tCodice:\t\tNA-1\r\n\tAutore:\t\tGiovanni Verga\r\n"
                            "\tEditore:\tTreves\r\n\tCassette:\t2\r\n\tDurara:\t\t61 minuti\r\n"
                            "\tRegistrazione:\tProfessionale\r\n\r\n" +
                                second);

    desk.SaveReplies = {csv.toStdString()};
    desk.SaveTypeReplies = {3};
    b->ButtonSalva->click();
    EXPECT_EQ(ReadAll(csv),
              "Titolo,Sottotitolo,Genere,Autore,Editore,Anno di edizione,Pagine,Numero cassette,"
              "Numero CD-ROM,Durata (minuti),Tipo registrazione,Data incisione,Codice in catalogo,"
              "Codice interno,Descrizione\r\n"
              "Citt\xC3\xA0,,Narrativa,Giovanni Verga,Treves,,,2,,61,Professionale,,NA-1,101,\r\n"
              "Nedda,,Narrativa,Giovanni Verga,Treves,,,2,,62,Professionale,,NA-2,102,\r\n");

    // The dialogs offered the type chosen the time before, with its extension.
    ASSERT_EQ(desk.SaveOptions.size(), 3u);
    EXPECT_EQ(desk.SaveOptions[1].FilterIndex, 1);
    EXPECT_EQ(desk.SaveOptions[2].FilterIndex, 2);
    EXPECT_EQ(desk.SaveOptions[2].DefaultExt, "txt");
    desk.SaveReplies = {std::nullopt};
    b->ButtonSalva->click();
    EXPECT_EQ(desk.SaveOptions[3].FilterIndex, 3);
    EXPECT_EQ(desk.SaveOptions[3].DefaultExt, "csv");
    EXPECT_EQ(registry.KeyValues(RegRoot::CurrentUser, SettingsKey)["FormatoSalvataggio"].Dword,
              2u);
    EXPECT_EQ(desk.Texts(),
              (std::vector<std::string>{"File salvato.", "File salvato.", "File salvato."}));
}

TEST_F(ResultsTools, F1OpensTheGuideAtTheWindowsSection) {
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(3));
    TFormImpostazioni settings(MainForm);
    TFormInput input(b);
    TFormElenco list(b, b->Table);
    const std::vector<std::pair<QWidget*, QString>> windows = {
        {MainForm, "principale"},  {FormRicercaUtente, "ricerca"}, {b, "risultati"},
        {&list, "elenco"},         {FormCentri, "centri"},         {&settings, "impostazioni"},
        {FormAttendere, "attesa"}, {&input, "immissione"}};
    for (const auto& [window, section] : windows) {
        window->show();
        QApplication::setActiveWindow(window);
        QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
        QString shown, heading;
        bool wasVisible = false;
        When([] { return ShownGuide() != nullptr && ShownGuide()->isVisible(); },
             [&] {
                 TFormGuida* g = ShownGuide();
                 wasVisible = true;
                 shown = g->CurrentSection();
                 heading = g->MemoGuida->textCursor().block().text();
                 EXPECT_EQ(W(g->windowTitle()), "Guida di Dravel");
                 EXPECT_TRUE(g->MemoGuida->isReadOnly());
                 // F1 in the guide itself opens no second guide.
                 QTest::keyClick(g->MemoGuida, Qt::Key_F1);
                 EXPECT_EQ(ShownGuide(), g);
                 QTest::keyClick(g->MemoGuida, Qt::Key_Escape);
             });
        QTest::keyClick(target, Qt::Key_F1);
        EXPECT_TRUE(wasVisible) << section.toStdString();
        EXPECT_EQ(shown, section);
        EXPECT_FALSE(heading.isEmpty()) << section.toStdString();
        EXPECT_EQ(ShownGuide(), nullptr);
        window->hide();
    }
    // Every section has its page, and each page begins with its heading.
    TFormGuida guide(nullptr);
    for (const QString& section : TFormGuida::Sections()) {
        guide.GoToSection(section);
        EXPECT_EQ(guide.CurrentSection(), section);
        EXPECT_EQ(guide.MemoGuida->textCursor().block().blockFormat().headingLevel(), 1)
            << section.toStdString();
    }
}
