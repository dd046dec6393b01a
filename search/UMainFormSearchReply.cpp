// The works search reply and the memory recovery of the main window.

#include <QCoreApplication>
#include <cstdlib>

#include "core/UOrvoCCommon.h"
#include "platform/Desktop.h"
#include "platform/Text.h"
#include "search/UFormCentri.h"
#include "search/UFormRisultatiRicerca.h"
#include "ui/UFormAttendere.h"
#include "ui/UMainForm.h"

void TMainForm::SearchDone(bool Interrupted, bool Failed) {
    ReplyHandler.Clear();
    HideWait();
    if (Failed) {
        Recover(LastReplyOperation() == "BUSY" ? "Il server \xE8 occupato. Riprovare in seguito"
                                               : "Errore sul server.");
        return;
    }
    QPointer<TFormRisultatiRicerca> browser;
    // Whatever goes wrong, the user gets the main window back rather than an empty screen.
    auto recover = [&](const char* text) {
        if (browser != nullptr && !browser->isVisible()) {
            browser->deleteLater();
        }
        Recover(text);
    };
    try {
        const int n = Results->RowCount();
        if (Interrupted && n == 0) {
            ReturnToIdle();
            return;
        }
        if (n == 0) {
            throw EOrvoError("Nessuna corrispondenza trovata.");
        }
        FeedbackBeep();
        browser = new TFormRisultatiRicerca(this);
        CurrentResults = browser;
        browser->Table.MoveFrom(*Results);
        browser->Open(Interrupted
                          ? "Trasferimento interrotto - Record ricevuti: " + std::to_string(n)
                          : "Corrispondenze trovate: " + std::to_string(n),
                      this);
    } catch (const std::exception& e) {
        // A browser that could not be opened: the main window is back, with the reason.
        recover(e.what());
    } catch (...) {
        // As above, for a failure that carries no text.
        recover("Errore interno imprevisto.");
    }
}

void TMainForm::RecoverMemory() {
    if (!MemoryRecoveryPending) {
        return;
    }
    MemoryRecoveryPending = false;
    if (ReplyHandler) {
        ShowError("Errore interno imprevisto");
        return;
    }
    FormAttendere->SetText("Recupero della memoria in corso...");
    FormAttendere->ShowModeless();
    FormAttendere->AllowCancel(false);
    try {
        // Released later, not here: this may run while the old window is still closing (its
        // close shows the main window).
        if (FormCentri != nullptr) {
            FormCentri->deleteLater();
        }
        FormCentri = nullptr;
        FormCentri = new TFormCentri(this);
        QCoreApplication::processEvents();
    } catch (...) {
        // Without a centres window the program cannot go on; it stops rather than crash later.
        ShowError("Errore interno imprevisto");
        std::exit(1);
    }
    FormAttendere->hide();
    Idle = true;
    FormAttendere->AllowCancel(true);
    FeedbackBeep();
}
