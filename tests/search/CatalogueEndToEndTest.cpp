// A user's session against a real orvo-server on the sample catalogue: search by title, browse,
// the centres of the work shown, writing to a centre, the list of all centres, saving.

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>

#include "platform/Text.h"
#include "search/UFormCentri.h"
#include "search/UFormRicercaUtente.h"
#include "search/UFormRisultatiRicerca.h"
#include "tests/search/WindowFixture.h"
#include "ui/UFormAttendere.h"

namespace {

std::string Memo(const QPlainTextEdit* memo) {
    return W(memo->toPlainText());
}

std::string ReadAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SampleCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        server.setProgram(ORVO_SERVER_PATH);
        server.setArguments({"--port", "0"});
        server.start();
        ASSERT_TRUE(server.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([this] { return server.canReadLine(); }, 10000));
        const QString line = QString::fromUtf8(server.readLine()).trimmed();
        ASSERT_TRUE(line.startsWith("listening on ")) << line.toStdString();
        const unsigned port = line.section(':', -1).toUInt();
        ASSERT_NE(port, 0u);
        ASSERT_TRUE(registry.Store(port));
        new TMainForm;
        ASSERT_TRUE(WaitUntil([] { return ActiveSocket != nullptr && Idle; }, 10000));
        MainForm->show();
    }

    void TearDown() override {
        ReplyHandler.Clear();
        delete MainForm;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        server.terminate();
        if (!server.waitForFinished(5000)) {
            server.kill();
            server.waitForFinished(5000);
        }
    }

    RecordingDesktop desk;
    TestSettings registry;
    QProcess server;
};

} // namespace

TEST_F(SampleCatalogue, SearchBrowseCentresWriteListAndSave) {
    When([] { return FormRicercaUtente->isVisible(); },
         [] {
             FormRicercaUtente->EditTitolo->setText("vita");
             FormRicercaUtente->ButtonProcedi->click();
         });
    MainForm->ButtonAutore->click();
    ASSERT_TRUE(WaitUntil([] { return MainForm->CurrentResults != nullptr; }, 10000));
    TFormRisultatiRicerca* b = MainForm->CurrentResults;
    ASSERT_TRUE(desk.Boxes.empty()) << desk.Last().Text;
    // "Una vita" is not available and is left out.
    EXPECT_EQ(W(b->windowTitle()), "Corrispondenze trovate: 2");
    EXPECT_EQ(Memo(b->MemoOpera),
              "Titolo dell'opera: Vita\n"
              "Sottotitolo: Scritta da esso\n"
              "Genere: Memorie e lettere\n"
              "Autore: Vittorio Alfieri\n"
              "Editore: Libreria Editrice Ferraguti\n"
              "Anno di Edizione: 1806\n"
              "Pagine: 400\n"
              "Numero cassette: 7\n"
              "Numero CD-ROM: 2\n"
              "Durata (minuti): 560\n"
              "Tipo registrazione: Amatoriale\n"
              "Data incisione: 14/03/2007\n"
              "Docide di riferimento in catalogo: ME-0051 (codice interno 151)\n"
              "\n"
              "Descrizione\n"
              "L'autobiografia del poeta astigiano.");
    b->ButtonSuccessivo->click();
    EXPECT_EQ(W(b->GroupBoxOpera->title()), "Opera numero 2");
    EXPECT_EQ(Memo(b->MemoOpera).substr(0, 32), "Titolo dell'opera: Vita nuova\nGe");
    b->ButtonPrecedente->click();

    b->ButtonCentri->click();
    ASSERT_TRUE(WaitUntil([] { return FormCentri->isVisible(); }, 10000));
    EXPECT_EQ(W(FormCentri->windowTitle()), "Centri trovati: 2 (opera codice ME-0051)");
    EXPECT_EQ(Memo(FormCentri->MemoCentro),
              "Associazione Lettori dell'Aquila\nVia: Via Fonte Nuova 2 - 67100 L'Aquila (AQ)\n"
              "Telefono: 0862 555002\nEMail: aquila@example.org");
    FormCentri->ButtonEMail->click();
    // Looked up for a work: the e-mail asks for it.
    EXPECT_EQ(desk.OpenedUrls,
              std::vector<std::string>{
                  "mailto:aquila@example.org?subject=Richiesta%20opera%3A%20Vita&body=Buongiorno"
                  "%2C%0D%0A%0D%0Avorrei%20ricevere%20in%20prestito%20l%27opera%20seguente.%0D%0A"
                  "%0D%0ATitolo%3A%20Vita%0D%0AAutore%3A%20Vittorio%20Alfieri%0D%0ATipo%20registr"
                  "azione%3A%20Amatoriale%0D%0ACodice%20di%20riferimento%20in%20catalogo%3A%20ME-"
                  "0051%20%28codice%20interno%20151%29%0D%0A%0D%0AGrazie%20per%20l%27attenzione%2C"
                  "%20cordiali%20saluti.%0D%0A"});
    FormCentri->ButtonSuccessivo->click();
    EXPECT_EQ(Memo(FormCentri->MemoCentro),
              "Punto di prestito di Forl\xEC\nVia: Viale della Memoria 5 - 47121 (FC)\n"
              "Telefono: 0543 555015\nEMail: forli@example.org");
    FormCentri->ButtonChiudi->click();
    ASSERT_TRUE(b->isVisible());

    QTemporaryDir dir;
    const QString path = dir.filePath("vita.txt");
    desk.SaveReplies = {path.toStdString()};
    b->ButtonSalva->click();
    EXPECT_EQ(desk.Last().Text, "File salvato.");
    EXPECT_EQ(ReadAll(path), "Vita\r\n"
                             "\tCodice:\t\tME-0051\r\n"
                             "\tAutore:\t\tVittorio Alfieri\r\n"
                             "\tEditore:\tLibreria Editrice Ferraguti\r\n"
                             "\tEdizione:\t1806\r\n"
                             "\tData incisione:\t14/03/2007\r\n"
                             "\tCassette:\t7\r\n"
                             "\tDurara:\t\t560 minuti\r\n"
                             "\tRegistrazione:\tAmatoriale\r\n"
                             "Descrizione\r\n"
                             "L'autobiografia del poeta astigiano.\r\n"
                             "\r\n"
                             "Vita nuova\r\n"
                             "\tCodice:\t\tPO-0025\r\n"
                             "\tAutore:\t\tDante Alighieri\r\n"
                             "\tEditore:\tStamperia dei Tre Ponti\r\n"
                             "\tData incisione:\t05/05/1983\r\n"
                             "\tCassette:\t2\r\n"
                             "\tDurara:\t\t120 minuti\r\n"
                             "\tRegistrazione:\tAmatoriale\r\n"
                             "Descrizione\r\n"
                             "Prosimetro giovanile dedicato a Beatrice.\r\n"
                             "\r\n");
    // The same works as a table for a spreadsheet; the type is offered again next time.
    const QString table = dir.filePath("vita.csv");
    desk.SaveReplies = {table.toStdString()};
    desk.SaveTypeReplies = {3};
    b->ButtonSalva->click();
    EXPECT_EQ(desk.Last().Text, "File salvato.");
    EXPECT_EQ(ReadAll(table),
              "Titolo,Sottotitolo,Genere,Autore,Editore,Anno di edizione,Pagine,Numero cassette,"
              "Numero CD-ROM,Durata (minuti),Tipo registrazione,Data incisione,Codice in catalogo,"
              "Codice interno,Descrizione\r\n"
              "Vita,Scritta da esso,Memorie e lettere,Vittorio Alfieri,Libreria Editrice Ferraguti,"
              "1806,400,7,2,560,Amatoriale,14/03/2007,ME-0051,151,L'autobiografia del poeta "
              "astigiano.\r\n"
              "Vita nuova,,Poesia,Dante Alighieri,Stamperia dei Tre Ponti,,90,2,,120,Amatoriale,"
              "05/05/1983,PO-0025,125,Prosimetro giovanile dedicato a Beatrice.\r\n");
    b->ButtonChiudi->click();
    ASSERT_TRUE(MainForm->isVisible());

    // All centres, twice: the second time from the cache.
    const uint32_t contextBefore = ContextCounter;
    for (int round = 0; round < 2; ++round) {
        MainForm->ButtonEMail->click();
        ASSERT_TRUE(FormCentri->isVisible());
        EXPECT_EQ(W(FormCentri->windowTitle()), "Elenco centri di distribuzione del Orvo");
        EXPECT_EQ(FormCentri->Table.RowCount(), 10);
        EXPECT_EQ(W(FormCentri->GroupBox->title()), "1 - Associazione Lettori dell'Aquila");
        FormCentri->ButtonChiudi->click();
        EXPECT_TRUE(MainForm->isVisible());
        EXPECT_TRUE(Idle);
    }
    EXPECT_EQ(ContextCounter, contextBefore + 1);
    EXPECT_EQ(desk.Texts(), (std::vector<std::string>{"File salvato.", "File salvato."}));
}
