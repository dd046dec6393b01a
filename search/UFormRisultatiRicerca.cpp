#include "search/UFormRisultatiRicerca.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/CList.h"
#include "core/CatalogueQuery.h"
#include "core/RecordText.h"
#include "core/ResultsExport.h"
#include "core/ShownText.h"
#include "core/UOrvoCCommon.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "search/BrowserSupport.h"
#include "search/UFormCentri.h"
#include "search/UFormElenco.h"
#include "ui/UFormAttendere.h"
#include "ui/UMainForm.h"
#include "ui/UOrvoCCommonWin.h"

namespace {

std::string LastOperation() {
    return MainForm != nullptr ? MainForm->LastReplyOperation() : std::string();
}

constexpr int ProgressStep = 1024;

} // namespace

TFormRisultatiRicerca::TFormRisultatiRicerca(QWidget* owner) : TRecordBrowser(owner) {
    setObjectName("FormRisultatiRicerca");
    setWindowTitle(Q("Risultati della ricerca"));
    setSizeGripEnabled(true);
    resize(640, 460);

    GroupBoxOpera = new QGroupBox(this);
    MakeRecordMemo(GroupBoxOpera, "MemoOpera", "Opera", MemoOpera);
    QHBoxLayout* moves = MakeNavigation();
    ButtonElenco = MakeButton("&Elenco");
    moves->insertWidget(moves->indexOf(ButtonVaiAl) + 1, ButtonElenco);
    setTabOrder(ButtonVaiAl, ButtonElenco);
    setTabOrder(ButtonElenco, ButtonChiudi);
    ButtonCentri = MakeButton("&Dove trovare l'opera");
    ButtonSalva = MakeButton("S&alva ricerca");

    auto* commands = new QHBoxLayout;
    commands->addWidget(ButtonCentri);
    commands->addWidget(ButtonSalva);
    commands->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBoxOpera, 1);
    layout->addLayout(moves);
    layout->addLayout(commands);

    connect(ButtonCentri, &QPushButton::clicked, this, &TFormRisultatiRicerca::ButtonCentriClick);
    connect(ButtonSalva, &QPushButton::clicked, this, &TFormRisultatiRicerca::ButtonSalvaClick);
    connect(ButtonElenco, &QPushButton::clicked, this, &TFormRisultatiRicerca::ButtonElencoClick);

    MaximizeIfBlindFriendly(this);
}

TFormRisultatiRicerca::~TFormRisultatiRicerca() = default;

void TFormRisultatiRicerca::FillRecord() {
    if (Record == 0) {
        ShowRecordText({}, "Nessuna opera trovata");
        GroupBoxOpera->setTitle(Q("Nessuna opera trovata"));
        return;
    }
    const std::vector<std::string> lines = WorkRecordLines(Table, Record);
    const std::string title = WorkGroupTitle(Record);
    ShowRecordText(lines, title);
    GroupBoxOpera->setTitle(Q(title));
}

void TFormRisultatiRicerca::ButtonCentriClick() {
    if (Record == 0 || Table.RowCount() == 0 || Terminating) {
        return;
    }
    try {
        const QueryTexts q = CentresOfWorkQuery(std::string(Table.GetField("CatalogoId", Record)));
        if (ActiveSocket == nullptr) {
            ShowError("Connessione con il server mancante.", "Impossibile procedere");
            return;
        }
        try {
            FeedbackBeep();
            // Registered before sending, as for the works search: a short reply may be
            // handled inside SendQuery's pauses.
            FormAttendere->SetText("Richiesta dati...");
            FormAttendere->ShowModeless();
            hide();
            ReturnCommand.Set(this, ButtonCentri);
            ReplyHandler.Set(this, [this](bool i, bool f) { CentresDone(i, f); });
            // Nothing sent (the connection went meanwhile): no reply will ever come.
            if (MainForm->SendQuery(q) == 0) {
                throw EOrvoError("Impossibile contattare il server.");
            }
        } catch (const std::exception& e) {
            // The query did not go out: nobody waits for it, and the user learns why.
            ReplyHandler.Clear();
            Recover(e.what());
        }
    } catch (const std::exception& e) {
        // The lookup could not even start (a row without its catalogue number).
        Recover(e.what());
    } catch (...) {
        // As above, for a failure that carries no text.
        Recover("Errore interno imprevisto.");
    }
}

void TFormRisultatiRicerca::CentresDone(bool Interrupted, bool Failed) {
    try {
        FeedbackBeep();
        FormAttendere->hide();
        ReplyHandler.Clear();
        if (Failed) {
            TheDesktop().MessageBox(LastOperation() == "BUSY"
                                        ? "Il server \xE8 occupato. Riprovare in seguito"
                                        : "Errore sul server.",
                                    "Errore", MsgIcon::Error);
            show();
            return;
        }
        if (Interrupted) {
            show();
            return;
        }
        try {
            const int n = MainForm->Results->RowCount();
            if (n == 0) {
                TheDesktop().MessageBox("Nessuna corrispondenza trovata.\r\nForse l'opera non \xE8 "
                                        "stata ancora registrata.",
                                        "Errore", MsgIcon::Error);
                show();
                return;
            }
            FeedbackBeep();
            const std::string caption = "Centri trovati: " + std::to_string(n) + " (opera codice " +
                                        ShownText(Table.GetField("CodOrigine", Record)) + ")";
            FormCentri->Table.MoveFrom(*MainForm->Results);
            FormCentri->Work = RequestedWorkAt(Table, Record);
            FormCentri->Open(caption, this);
        } catch (const std::exception& e) {
            // The centres window could not be filled: back to the browser, with the reason.
            Recover(e.what());
        }
    } catch (...) {
        // Whatever else failed, the browser comes back: it is the only window left to the user.
        show();
    }
}

void TFormRisultatiRicerca::ButtonSalvaClick() {
    try {
        if (Table.RowCount() == 0) {
            return;
        }
        const uint32_t remembered = ReadSaveFormatChoice(SaveFormatCount);
        SaveDialogOptions options;
        options.DefaultExt = SaveFormatExtension(static_cast<SaveFormat>(remembered));
        options.Filter = SaveFormatFilter;
        options.FilterIndex = static_cast<int>(remembered) + 1;
        options.OverwritePrompt = true;
        const std::optional<std::string> chosen = TheDesktop().SaveFileName(this, options);
        if (!chosen) {
            return;
        }
        const std::string fileName = TrimControl(*chosen);
        if (fileName.empty()) {
            return;
        }
        uint32_t choice = remembered;
        if (options.FilterIndex >= 1 && options.FilterIndex <= static_cast<int>(SaveFormatCount)) {
            choice = static_cast<uint32_t>(options.FilterIndex - 1);
        }
        if (choice != remembered) {
            // Not remembered costs the next save one more choice; this save goes on.
            WriteSaveFormatChoice(choice);
        }
        SaveTo(fileName, static_cast<SaveFormat>(choice));
    } catch (...) {
        // The export failed past its own reporting: the file is not to be trusted.
        Recover("Errore nella scrittura del file");
    }
}

void TFormRisultatiRicerca::ReportWriteError(bool waitShown) {
    if (waitShown) {
        HideWait();
    }
    FeedbackBeep();
    ShowError("Errore nella scrittura del file");
    FeedbackBeep();
    show();
}

void TFormRisultatiRicerca::ButtonElencoClick() {
    if (Record == 0 || Table.RowCount() == 0) {
        return;
    }
    try {
        TFormElenco list(this, Table);
        if (const int row = list.Choose(Record); row > 0) {
            Record = row;
            ShowRecord();
        } else if (isVisible()) {
            MemoOpera->setFocus();
        }
    } catch (...) {
        // A table the list cannot show: the browser stays on its record, the user is told.
        Recover("Errore interno imprevisto.");
    }
}

void TFormRisultatiRicerca::SaveTo(const std::string& fileName, SaveFormat format) {
    ExportFile file;
    if (!file.Create(fileName)) {
        ReportWriteError(false);
        return;
    }
    // The browser's commands wait while the export yields to the window system.
    setEnabled(false);
    Exporting = true;
    struct Reenable {
        TFormRisultatiRicerca* w;
        ~Reenable() {
            w->Exporting = false;
            w->setEnabled(true);
            // Back to the record text, where the screen reader was before the save.
            if (w->isVisible()) {
                w->MemoOpera->setFocus();
            }
        }
    } reenable{this};

    FormAttendere->ShowModeless();
    try {
        const WorksWriter writer(Table, format);
        if (!file.Write(writer.Header())) {
            throw EOrvoError("write");
        }
        std::string block;
        const int rows = Table.RowCount();
        for (int r = 1; r <= rows; ++r) {
            if (r % ProgressStep == 0) {
                FormAttendere->SetText("Record " + std::to_string(r));
                QCoreApplication::processEvents();
            }
            block.clear();
            writer.AppendWork(block, r);
            if (!file.Write(block)) {
                throw EOrvoError("write");
            }
            if (CancelRequested) {
                // The records written so far must reach the disk before the user is told.
                const bool closed = file.Close();
                if (!closed) {
                    ReportWriteError(true);
                    return;
                }
                FormAttendere->hide();
                FeedbackBeep();
                TheDesktop().MessageBox("Operazione annullata.", "Attenzione", MsgIcon::Warning);
                show();
                FeedbackBeep();
                return;
            }
        }
        if (!file.Close()) {
            throw EOrvoError("close");
        }
    } catch (...) {
        // A write or close that failed: the user must know the file is incomplete.
        ReportWriteError(true);
        return;
    }
    FormAttendere->hide();
    FeedbackBeep();
    TheDesktop().MessageBox("File salvato.", "Operazione completata", MsgIcon::Information);
    FeedbackBeep();
    show();
}

void TFormRisultatiRicerca::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Idle = false;
    RestoreForm(this);
}

void TFormRisultatiRicerca::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    MinimizeForm(this);
}

void TFormRisultatiRicerca::closeEvent(QCloseEvent* event) {
    if (Exporting) {
        // The export holds the table; the browser closes once it has finished.
        event->ignore();
        return;
    }
    try {
        QPointer<QWidget> owner = Owner;
        if (owner != nullptr && owner == static_cast<QWidget*>(MainForm)) {
            MainForm->StopBusyCheck();
            QCoreApplication::processEvents();
        }
        Owner = nullptr;
        if (owner != nullptr) {
            owner->show();
        }
        Idle = true;
        FeedbackBeep();
    } catch (...) {
        // The browser goes whatever failed: keeping it would trap the user in it.
    }
    event->accept();
    deleteLater();
}
