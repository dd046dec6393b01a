// A hostile catalogue server against the real client: results shaped to exhaust memory, time
// or the screen, and text shaped to forge lines. Each attack ends with its bound checked and a
// client that still works.

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/RecordText.h"
#include "core/ResultsExport.h"
#include "core/ShownText.h"
#include "platform/Text.h"
#include "search/UFormCentri.h"
#include "search/UFormRicercaUtente.h"
#include "search/UFormRisultatiRicerca.h"
#include "tests/search/TableBuilder.h"
#include "tests/search/WindowFixture.h"
#include "tests/support/MainFormProbe.h"

namespace {

// The process's resident memory, in bytes.
size_t ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            size_t kb = 0;
            fields >> kb;
            return kb * 1024;
        }
    }
    return 0;
}

std::vector<std::string> MemoLines(const QPlainTextEdit* memo) {
    return SplitLines(W(memo->toPlainText()));
}

bool AnyLineStartsWith(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& l : lines) {
        if (l.rfind(start, 0) == 0) {
            return true;
        }
    }
    return false;
}

// The window is no wider than its screen, and its "&Chiudi" lies inside the window: wherever
// the window manager puts it, the whole window and the button fit on the screen.
void ExpectWithinScreen(QWidget* window, QPushButton* close) {
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_LE(window->frameGeometry().width(), screen.width());
    EXPECT_LE(window->frameGeometry().height(), screen.height());
    const QRect button(close->mapTo(window, QPoint(0, 0)), close->size());
    EXPECT_TRUE(window->rect().contains(button)) << button.right() << " past " << window->width();
}

std::vector<std::string> Work(const Row& values) {
    Row row{{"OperaId", "1"},           {"Titolo", "Opera"},         {"AutoreNome", "Autore"},
            {"EditoreNome", "Editore"}, {"ClasseNome", "Narrativa"}, {"Cassette", "2"},
            {"CodOrigine", "C-1"},      {"CatalogoId", "101"}};
    for (const auto& [name, value] : values) {
        row[name] = value;
    }
    return Cells(WorkColumns(), row);
}

class DataAttacks : public ConnectedMainWindow {
protected:
    static TMainFormProbe Probe() { return TMainFormProbe(MainForm); }

    // A works search whose reply is the rows; back with its browser open.
    TFormRisultatiRicerca* SearchReturning(const std::vector<std::vector<std::string>>& rows) {
        OnQuery = [rows](const Pairs& q) {
            return PairValue(q, "FROM") == "Classi"
                       ? ScriptedServer::ResultSet({"ClasseNome"}, {{"Narrativa"}})
                       : ScriptedServer::ResultSet(WorkColumns(), rows);
        };
        When([] { return FormRicercaUtente->isVisible(); },
             [] {
                 FormRicercaUtente->EditTitolo->setText("opera");
                 FormRicercaUtente->ButtonProcedi->click();
             });
        MainForm->ButtonAutore->click();
        if (!WaitUntil([] {
                return MainForm->CurrentResults != nullptr && MainForm->CurrentResults->isVisible();
            })) {
            return nullptr;
        }
        return MainForm->CurrentResults;
    }

    // "Visualizza i &Centri" answered with these centres.
    void ListCentres(const std::vector<std::vector<std::string>>& rows) {
        OnQuery = [rows](const Pairs&) { return ScriptedServer::ResultSet(CentreColumns(), rows); };
        MainForm->ButtonEMail->click();
    }
};

} // namespace

// 256 columns, then a hundred batches announcing 1024 rows each and bringing no cell: the
// table counts the rows and holds nothing for them.
TEST_F(DataAttacks, AnnouncedRowsWithoutCellsCostNoMemory) {
    std::vector<std::string> columns = CentreColumns();
    while (columns.size() < 256) {
        columns.push_back("X" + std::to_string(columns.size() + 1));
    }
    OnQuery = [&columns](const Pairs&) {
        std::vector<Pairs> set = ScriptedServer::ResultSet(columns, {});
        set.pop_back();
        for (int i = 0; i < 100; ++i) {
            set.push_back({{"OPERATION", "QUERYITEM"}, {"ITEMSSEND", "1024"}});
        }
        set.push_back({{"OPERATION", "QUERYITEM"}, {"DONE", "TRUE"}});
        return set;
    };
    const size_t before = ResidentBytes();
    MainForm->ButtonEMail->click();
    ASSERT_TRUE(WaitUntil([] { return FormCentri->isVisible(); }));
    ASSERT_NE(CentresCache, nullptr);
    EXPECT_EQ(CentresCache->RowCount(), 102400);
    EXPECT_EQ(CentresCache->StoredBytes(), 0u);
    EXPECT_EQ(FormCentri->Table.StoredBytes(), 0u);
    // Each announced row was once worth 2 KiB of empty cells: 200 MiB here, per copy.
    EXPECT_LT(ResidentBytes(), before + 64u * 1024 * 1024);
    std::printf("102,400 announced rows of 256 columns: resident memory grew %.1f MiB\n",
                (static_cast<double>(ResidentBytes()) - static_cast<double>(before)) / (1 << 20));
    FormCentri->ButtonUltimo->click();
    EXPECT_EQ(FormCentri->Record, 102400);
    FormCentri->ButtonChiudi->click();
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_TRUE(Idle);
}

// 32 MiB of small messages in one burst, then the end of the result: every message is taken
// without moving the bytes behind it, so the bytes moved stay below the bytes received (one
// move per message would have made them grow with the square of the burst).
TEST_F(DataAttacks, BurstOfSmallMessagesDrainsInLinearTime) {
    bool done = false;
    bool failed = true;
    ReplyHandler.Set(MainForm, [&](bool, bool f) {
        done = true;
        failed = f;
    });
    ASSERT_NE(MainForm->SendQuery({"*", "Provenienza", "", ""}), 0u);
    ASSERT_TRUE(WaitUntil([this] { return Queries.size() == 1; }));

    const std::string knock = "OPERATION=KNOCK\x01"
                              "FILL=" +
                              std::string(1000, 'k') + "\x01\x02";
    std::string burst;
    burst.reserve(32u * 1024 * 1024 + knock.size());
    while (burst.size() < 32u * 1024 * 1024) {
        burst += knock;
    }
    burst += "OPERATION=QUERYRESULT\x01"
             "COLS=1\x01NAME1=A\x01\x02"
             "OPERATION=QUERYITEM\x01ITEMSSEND=1\x01"
             "1:1=fine\x01\x02"
             "OPERATION=QUERYITEM\x01"
             "DONE=TRUE\x01\x02";
    const uint64_t movedBefore = Probe().BytesMoved();
    const auto sent = std::chrono::steady_clock::now();
    server.SendRaw(burst);
    ASSERT_TRUE(WaitUntil([&] { return done; }, 120000));
    std::printf("%zu-byte burst of %zu messages taken in %.2f s, %llu bytes moved\n", burst.size(),
                burst.size() / knock.size(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(),
                static_cast<unsigned long long>(Probe().BytesMoved() - movedBefore));
    EXPECT_FALSE(failed);
    EXPECT_EQ(MainForm->Results->GetField("A", 1), "fine");
    EXPECT_LE(Probe().BytesMoved() - movedBefore, burst.size());
    EXPECT_TRUE(Probe().ReceiveBuffer().empty());
}

// A 10 MiB title and description: the record shows 64 KiB of each and "[...]", the window
// answers and fits the screen, and the saved file keeps both values whole.
TEST_F(DataAttacks, TenMebibyteCellIsShownCutAndSavedWhole) {
    const std::string title(10u * 1024 * 1024, 't');
    std::string description;
    while (description.size() < 10u * 1024 * 1024) {
        description += "Una riga della descrizione\r\n";
    }
    TFormRisultatiRicerca* b = SearchReturning(
        {Work({{"Titolo", title}, {"Descrizione", description}}), Work({{"Titolo", "Seconda"}})});
    ASSERT_NE(b, nullptr);
    const std::string shown = W(b->MemoOpera->toPlainText());
    EXPECT_LT(shown.size(), 3 * ShownTextLimit);
    const std::vector<std::string> lines = SplitLines(shown);
    EXPECT_EQ(lines[0], "Titolo dell'opera: " + title.substr(0, ShownTextLimit) + "[...]");
    EXPECT_EQ(lines.back(), "Una riga della d[...]");
    ExpectWithinScreen(b, b->ButtonChiudi);

    // The window still answers: the next record comes at once.
    b->ButtonSuccessivo->click();
    EXPECT_EQ(MemoLines(b->MemoOpera)[0], "Titolo dell'opera: Seconda");

    std::string saved;
    AppendWorkBlock(saved, b->Table, WorksExportColumns(b->Table), 1);
    EXPECT_EQ(saved.rfind(title + "\r\n", 0), 0u);
    EXPECT_NE(saved.find(description.substr(0, description.size() - 2) + "\r\n"),
              std::string::npos);
    b->ButtonChiudi->click();
    EXPECT_TRUE(Idle);
}

// A centre name of a megabyte: the centres window keeps to the screen, its "&Chiudi" on it.
TEST_F(DataAttacks, LongCentreNameKeepsTheWindowOnTheScreen) {
    ListCentres({{std::string(1024 * 1024, 'N'), "Via Roma 1", "Roma", "", "", "06", "", ""}});
    ASSERT_TRUE(FormCentri->isVisible());
    QApplication::processEvents();
    ExpectWithinScreen(FormCentri, FormCentri->ButtonChiudi);
    const std::string title = W(FormCentri->GroupBox->title());
    EXPECT_EQ(title.rfind("1 - NNN", 0), 0u);
    EXPECT_LT(title.size(), 1000u);
    EXPECT_EQ(MemoLines(FormCentri->MemoCentro)[0],
              std::string(ShownTextLimit, 'N') + std::string(ShownTextCut));
    FormCentri->ButtonChiudi->click();
    EXPECT_TRUE(MainForm->isVisible());
}

// CR, LF and control bytes inside values: each run shows as one space, so no value can make a
// line of its own, while the description keeps the lines it was written in.
TEST_F(DataAttacks, ServerTextCannotForgeLines) {
    TFormRisultatiRicerca* b =
        SearchReturning({Work({{"Titolo", "Opera\r\nTelefono: 555 \x07\x1B"},
                               {"AutoreNome", "Rossi\n\nEMail: falso@example.org"},
                               {"Descrizione", "Riga uno\r\nRiga\tdue\x7F"}})});
    ASSERT_NE(b, nullptr);
    const std::vector<std::string> work = MemoLines(b->MemoOpera);
    EXPECT_EQ(work[0], "Titolo dell'opera: Opera Telefono: 555  ");
    EXPECT_EQ(work[2], "Autore: Rossi EMail: falso@example.org");
    EXPECT_FALSE(AnyLineStartsWith(work, "Telefono:"));
    EXPECT_FALSE(AnyLineStartsWith(work, "EMail:"));
    EXPECT_EQ(std::vector<std::string>(work.end() - 3, work.end()),
              (std::vector<std::string>{"Descrizione", "Riga uno", "Riga due"}));
    b->ButtonChiudi->click();

    ListCentres({{"Centro\r\nTelefono: 999", "Via\x0BRoma", "Roma", "", "", "06\r\nFAX: 1", "",
                  "a@example.org\r\nEMail: b@example.org"}});
    ASSERT_TRUE(FormCentri->isVisible());
    EXPECT_EQ(MemoLines(FormCentri->MemoCentro),
              (std::vector<std::string>{"Centro Telefono: 999", "Via: Via Roma - Roma",
                                        "Telefono: 06 FAX: 1",
                                        "EMail: a@example.org EMail: b@example.org"}));
    EXPECT_EQ(W(FormCentri->GroupBox->title()), "1 - Centro Telefono: 999");
    FormCentri->ButtonChiudi->click();
}
