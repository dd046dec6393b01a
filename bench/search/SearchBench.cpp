// A works search returning the whole of a large catalogue, from the click on "&Procedi" to the
// results browser showing record 1, and the export of those works to a file. Prints the
// figures; the client's peak memory is this process's VmHWM (the server runs apart).
//
//   search_bench [WORKS]   (default 101030: about one work in a hundred is not available, so
//                           the search returns just over 100,000)

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>

#include "core/UOrvoCCommon.h"
#include "platform/Text.h"
#include "search/UFormRicercaUtente.h"
#include "search/UFormRisultatiRicerca.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TestSettings.h"
#include "tests/support/WaitUntil.h"
#include "ui/UMainForm.h"

namespace {

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

int Fail(const char* what) {
    std::fprintf(stderr, "search_bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", work.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", (work.path() + "/machine").toUtf8());
    QApplication app(argc, argv);
    const QString works = argc > 1 ? QString(argv[1]) : QString("101030");

    const QString db = work.filePath("large.db");
    QElapsedTimer clock;
    clock.start();
    if (QProcess::execute(ORVO_SERVER_PATH, {"--create-large", db, "--works", works}) != 0) {
        return Fail("--create-large failed");
    }
    std::printf("catalogue of %s works created in %.2f s\n", qPrintable(works),
                clock.elapsed() / 1000.0);

    QProcess server;
    server.start(ORVO_SERVER_PATH, {"--db", db, "--port", "0"});
    if (!server.waitForStarted(10000) || !WaitUntil([&] { return server.canReadLine(); }, 10000)) {
        return Fail("orvo-server did not start");
    }
    const unsigned port = QString::fromUtf8(server.readLine()).trimmed().section(':', -1).toUInt();
    TestSettings settings;
    if (!settings.Store(port)) {
        return Fail("settings not stored");
    }
    RecordingDesktop desk;

    new TMainForm;
    if (!WaitUntil([] { return ActiveSocket != nullptr && Idle; }, 10000)) {
        return Fail("no connection");
    }
    MainForm->show();

    // "%" is a title of no significant characters and no "*" or "?": usable as typed, and the
    // server's LIKE takes it as any run of characters, so every available work matches.
    QElapsedTimer search;
    auto* trigger = new QTimer;
    trigger->setInterval(5);
    QObject::connect(trigger, &QTimer::timeout, [&] {
        if (FormRicercaUtente->isVisible()) {
            trigger->stop();
            FormRicercaUtente->EditTitolo->setText("%");
            search.start();
            FormRicercaUtente->ButtonProcedi->click();
        }
    });
    trigger->start();
    // The longest stretch without the event loop turning, while the rows arrive: the window
    // must not freeze between batches.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    qint64 longestGapEnd = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (search.isValid()) {
            const qint64 gap = sinceTick.restart();
            if (gap > longestGap) {
                longestGap = gap;
                longestGapEnd = search.elapsed();
            }
        } else {
            sinceTick.restart();
        }
    });
    sinceTick.start();
    ticker.start();
    MainForm->ButtonAutore->click();
    auto shown = [] {
        TFormRisultatiRicerca* b = MainForm->CurrentResults;
        return b != nullptr && b->isVisible() && b->Record == 1 &&
               !b->MemoOpera->toPlainText().isEmpty();
    };
    if (!WaitUntil(shown, 120000)) {
        return Fail("the results browser did not show");
    }
    const double searchSeconds = search.elapsed() / 1000.0;
    ticker.stop();
    TFormRisultatiRicerca* browser = MainForm->CurrentResults;
    const int rows = browser->Table.RowCount();
    std::printf("search: %d works, click on \"&Procedi\" to record 1 in %.3f s\n", rows,
                searchSeconds);
    std::printf("longest pause of the event loop during the search: %lld ms, ending %lld ms "
                "after the click\n",
                static_cast<long long>(longestGap), static_cast<long long>(longestGapEnd));
    std::printf("client peak memory (VmHWM) after the search: %.1f MB\n", PeakKilobytes() / 1024.0);

    const QString file = work.filePath("risultati.txt");
    desk.SaveReplies = {file.toStdString()};
    QElapsedTimer exportClock;
    exportClock.start();
    browser->ButtonSalva->click();
    const double exportSeconds = exportClock.elapsed() / 1000.0;
    const bool saved = !desk.Boxes.empty() && desk.Last().Text == "File salvato.";
    std::printf("export: %d works, %lld bytes in %.3f s (%s)\n", rows,
                static_cast<long long>(QFileInfo(file).size()), exportSeconds,
                saved ? "File salvato." : "FAILED");
    std::printf("client peak memory (VmHWM) at the end: %.1f MB\n", PeakKilobytes() / 1024.0);

    browser->ButtonChiudi->click();
    delete MainForm;
    server.terminate();
    server.waitForFinished(5000);
    return saved ? 0 : 1;
}
