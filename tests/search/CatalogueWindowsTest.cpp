// The catalogue windows driven as a user would, against a scripted catalogue server.

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "core/CatalogueQuery.h"
#include "core/ResultsExport.h"
#include "platform/Text.h"
#include "search/UFormCentri.h"
#include "search/UFormRicercaUtente.h"
#include "search/UFormRisultatiRicerca.h"
#include "tests/search/TableBuilder.h"
#include "tests/search/WindowFixture.h"
#include "tests/support/MainFormProbe.h"
#include "tests/support/WindowEvents.h"
#include "ui/UFormAttendere.h"
#include "ui/UFormInput.h"

namespace {

std::vector<std::string> WorkRow(int i, const std::string& description = "") {
    Row r{{"OperaId", std::to_string(i)},
          {"Titolo", "Opera " + std::to_string(i)},
          {"AutoreNome", "Autore"},
          {"EditoreNome", "Editore"},
          {"ClasseNome", "Narrativa"},
          {"Edizione", "1990"},
          {"Pagine", "100"},
          {"Cassette", "2"},
          {"nCD", "0"},
          {"Minuti", "90"},
          {"TipoRegistrazione", "Professionale"},
          {"DataIncisione", "020010203"},
          {"CodOrigine", "C-" + std::to_string(i) + " "},
          {"CatalogoId", std::to_string(100 + i)},
          {"Descrizione", description}};
    return Cells(WorkColumns(), r);
}

std::vector<std::vector<std::string>> WorkRows(int n, const std::string& description = "") {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= n; ++i) {
        rows.push_back(WorkRow(i, description));
    }
    return rows;
}

std::string Text(const QWidget* w) {
    if (auto* memo = qobject_cast<const QPlainTextEdit*>(w)) {
        return W(memo->toPlainText());
    }
    return W(w->windowTitle());
}

bool IsFrom(const Pairs& query, const std::string& from) {
    return PairValue(query, "FROM") == from;
}

class CatalogueWindows : public ConnectedMainWindow {
protected:
    // Fills in the search dialog when it shows and confirms it; the search then runs.
    void Search(const std::string& title) {
        When([] { return FormRicercaUtente->isVisible(); },
             [title] {
                 FormRicercaUtente->EditTitolo->setText(Q(title));
                 FormRicercaUtente->ButtonProcedi->click();
             });
        MainForm->ButtonAutore->click();
    }

    std::vector<Pairs> Genres() const {
        return ScriptedServer::ResultSet({"ClasseNome"}, {{"Teatro"}, {"Narrativa"}, {"Poesia"}});
    }
};

} // namespace

TEST_F(CatalogueWindows, SearchFromTheDialogToTheBrowser) {
    OnQuery = [this](const Pairs& q) {
        return IsFrom(q, "Classi") ? Genres()
                                   : ScriptedServer::ResultSet(WorkColumns(), WorkRows(3));
    };
    std::vector<std::string> genreItems, yearItems;
    bool refusedStaysOpen = false;
    When([] { return FormRicercaUtente->isVisible(); },
         [&] {
             for (int i = 0; i < FormRicercaUtente->CBGeneri->count(); ++i) {
                 genreItems.push_back(W(FormRicercaUtente->CBGeneri->itemText(i)));
             }
             for (int i = 0; i < 3; ++i) {
                 yearItems.push_back(W(FormRicercaUtente->CBAnno->itemText(i)));
             }
             FormRicercaUtente->EditTitolo->setText("a*");
             FormRicercaUtente->ButtonProcedi->click();
             refusedStaysOpen = FormRicercaUtente->isVisible();
             FormRicercaUtente->EditTitolo->setText(Q("  l'isola \t"));
             FormRicercaUtente->ButtonProcedi->click();
         });
    MainForm->ButtonAutore->click();

    EXPECT_EQ(genreItems, (std::vector<std::string>{"", "Narrativa", "Poesia", "Teatro"}));
    EXPECT_EQ(yearItems, (std::vector<std::string>{"", "2026", "2025"}));
    EXPECT_TRUE(refusedStaysOpen);
    ASSERT_GE(desk.Boxes.size(), 1u);
    EXPECT_EQ(desk.Boxes[0].Text, "Parametri di ricerca insufficienti");
    EXPECT_EQ(desk.Boxes[0].Title, "Errore");
    EXPECT_EQ(W(FormRicercaUtente->EditTitolo->text()), "l'isola");

    ASSERT_TRUE(WaitUntil([this] {
        return MainForm->CurrentResults != nullptr && MainForm->CurrentResults->isVisible();
    }));
    ASSERT_EQ(Queries.size(), 2u);
    EXPECT_EQ(PairValue(Queries[0], "SELECT"), "ClasseNome");
    EXPECT_EQ(PairValue(Queries[0], "WHERE"), "");
    SearchEntries typed;
    typed.Title = "l'isola";
    EXPECT_EQ(LastWhere(), WorksQuery(EvaluateCriteria(typed).Criteria).Where);
    EXPECT_NE(LastWhere().find("LIKE '*l''isola*'"), std::string::npos);

    TFormRisultatiRicerca* browser = MainForm->CurrentResults;
    EXPECT_EQ(Text(browser), "Corrispondenze trovate: 3");
    EXPECT_EQ(browser->Record, 1);
    EXPECT_EQ(W(browser->GroupBoxOpera->title()), "Opera numero 1");
    EXPECT_EQ(Text(browser->MemoOpera).rfind("Titolo dell'opera: Opera 1\n", 0), 0u);
    EXPECT_EQ(browser->focusWidget(), browser->MemoOpera);
    EXPECT_EQ(MainForm->Results->RowCount(), 0);
    EXPECT_FALSE(MainForm->isVisible());

    browser->ButtonChiudi->click();
    EXPECT_TRUE(Idle);
    EXPECT_TRUE(MainForm->isVisible());
    ASSERT_TRUE(WaitUntil([this] { return MainForm->CurrentResults == nullptr; }));

    // The genres are cached: the next opening asks for nothing; cancelling sends nothing, also
    // with Enter on the focused "&Annulla".
    When([] { return FormRicercaUtente->isVisible(); },
         [] {
             FormRicercaUtente->EditTitolo->setText("promessi");
             QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
             QApplication::sendEvent(FormRicercaUtente->ButtonAnnulla, &enter);
         });
    MainForm->ButtonAutore->click();
    EXPECT_EQ(Queries.size(), 2u);
    EXPECT_TRUE(Idle);
    EXPECT_TRUE(MainForm->isVisible());
}

TEST_F(CatalogueWindows, GenreLoadingAndHandOffFailures) {
    // A catalogue without genres: only the empty item, and the genres are asked for at every
    // opening.
    OnQuery = [](const Pairs&) { return ScriptedServer::ResultSet({"ClasseNome"}, {}); };
    int genreItems = -1;
    for (int opening = 0; opening < 2; ++opening) {
        When([] { return FormRicercaUtente->isVisible(); },
             [&] {
                 genreItems = FormRicercaUtente->CBGeneri->count();
                 FormRicercaUtente->ButtonAnnulla->click();
             });
        MainForm->ButtonAutore->click();
    }
    EXPECT_EQ(genreItems, 1);
    EXPECT_EQ(Queries.size(), 2u);

    // The genres cannot be had: the dialog stays closed and the main window comes back.
    OnQuery = [](const Pairs&) {
        return std::vector<Pairs>{{{"OPERATION", "ERROR"}, {"MESSAGE", "no such table"}}};
    };
    MainForm->ButtonAutore->click();
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{
                                "Operazione fallita. Messaggio del server:\r\nno such table"});
    EXPECT_FALSE(FormRicercaUtente->isVisible());
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_TRUE(Idle);

    // With the genres cached, an earlier failed or cancelled query does not keep the dialog shut.
    GenreNames = {"Narrativa", "Poesia"};
    MainForm->QueryStatus = 11;
    bool shown = false;
    When([] { return FormRicercaUtente->isVisible(); },
         [&] {
             shown = true;
             FormRicercaUtente->ButtonAnnulla->click();
         });
    MainForm->ButtonAutore->click();
    EXPECT_TRUE(shown);

    // Nothing could be sent after the dialog closed: reported, and nobody waits for a reply.
    const size_t queries = Queries.size();
    When([] { return FormRicercaUtente->isVisible(); },
         [] {
             FormRicercaUtente->EditTitolo->setText("promessi");
             Terminating = true;
             FormRicercaUtente->ButtonProcedi->click();
         });
    MainForm->ButtonAutore->click();
    Terminating = false;
    EXPECT_EQ(desk.Last().Text, "Impossibile contattare il server.");
    EXPECT_FALSE(ReplyHandler);
    EXPECT_FALSE(FormAttendere->isVisible());
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_TRUE(Idle);
    EXPECT_EQ(Queries.size(), queries);
}

TEST_F(CatalogueWindows, QuarterAndYearStayCoupled) {
    GenreNames = {"Narrativa", "Poesia"};
    using namespace std::chrono;
    for (auto [today, yearForQuarter] :
         {std::pair{year{2026} / January / 10, 2}, std::pair{year{2026} / May / 10, 1}}) {
        desk.FixedToday = today;
        TFormRicercaUtente* d = FormRicercaUtente;
        d->ButtonPulisciClick();
        EXPECT_EQ(W(d->CBAnno->itemText(1)), "2026");
        d->CBTrimestre->setCurrentIndex(3);
        EXPECT_EQ(d->CBAnno->currentIndex(), yearForQuarter);
        d->CBTrimestre->setCurrentIndex(0);
        EXPECT_EQ(d->CBAnno->currentIndex(), 0);
        d->CBAnno->setCurrentIndex(5);
        EXPECT_EQ(d->CBTrimestre->currentIndex(), 1);
        d->CBTrimestre->setCurrentIndex(4); // a year is there: it stays
        EXPECT_EQ(d->CBAnno->currentIndex(), 5);
        d->CBAnno->setCurrentIndex(0);
        EXPECT_EQ(d->CBTrimestre->currentIndex(), 0);
    }
    EXPECT_TRUE(Queries.empty());
}

TEST_F(CatalogueWindows, SearchReplyOutcomes) {
    auto lastReply = [](const Pairs& pairs) { TMainFormProbe(MainForm).SetLastReply(pairs); };
    auto finish = [](bool interrupted, bool failed) {
        Idle = false;
        MainForm->hide();
        TMainFormProbe(MainForm).SearchDone(interrupted, failed);
        EXPECT_TRUE(Idle);
        EXPECT_TRUE(MainForm->isVisible());
        EXPECT_EQ(MainForm->CurrentResults, nullptr);
    };
    lastReply({{"OPERATION", "BUSY"}});
    finish(true, true);
    lastReply({{"OPERATION", "ERROR"}, {"MESSAGE", "near \"x\": syntax error"}});
    finish(true, true);
    lastReply({{"OPERATION", "QUERYITEM"}, {"DONE", "TRUE"}});
    finish(false, false);
    EXPECT_EQ(desk.Texts(),
              (std::vector<std::string>{"Il server \xE8 occupato. Riprovare in seguito",
                                        "Errore sul server.", "Nessuna corrispondenza trovata."}));
    for (const auto& box : desk.Boxes) {
        EXPECT_EQ(box.Title, "Errore");
        EXPECT_EQ(box.Icon, MsgIcon::Error);
    }
    lastReply({{"OPERATION", "ABORTOK"}});
    finish(true, false); // cancelled before any row: no message
    EXPECT_EQ(desk.Boxes.size(), 3u);
}

TEST_F(CatalogueWindows, CancelledSearchKeepsTheRowsReceived) {
    OnQuery = [this](const Pairs& q) {
        if (IsFrom(q, "Classi")) {
            return Genres();
        }
        std::vector<Pairs> set = ScriptedServer::ResultSet(WorkColumns(), WorkRows(4), 2);
        set.resize(2); // the columns and the first batch; then the server keeps quiet
        return set;
    };
    Search("promessi");
    ASSERT_TRUE(WaitUntil([] { return FormAttendere->Text() == "Record ricevuti: 2"; }));
    FormAttendere->ButtonAnnulla->click();
    ASSERT_TRUE(WaitUntil([this] { return MainForm->CurrentResults != nullptr; }));
    EXPECT_EQ(Text(MainForm->CurrentResults), "Trasferimento interrotto - Record ricevuti: 2");
    EXPECT_EQ(server.Ops().back(), "RECEIVED");
    EXPECT_FALSE(FormAttendere->isVisible());
}

TEST_F(CatalogueWindows, BrowserNavigationBeepsAndGoTo) {
    SessionSettings.BlindFriendly = true;
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(3));
    ASSERT_NE(b, nullptr);
    int beeps = desk.Beeps;
    b->ButtonPrecedente->click();
    EXPECT_EQ(b->Record, 1);
    EXPECT_EQ(desk.Beeps, beeps + 1);
    b->ButtonUltimo->click();
    EXPECT_EQ(W(b->GroupBoxOpera->title()), "Opera numero 3");
    b->ButtonSuccessivo->click();
    EXPECT_EQ(b->Record, 3);
    EXPECT_EQ(desk.Beeps, beeps + 2);
    b->ButtonPrimo->click();
    b->ButtonSuccessivo->click();
    EXPECT_EQ(b->Record, 2);
    EXPECT_EQ(desk.Beeps, beeps + 2);
    // Enter presses the button it is typed on, and nothing from the record text.
    QKeyEvent enterInMemo(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(b->MemoOpera, &enterInMemo);
    EXPECT_EQ(b->Record, 2);
    QKeyEvent enterOnButton(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(b->ButtonSuccessivo, &enterOnButton);
    EXPECT_EQ(b->Record, 3);

    // Blind-friendly: the prompt is a window of the program's own.
    std::string promptCaption;
    When([] { return qobject_cast<TFormInput*>(QApplication::activeModalWidget()) != nullptr; },
         [&] {
             auto* input = qobject_cast<TFormInput*>(QApplication::activeModalWidget());
             promptCaption = W(input->windowTitle()) + "|" + W(input->LabelTitle->text());
             input->Text->setText(" 3 ");
             input->ButtonOk->click();
         });
    b->ButtonVaiAl->click();
    EXPECT_EQ(promptCaption,
              "Immissione parametro|Immettere il numero del record sul quale posizionarsi:");
    EXPECT_EQ(b->Record, 3);
    EXPECT_TRUE(desk.Inputs.empty());

    // Otherwise the desktop's input box.
    SessionSettings.BlindFriendly = false;
    desk.InputReplies = {"abc", "0", "-3", "4", "", "2"};
    for (int i = 0; i < 6; ++i) {
        b->ButtonVaiAl->click();
    }
    EXPECT_EQ(desk.Texts(),
              (std::vector<std::string>{"Il valore immesso non \xE8 un numero valido.",
                                        "Valore oltre i limiti.", "Valore oltre i limiti.",
                                        "Valore oltre i limiti."}));
    EXPECT_EQ(b->Record, 2);
    EXPECT_EQ(W(b->GroupBoxOpera->title()), "Opera numero 2");
    EXPECT_EQ(desk.Inputs.back(),
              "Immissione parametro|Immettere il numero del record sul quale posizionarsi:");

    // Escape in the record text closes the browser.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(b->MemoOpera, &escape);
    EXPECT_FALSE(b->isVisible());
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_TRUE(Idle);
}

TEST_F(CatalogueWindows, CentresOfTheWorkShown) {
    const std::vector<std::string> centreColumns = CentreColumns();
    std::vector<Pairs> reply = ScriptedServer::ResultSet(
        centreColumns,
        {{"Centro Nord", "Corso Po 3", "Torino", "10100", "TO", "011", "", ""},
         {"Centro Sud", "Via Toledo 1", "Napoli", "", "", "", "", "sud@example.org"}});
    OnQuery = [&](const Pairs&) { return reply; };
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(2));
    b->ButtonSuccessivo->click();
    b->ButtonCentri->click();
    ASSERT_TRUE(WaitUntil([] { return FormCentri->isVisible(); }));
    EXPECT_EQ(LastWhere(), "(Catalogo.CatalogoId = 102) AND (Catalogo.CatalogoId = "
                           "Presenza.CatalogoId) AND (Provenienza.ProvenienzaId = "
                           "Presenza.ProvenienzaId)");
    EXPECT_EQ(PairValue(Queries.back(), "ORDERBY"), "Provenienza.RagioneSociale");
    EXPECT_EQ(Text(FormCentri), "Centri trovati: 2 (opera codice C-2 )");
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(W(FormCentri->GroupBox->title()), "1 - Centro Nord");
    EXPECT_EQ(Text(FormCentri->MemoCentro),
              "Centro Nord\nVia: Corso Po 3 - 10100 Torino (TO)\nTelefono: 011");
    EXPECT_FALSE(FormCentri->ButtonEMail->isEnabled());
    FormCentri->ButtonSuccessivo->click();
    EXPECT_TRUE(FormCentri->ButtonEMail->isEnabled());
    FormCentri->ButtonEMail->click();
    ASSERT_EQ(desk.OpenedUrls.size(), 1u);
    EXPECT_EQ(desk.OpenedUrls[0].substr(0, 68),
              "mailto:sud@example.org?subject=Richiesta%20opera%3A%20Opera%202&body");
    FormCentri->ButtonChiudi->click();
    EXPECT_FALSE(FormCentri->isVisible());
    EXPECT_TRUE(b->isVisible());
    EXPECT_FALSE(Idle);

    // No centre holds the work; then the server is busy. The browser comes back each time.
    reply = ScriptedServer::ResultSet(centreColumns, {});
    b->ButtonCentri->click();
    ASSERT_TRUE(WaitUntil([&] { return b->isVisible(); }));
    reply = {{{"OPERATION", "BUSY"}}};
    b->ButtonCentri->click();
    ASSERT_TRUE(WaitUntil([&] { return desk.Boxes.size() == 2 && b->isVisible(); }));
    EXPECT_EQ(desk.Texts(), (std::vector<std::string>{
                                "Nessuna corrispondenza trovata.\r\nForse l'opera non \xE8 stata "
                                "ancora registrata.",
                                "Il server \xE8 occupato. Riprovare in seguito"}));
    EXPECT_EQ(b->Record, 2);
}

TEST_F(CatalogueWindows, BrowserFailuresLeaveAWindowToWorkIn) {
    // A lookup that cannot go out (the connection went as it started): the browser is back on
    // its record, nobody waits for a reply, and nothing was sent.
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(2));
    b->ButtonSuccessivo->click();
    QTcpSocket* const socket = ActiveSocket;
    const QMetaObject::Connection lost = QObject::connect(
        FormAttendere, &QWidget::windowTitleChanged, [] { ActiveSocket = nullptr; });
    b->ButtonCentri->click();
    QObject::disconnect(lost);
    ActiveSocket = socket;
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Impossibile contattare il server."});
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(b->Record, 2);
    EXPECT_FALSE(FormAttendere->isVisible());
    EXPECT_FALSE(ReplyHandler);
    EXPECT_TRUE(Queries.empty());
    b->ButtonChiudi->click();

    // Rows the record text cannot be made of: the browser closes and the main window is back.
    desk.Boxes.clear();
    FillTable(*MainForm->Results, {"Titolo"}, {{"Senza le altre colonne"}});
    Idle = false;
    MainForm->hide();
    TMainFormProbe(MainForm).SearchDone(false, false);
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Errore interno imprevisto."});
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_TRUE(Idle);
    EXPECT_TRUE(WaitUntil([] { return MainForm->CurrentResults == nullptr; }));
}

TEST_F(CatalogueWindows, ListOfAllCentresIsFetchedOnce) {
    OnQuery = [](const Pairs&) {
        return ScriptedServer::ResultSet(
            {"ProvenienzaId", "RagioneSociale", "Indirizzo", "Localita", "CAP", "Provincia",
             "Telefono", "FAX", "EMail", "CentroOrvo"},
            {{"2", "Centro A", "Via A", "", "", "MI", "", "", "", "1"},
             {"3", "Centro B", "", "Bari", "70100", "BA", "", "080", "b@example.org", "1"}});
    };
    for (int round = 0; round < 2; ++round) {
        MainForm->ButtonEMail->click();
        ASSERT_TRUE(FormCentri->isVisible());
        EXPECT_EQ(Text(FormCentri), "Elenco centri di distribuzione del Orvo");
        EXPECT_EQ(Text(FormCentri->MemoCentro), "Centro A\nVia: Via A(prov. MI)");
        EXPECT_FALSE(MainForm->isVisible());
        FormCentri->ButtonUltimo->click();
        EXPECT_EQ(Text(FormCentri->MemoCentro), "Centro B\nFAX: 080\nEMail: b@example.org");
        FormCentri->ButtonChiudi->click();
        EXPECT_TRUE(MainForm->isVisible());
        EXPECT_TRUE(Idle);
        // A hidden window keeps no iconic state: X11 window managers would map it iconified
        // at its next showing, where a keyboard user cannot reach it.
        EXPECT_FALSE(FormCentri->windowState() & Qt::WindowMinimized);
        EXPECT_FALSE(MainForm->windowState() & Qt::WindowMinimized);
    }
    ASSERT_EQ(Queries.size(), 1u);
    EXPECT_EQ(PairValue(Queries[0], "SELECT"), "*");
    EXPECT_EQ(LastWhere(), "(CentroOrvo <> false) AND (ProvenienzaId<>1)");
    EXPECT_EQ(CentresCache->RowCount(), 2);

    // An empty list stays cached and is refused every time.
    CentresCache.reset();
    OnQuery = [](const Pairs&) { return ScriptedServer::ResultSet({"RagioneSociale"}, {}); };
    MainForm->ButtonEMail->click();
    MainForm->ButtonEMail->click();
    EXPECT_EQ(Queries.size(), 2u);
    EXPECT_EQ(desk.Texts(), (std::vector<std::string>{"Impossibile elencare i centri",
                                                      "Impossibile elencare i centri"}));
    EXPECT_EQ(desk.Last().Title, "Errore imprevisto");
    EXPECT_TRUE(MainForm->isVisible());
}

namespace {

std::string ReadAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ExpectedExport(const CMatrix& table, int rows) {
    WorksExportColumns columns(table);
    std::string out;
    for (int r = 1; r <= rows; ++r) {
        AppendWorkBlock(out, table, columns, r);
    }
    return out;
}

} // namespace

TEST_F(CatalogueWindows, ExportProgressCancelAndWriteErrors) {
    QTemporaryDir dir;
    const QString path = dir.filePath("risultati.txt");
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(2100, "Riga uno\r\nRiga due"));
    std::vector<std::string> progress;
    QObject::connect(FormAttendere, &QWidget::windowTitleChanged, [&](const QString& t) {
        if (t.startsWith("Record ")) {
            progress.push_back(W(t));
        }
    });

    desk.SaveReplies = {std::nullopt, std::string("  "), path.toStdString()};
    b->ButtonSalva->click();
    b->ButtonSalva->click();
    EXPECT_TRUE(desk.Boxes.empty());
    EXPECT_FALSE(QFile::exists(path));
    b->ButtonSalva->click();
    ASSERT_EQ(desk.SaveOptions.size(), 3u);
    EXPECT_EQ(desk.SaveOptions[0].DefaultExt, "txt");
    EXPECT_EQ(desk.SaveOptions[0].Filter, "Testo Windows-1252 (*.txt)|*.txt|Testo UTF-8 "
                                          "(*.txt)|*.txt|Tabella CSV UTF-8 (*.csv)|*.csv");
    EXPECT_EQ(desk.SaveOptions[0].FilterIndex, 1);
    EXPECT_EQ(progress, (std::vector<std::string>{"Record 1024", "Record 2048"}));
    ASSERT_EQ(desk.Boxes.size(), 1u);
    EXPECT_EQ(desk.Last().Text, "File salvato.");
    EXPECT_EQ(desk.Last().Title, "Operazione completata");
    EXPECT_EQ(desk.Last().Icon, MsgIcon::Information);
    const std::string whole = ReadAll(path);
    EXPECT_EQ(whole, ExpectedExport(b->Table, 2100));
    EXPECT_EQ(whole.substr(0, 40), "Opera 1\r\n\tCodice:\t\tC-1 \r\n\tAutore:\t\tAutor");
    EXPECT_FALSE(FormAttendere->isVisible());

    // "&Annulla" at the first progress point: the file keeps the first 1024 records whole.
    QMetaObject::Connection cancel =
        QObject::connect(FormAttendere, &QWidget::windowTitleChanged, [](const QString& t) {
            if (t == "Record 1024") {
                QTimer::singleShot(0, FormAttendere->ButtonAnnulla, &QPushButton::click);
            }
        });
    desk.SaveReplies = {path.toStdString()};
    b->ButtonSalva->click();
    QObject::disconnect(cancel);
    EXPECT_EQ(desk.Last().Text, "Operazione annullata.");
    EXPECT_EQ(desk.Last().Title, "Attenzione");
    EXPECT_EQ(ReadAll(path), ExpectedExport(b->Table, 1024));

    // A full disk: the error is reported and the browser goes on working.
    desk.SaveReplies = {std::string("/dev/full")};
    b->ButtonSalva->click();
    EXPECT_EQ(desk.Last().Text, "Errore nella scrittura del file");
    EXPECT_EQ(desk.Last().Title, "Errore");
    EXPECT_FALSE(FormAttendere->isVisible());
    EXPECT_TRUE(b->isVisible());
    EXPECT_TRUE(b->isEnabled());
    EXPECT_EQ(b->focusWidget(), b->MemoOpera);
    b->ButtonSuccessivo->click();
    EXPECT_EQ(b->Record, 2);
    desk.SaveReplies = {dir.filePath("no/such/folder.txt").toStdString()};
    b->ButtonSalva->click();
    EXPECT_EQ(desk.Last().Text, "Errore nella scrittura del file");
}

TEST_F(CatalogueWindows, MemoryRecoveryRebuildsTheCentresWindow) {
    // A reply routine is registered: refused, and the flag is cleared.
    MemoryRecoveryPending = true;
    ReplyHandler.Set(MainForm, [](bool, bool) {});
    QPointer<TFormCentri> before = FormCentri;
    TMainFormProbe(MainForm).RecoverMemory();
    EXPECT_EQ(desk.Texts(), std::vector<std::string>{"Errore interno imprevisto"});
    EXPECT_FALSE(MemoryRecoveryPending);
    EXPECT_EQ(FormCentri, before.data());
    ReplyHandler.Clear();

    // Heavy traffic: more than 262,144 bytes of replies.
    OnQuery = [this](const Pairs& q) {
        return IsFrom(q, "Classi") ? Genres()
                                   : ScriptedServer::ResultSet(
                                         WorkColumns(), WorkRows(300, std::string(1000, 'x')));
    };
    Search("promessi");
    ASSERT_TRUE(WaitUntil([this] { return MainForm->CurrentResults != nullptr; }));
    EXPECT_TRUE(MemoryRecoveryPending);
    MainForm->CurrentResults->ButtonChiudi->click();
    // The next time the main window is shown while idle.
    MainForm->hide();
    MainForm->show();
    EXPECT_FALSE(MemoryRecoveryPending);
    EXPECT_NE(FormCentri, before.data());
    ASSERT_TRUE(WaitUntil([&] { return before.isNull(); }));
    EXPECT_FALSE(FormAttendere->isVisible());
    EXPECT_TRUE(FormAttendere->ButtonAnnulla->isEnabled());
    EXPECT_TRUE(Idle);
    EXPECT_EQ(desk.Boxes.size(), 1u);

    // The new window works: the list of all centres opens in it.
    OnQuery = [](const Pairs&) {
        return ScriptedServer::ResultSet({"RagioneSociale", "Indirizzo", "Localita", "CAP",
                                          "Provincia", "Telefono", "FAX", "EMail"},
                                         {{"Centro A", "", "", "", "", "", "", ""}});
    };
    MainForm->ButtonEMail->click();
    EXPECT_TRUE(FormCentri->isVisible());
    EXPECT_EQ(Text(FormCentri->MemoCentro), "Centro A");
}

TEST_F(CatalogueWindows, EveryControlIsNamedForScreenReaders) {
    TFormRisultatiRicerca* browser = OpenBrowser(WorkRows(1));
    for (QWidget* window : std::vector<QWidget*>{FormCentri, FormRicercaUtente, browser}) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            // Parts of composite widgets (a list's line) are named through their owner.
            if (w->window() == window && w->focusPolicy() != Qt::NoFocus &&
                w->focusProxy() == nullptr) {
                EXPECT_FALSE(w->accessibleName().isEmpty())
                    << window->objectName().toStdString() << ": " << w->metaObject()->className();
            }
        }
    }
    // Each edit and list of the search dialog is announced with its caption.
    std::vector<QWidget*> fields{FormRicercaUtente->EditTitolo,
                                 FormRicercaUtente->EditAutoreNome,
                                 FormRicercaUtente->EditEditoreNome,
                                 FormRicercaUtente->CBGeneri,
                                 FormRicercaUtente->CBTipoRegistrazione,
                                 FormRicercaUtente->CBTrimestre,
                                 FormRicercaUtente->CBAnno};
    for (QWidget* field : fields) {
        bool hasBuddy = false;
        for (QLabel* label : FormRicercaUtente->findChildren<QLabel*>()) {
            hasBuddy = hasBuddy || label->buddy() == field;
        }
        EXPECT_TRUE(hasBuddy) << field->objectName().toStdString();
    }
    EXPECT_EQ(FormRicercaUtente->EditTitolo->maxLength(), 250);

    // Tab goes from the record text through the buttons in the order of their captions' list.
    auto tabOrder = [](QWidget* first) {
        std::vector<std::string> names;
        QWidget* w = first;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(w->window())) {
                names.push_back(W(w->accessibleName()));
            }
            w = w->nextInFocusChain();
        } while (w != first);
        return names;
    };
    EXPECT_EQ(tabOrder(browser->MemoOpera),
              (std::vector<std::string>{"Opera numero 1", "Primo", "Precedente", "Successivo",
                                        "Ultimo", "Vai al...", "Elenco", "Chiudi",
                                        "Dove trovare l'opera", "Salva ricerca"}));
    EXPECT_EQ(tabOrder(FormCentri->MemoCentro),
              (std::vector<std::string>{"Centro", "Primo", "Precedente", "Successivo", "Ultimo",
                                        "Vai al...", "Chiudi", "Scrivi a questo centro"}));
}

TEST_F(CatalogueWindows, TheMainWindowStaysHiddenFromTheDialogToTheBrowser) {
    OnQuery = [this](const Pairs& q) {
        return IsFrom(q, "Classi") ? Genres()
                                   : ScriptedServer::ResultSet(WorkColumns(), WorkRows(2));
    };
    auto* shows = new EventCounter(MainForm, QEvent::Show);
    Search("verne");
    ASSERT_TRUE(WaitUntil([] {
        return MainForm->CurrentResults != nullptr && MainForm->CurrentResults->isVisible();
    }));
    EXPECT_EQ(shows->Count, 0);
    EXPECT_FALSE(FormAttendere->isVisible());

    // Closing the browser gives the focus back to the command that opened it.
    MainForm->CurrentResults->ButtonChiudi->click();
    ASSERT_TRUE(MainForm->isVisible());
    ASSERT_TRUE(Activate(MainForm));
    EXPECT_EQ(QApplication::focusWidget(), MainForm->ButtonAutore);

    // A cancelled dialog brings the main window back, focused on its command too.
    MainForm->ButtonEMail->setFocus();
    When([] { return FormRicercaUtente->isVisible(); },
         [] { FormRicercaUtente->ButtonAnnulla->click(); });
    MainForm->ButtonAutore->click();
    EXPECT_EQ(shows->Count, 2);
    ASSERT_TRUE(Activate(MainForm));
    EXPECT_EQ(QApplication::focusWidget(), MainForm->ButtonAutore);
}

TEST_F(CatalogueWindows, ComboChoicesKeepTheirKeysAndAreSelectedForTheScreenReader) {
    OnQuery = [this](const Pairs&) { return Genres(); };
    struct Seen {
        std::string genre, selected, afterHome, afterEnd, afterLetter, afterLetterAgain;
        bool editable = false, readOnly = true;
    } seen;
    When([] { return FormRicercaUtente->isVisible(); },
         [&] {
             QComboBox* genres = FormRicercaUtente->CBGeneri;
             genres->setFocus();
             seen.editable = genres->isEditable();
             seen.readOnly = genres->lineEdit() != nullptr && genres->lineEdit()->isReadOnly();
             QTest::keyClick(genres, Qt::Key_Down);
             seen.genre = W(genres->currentText());
             seen.selected = W(genres->lineEdit()->selectedText());
             QTest::keyClick(genres, Qt::Key_End);
             seen.afterEnd = W(genres->currentText());
             QTest::keyClick(genres, Qt::Key_Home);
             seen.afterHome = W(genres->currentText());
             QTest::keyClick(genres, Qt::Key_P, Qt::NoModifier);
             seen.afterLetter = W(genres->currentText());
             QTest::keyClicks(genres, "n");
             seen.afterLetterAgain = W(genres->currentText());
             // Enter in a list still means "&Procedi".
             FormRicercaUtente->EditTitolo->setText("verne");
             QTest::keyClick(genres, Qt::Key_Return);
         });
    OnQuery = [this](const Pairs& q) {
        return IsFrom(q, "Classi") ? Genres() : ScriptedServer::ResultSet(WorkColumns(), {});
    };
    MainForm->ButtonAutore->click();
    EXPECT_TRUE(seen.editable);
    EXPECT_TRUE(seen.readOnly);
    EXPECT_EQ(seen.genre, "Narrativa");
    EXPECT_EQ(seen.selected, "Narrativa");
    EXPECT_EQ(seen.afterEnd, "Teatro");
    EXPECT_EQ(seen.afterHome, "");
    EXPECT_EQ(seen.afterLetter, "Poesia");
    EXPECT_EQ(seen.afterLetterAgain, "Narrativa");
    EXPECT_EQ(FormRicercaUtente->Criteria.Genre, "Narrativa");
    ASSERT_TRUE(WaitUntil([] { return MainForm->isVisible(); }));

    // Escape in a list cancels the dialog.
    bool cancelled = false;
    When([] { return FormRicercaUtente->isVisible(); },
         [] {
             FormRicercaUtente->CBAnno->setFocus();
             QTest::keyClick(FormRicercaUtente->CBAnno, Qt::Key_Escape);
         });
    MainForm->ButtonAutore->click();
    cancelled = !FormRicercaUtente->isVisible() && MainForm->isVisible();
    EXPECT_TRUE(cancelled);
}

TEST_F(CatalogueWindows, ARecordMoveHandsTheFocusToAFreshRecordText) {
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(3));
    ASSERT_TRUE(Activate(b));
    QPlainTextEdit* first = b->MemoOpera;
    EXPECT_EQ(QApplication::focusWidget(), first);
    b->ButtonSuccessivo->setFocus();
    b->ButtonSuccessivo->click();
    QPlainTextEdit* second = b->MemoOpera;
    EXPECT_NE(second, first);
    EXPECT_EQ(QApplication::focusWidget(), second);
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(W(second->accessibleName()), "Opera numero 2");
    EXPECT_EQ(Text(second).rfind("Titolo dell'opera: Opera 2\n", 0), 0u);
    b->ButtonSuccessivo->click();
    EXPECT_EQ(b->MemoOpera, first);
    EXPECT_EQ(QApplication::focusWidget(), first);
    EXPECT_EQ(W(first->accessibleName()), "Opera numero 3");
}

TEST_F(CatalogueWindows, TheCentresWindowGivesTheFocusBackToWhereToFind) {
    OnQuery = [&](const Pairs&) {
        return ScriptedServer::ResultSet(
            CentreColumns(), {{"Centro Nord", "Corso Po 3", "Torino", "10100", "TO", "", "", ""}});
    };
    TFormRisultatiRicerca* b = OpenBrowser(WorkRows(2));
    ASSERT_TRUE(Activate(b));
    b->ButtonCentri->click();
    ASSERT_TRUE(WaitUntil([] { return FormCentri->isVisible(); }));
    FormCentri->ButtonChiudi->click();
    ASSERT_TRUE(b->isVisible());
    ASSERT_TRUE(Activate(b));
    EXPECT_EQ(QApplication::focusWidget(), b->ButtonCentri);
}
