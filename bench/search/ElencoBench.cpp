// Opening the list of the works found over a large result: time from the click to a list
// painted with the current record selected, and the memory the open list adds. The floor is
// a plain loop reading the title of every row once, measured in the same run.
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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

size_t HeapInUse() {
    return mallinfo2().uordblks;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    std::printf("%9s %12s %12s %12s %12s %8s %12s\n", "works", "floor min", "floor med", "open min",
                "open med", "ratio", "added MB");
    for (int n : {1000, 10000, 100000}) {
        CMatrix table;
        FillWorks(table, n);
        std::vector<double> floor, open;
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

            const size_t before = HeapInUse();
            clock.restart();
            {
                TFormElenco list(nullptr, table);
                list.GoTo(n);
                list.show();
                QCoreApplication::processEvents();
                list.GridOpere->viewport()->repaint();
                open.push_back(clock.nsecsElapsed() / 1e6);
                added = std::max(added, HeapInUse() - std::min(HeapInUse(), before));
                if (list.CurrentRecord() != n) {
                    return 1;
                }
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        const double fmin = *std::min_element(floor.begin(), floor.end());
        const double omin = *std::min_element(open.begin(), open.end());
        std::printf("%9d %9.3f ms %9.3f ms %9.3f ms %9.3f ms %8.1f %12.2f\n", n, fmin,
                    Median(floor), omin, Median(open), Median(open) / std::max(Median(floor), 1e-6),
                    added / 1048576.0);
    }
    return 0;
}
