#include "search/UFormRicercaUtente.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "core/UOrvoCCommon.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "search/BrowserSupport.h"
#include "ui/KeyboardAccess.h"
#include "ui/UMainForm.h"
#include "ui/UOrvoCCommonWin.h"

namespace {

// Each edit and list gets its caption as a buddy label, so a screen reader announces it.
template <typename W>
W* AddField(QGridLayout* grid, QWidget* parent, int row, const char* caption, W* field) {
    auto* label = new QLabel(Q(caption), parent);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    SetAccessibleName(field, caption);
    return field;
}

QLineEdit* MakeEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    RestrictToCp1252(edit, TFormRicercaUtente::MaxEditLength);
    return edit;
}

void Refill(QComboBox* list, const std::vector<std::string>& items) {
    list->clear();
    for (const std::string& item : items) {
        list->addItem(Q(item));
    }
    list->setCurrentIndex(0);
}

} // namespace

TFormRicercaUtente::TFormRicercaUtente(QWidget* owner) : QDialog(owner) {
    setObjectName("FormRicercaUtente");
    setWindowTitle(Q("Ricerca di opere"));
    setSizeGripEnabled(true);

    GroupBox =
        new QGroupBox(Q("Riempire uno o pi\xF9 campi per rintracciare l'opera cercata"), this);
    auto* grid = new QGridLayout(GroupBox);
    EditTitolo = AddField(grid, GroupBox, 0, "Titolo:", MakeEdit(GroupBox));
    EditAutoreNome = AddField(grid, GroupBox, 1, "Autore:", MakeEdit(GroupBox));
    EditEditoreNome = AddField(grid, GroupBox, 2, "Editore:", MakeEdit(GroupBox));
    CBGeneri = AddField(grid, GroupBox, 3, "Genere:", new QComboBox(GroupBox));
    CBTipoRegistrazione =
        AddField(grid, GroupBox, 4, "Tipo registrazione:", new QComboBox(GroupBox));
    CBTrimestre = AddField(grid, GroupBox, 5,
                           "Periodo di registrazione (trimestre):", new QComboBox(GroupBox));
    CBAnno =
        AddField(grid, GroupBox, 6, "Periodo di registrazione (anno):", new QComboBox(GroupBox));
    EditTitolo->setObjectName("EditTitolo");
    EditAutoreNome->setObjectName("EditAutoreNome");
    EditEditoreNome->setObjectName("EditEditoreNome");
    CBGeneri->setObjectName("CBGeneri");
    CBTipoRegistrazione->setObjectName("CBTipoRegistrazione");
    CBTrimestre->setObjectName("CBTrimestre");
    CBAnno->setObjectName("CBAnno");
    for (QComboBox* list : {CBGeneri, CBTipoRegistrazione, CBTrimestre, CBAnno}) {
        MakeChoicesSpoken(list);
    }
    grid->setColumnStretch(1, 1);
    setMinimumWidth(560);

    ButtonPulisci = new QPushButton(Q("Pulisci i &campi"), this);
    ButtonProcedi = new QPushButton(Q("&Procedi"), this);
    ButtonAnnulla = new QPushButton(Q("&Annulla"), this);
    SetAccessibleName(ButtonPulisci, "Pulisci i campi");
    SetAccessibleName(ButtonProcedi, "Procedi");
    SetAccessibleName(ButtonAnnulla, "Annulla");
    // A focused button takes Enter for itself; elsewhere Enter means "&Procedi".
    ButtonPulisci->setAutoDefault(true);
    ButtonAnnulla->setAutoDefault(true);
    ButtonProcedi->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonPulisci);
    buttons->addStretch();
    buttons->addWidget(ButtonProcedi);
    buttons->addWidget(ButtonAnnulla);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(ButtonPulisci, &QPushButton::clicked, this, &TFormRicercaUtente::ButtonPulisciClick);
    connect(ButtonProcedi, &QPushButton::clicked, this, &TFormRicercaUtente::ButtonProcediClick);
    connect(ButtonAnnulla, &QPushButton::clicked, this, &TFormRicercaUtente::ButtonAnnullaClick);
    connect(CBTrimestre, &QComboBox::currentIndexChanged, this,
            &TFormRicercaUtente::CBTrimestreClick);
    connect(CBAnno, &QComboBox::currentIndexChanged, this, &TFormRicercaUtente::CBAnnoClick);

    MaximizeIfBlindFriendly(this);
}

bool TFormRicercaUtente::Open(QWidget* owner) {
    Confirmed = false;
    Owner = owner;
    // Only a genre loading run by this opening decides whether the dialog can be shown: the
    // outcome of an earlier, unrelated query must not keep it closed.
    int outcome = 0;
    if (GenreNames.size() < 2) {
        outcome = ClearFields();
    }
    if (outcome != 0) {
        return false;
    }
    exec();
    return Confirmed;
}

int TFormRicercaUtente::LoadGenres() {
    if (GenreNames.size() >= 2) {
        return 0;
    }
    try {
        if (MainForm->RunQuery(GenresQuery()) == 0) {
            GenreNames.clear();
            // A query that failed before any reply leaves the status as it was.
            return MainForm->QueryStatus != 0 ? MainForm->QueryStatus : 2;
        }
        const CMatrix& rows = *MainForm->Results;
        const int n = rows.RowCount();
        if (n > 0) {
            StringArray names(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                names[static_cast<size_t>(i)] = std::string(rows.GetField("ClasseNome", i + 1));
            }
            GenreNames = std::move(names);
        }
        return 0;
    } catch (...) {
        // Rows that could not be read: no cache, so the next opening asks again.
        ShowError("Errore nella ricezione dati");
        GenreNames.clear();
        return 2;
    }
}

void TFormRicercaUtente::ButtonPulisciClick() {
    try {
        ClearFields();
    } catch (...) {
        // Fields half cleared are still usable, as long as the period lists stay coupled.
        SyncEnabled = true;
    }
}

int TFormRicercaUtente::ClearFields() {
    EditTitolo->clear();
    EditAutoreNome->clear();
    EditEditoreNome->clear();
    const int outcome = LoadGenres();
    if (outcome != 0) {
        MainForm->QueryStatus = outcome;
        if (isVisible()) {
            Confirmed = false;
            close();
        }
        return outcome;
    }
    SyncEnabled = false;
    Refill(CBTipoRegistrazione, {"", "Amatoriale", "Professionale"});
    Refill(CBTrimestre, {"", "primo", "secondo", "terzo", "quarto"});
    const std::chrono::year_month_day today = TheDesktop().Today();
    TodayYear = static_cast<uint16_t>(static_cast<int>(today.year()));
    TodayMonth = static_cast<uint16_t>(static_cast<unsigned>(today.month()));
    TodayDay = static_cast<uint16_t>(static_cast<unsigned>(today.day()));
    std::vector<std::string> years = YearItems(today);
    years.insert(years.begin(), "");
    Refill(CBAnno, years);
    SyncEnabled = true;

    // The list keeps its names sorted, so the empty item comes first.
    std::vector<std::string> genres(GenreNames.begin(), GenreNames.end());
    std::stable_sort(genres.begin(), genres.end(), [](const std::string& a, const std::string& b) {
        return Q(a).compare(Q(b), Qt::CaseInsensitive) < 0;
    });
    genres.insert(genres.begin(), "");
    Refill(CBGeneri, genres);
    return 0;
}

void TFormRicercaUtente::CBTrimestreClick() {
    Couple([this] {
        const int year =
            YearForQuarter(CBTrimestre->currentIndex(), CBAnno->currentIndex(), TodayMonth);
        if (year >= 0) {
            if (year < CBAnno->count()) {
                CBAnno->setCurrentIndex(year);
            } else {
                CBTrimestre->setCurrentIndex(0);
            }
        }
    });
}

void TFormRicercaUtente::CBAnnoClick() {
    Couple([this] {
        const int quarter = QuarterForYear(CBAnno->currentIndex(), CBTrimestre->currentIndex());
        if (quarter >= 0) {
            if (quarter < CBTrimestre->count()) {
                CBTrimestre->setCurrentIndex(quarter);
            } else {
                CBAnno->setCurrentIndex(0);
            }
        }
    });
}

void TFormRicercaUtente::Couple(const std::function<void()>& follow) {
    if (!SyncEnabled) {
        return;
    }
    SyncEnabled = false;
    try {
        follow();
        QCoreApplication::processEvents();
    } catch (...) {
        // The lists may disagree for now; the user's next choice couples them again.
    }
    // Left off, the two lists would never be coupled again.
    SyncEnabled = true;
}

void TFormRicercaUtente::ButtonProcediClick() {
    try {
        SearchEntries entries;
        for (auto [edit, target] :
             {std::pair{EditTitolo, &entries.Title}, std::pair{EditAutoreNome, &entries.Author},
              std::pair{EditEditoreNome, &entries.Publisher}}) {
            *target = TrimControl(W(edit->text()));
            edit->setText(Q(*target));
        }
        entries.Genre = W(CBGeneri->currentText());
        entries.Year = W(CBAnno->currentText());
        entries.RecordingType = W(CBTipoRegistrazione->currentText());
        entries.QuarterIndex = CBTrimestre->currentIndex();
        CriteriaOutcome outcome = EvaluateCriteria(entries);
        Criteria = std::move(outcome.Criteria);
        if (outcome.Sufficient) {
            Confirmed = true;
            close();
        } else {
            ShowError("Parametri di ricerca insufficienti");
        }
    } catch (...) {
        // The entries stay as typed: the user may try again or cancel.
        ShowError("Errore interno imprevisto.");
    }
}

void TFormRicercaUtente::ButtonAnnullaClick() {
    Confirmed = false;
    close();
}

void TFormRicercaUtente::reject() {
    ButtonAnnullaClick();
}

void TFormRicercaUtente::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Idle = false;
    RestoreForm(this);
    Confirmed = false;
}

void TFormRicercaUtente::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    MinimizeForm(this);
}

void TFormRicercaUtente::closeEvent(QCloseEvent* event) {
    try {
        QPointer<QWidget> owner = Owner;
        if (owner != nullptr && owner == static_cast<QWidget*>(MainForm)) {
            MainForm->StopBusyCheck();
            QCoreApplication::processEvents();
        }
        // Confirmed criteria go on to the wait window and the browser: the owner showing up in
        // between would be announced, and would take the focus that belongs to them.
        if (owner != nullptr && !Confirmed) {
            owner->show();
        }
        Owner = nullptr;
        FeedbackBeep();
        Idle = true;
    } catch (...) {
        // The dialog closes whatever failed: keeping it would trap the user in it.
    }
    event->accept();
}
