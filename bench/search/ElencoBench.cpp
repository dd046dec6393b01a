// Opening the list of the works found over a large result: time from the click to a list
// painted with the current record selected, and the memory the open list adds. Two floors,
// measured in the same run: a plain loop reading the title of every row once, and the same
// window opened over a table with no rows (what any window costs to open and paint).
//
//   elenco_bench [RUNS]   (default 7; sizes 1,000, 10,000 and 100,000 works)

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

#include "core/CMatrix.h"
#include "core/WorkList.h"
#include "search/UFormElenco.h"
#include "tests/search/TableBuilder.h"

namespace {

void FillWorks(CMatrix& table, int n) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i) {
        const std::string k = std::to_string(i);
        rows.push_back(Cells(WorkColumns(), {{"Titolo", "Opera numero " + k},
                                             {"AutoreNome", "Autore " + k},
                                             {"EditoreNome", "Editore"},
                                             {"ClasseNome", "Narrativa"},
                                             {"Cassette", "2"},
                                             {"nCD", "1"},
                                             {"Minuti", "540"},
                                             {"TipoRegistrazione", "Professionale"},
                                             {"CodOrigine", "NA-" + k},
                                             {"CatalogoId", k},
                                             {"Descrizione", "Una descrizione di una riga."}}));
    }
    FillTable(table, WorkColumns(), rows);
}

// Opens and paints the list over table with its last row current; milliseconds.
double OpenOnce(const CMatrix& table, size_t* added) {
    const size_t before = mallinfo2().uordblks;
    QElapsedTimer clock;
    clock.start();
    TFormElenco list(nullptr, table);
    list.GoTo(table.RowCount());
    list.show();
    QCoreApplication::processEvents();
    list.GridOpere->viewport()->repaint();
    const double ms = clock.nsecsElapsed() / 1e6;
    const size_t now = mallinfo2().uordblks;
    if (added != nullptr) {
        *added = std::max(*added, now > before ? now - before : 0);
    }
    if (list.CurrentRecord() != table.RowCount()) {
        std::fprintf(stderr, "elenco_bench: the last row is not current\n");
        std::exit(1);
    }
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    CMatrix none;
    FillTable(none, WorkColumns(), {});
    std::printf("%7s %11s %11s %11s %11s %11s %11s %9s\n", "works", "loop min", "loop med",
                "empty min", "empty med", "open min", "open med", "added MB");
    for (int n : {1000, 10000, 100000}) {
        CMatrix table;
        FillWorks(table, n);
        std::vector<double> floor, empty, open;
        size_t added = 0;
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer clock;
            clock.start();
            size_t bytes = 0;
            const int titolo = table.FindColumn("Titolo");
            for (int row = 1; row <= table.RowCount(); ++row) {
                bytes += table.Cell(titolo, row).size();
            }
            floor.push_back(clock.nsecsElapsed() / 1e6);
            if (bytes == 0) {
                return 1;
            }

            empty.push_back(OpenOnce(none, nullptr));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            open.push_back(OpenOnce(table, &added));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        auto min = [](const std::vector<double>& v) {
            return *std::min_element(v.begin(), v.end());
        };
        std::printf("%7d %8.3f ms %8.3f ms %8.3f ms %8.3f ms %8.3f ms %8.3f ms %9.2f\n", n,
                    min(floor), Median(floor), min(empty), Median(empty), min(open), Median(open),
                    added / 1048576.0);
    }
    return 0;
}
