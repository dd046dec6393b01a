// The main window's catalogue commands: the works search and the list of all centres.

#include <QPushButton>

#include "core/CatalogueQuery.h"
#include "core/OrvoError.h"
#include "core/UOrvoCCommon.h"
#include "platform/Desktop.h"
#include "search/UFormCentri.h"
#include "search/UFormRicercaUtente.h"
#include "ui/UFormAttendere.h"
#include "ui/UMainForm.h"

void TMainForm::ButtonAutoreClick() {
    try {
        if (BusyGuard()) {
            return;
        }
        if (Terminating) {
            return;
        }
        if (ActiveSocket == nullptr) {
            ShowError("Connessione con il server mancante.", "Impossibile procedere");
            return;
        }
        FeedbackBeep();
        hide();
        FocusCommand(ButtonAutore);
        if (!FormRicercaUtente->Open(this)) {
            ReturnToIdle();
            return;
        }
        try {
            const QueryTexts q = WorksQuery(FormRicercaUtente->Criteria);
            // The routine is in place before the query goes out: a short reply can be handled
            // inside SendQuery's pauses, and arriving with nobody registered it would leave
            // the wait window up with nothing left to close it.
            FormAttendere->SetText("Richiesta dati...");
            FormAttendere->ShowModeless();
            hide();
            ReplyHandler.Set(this, [this](bool i, bool f) { SearchDone(i, f); });
            // Nothing sent (the connection went meanwhile): no reply will ever come.
            if (SendQuery(q) == 0) {
                throw EOrvoError("Impossibile contattare il server.");
            }
        } catch (const std::exception& e) {
            // The query did not go out: nobody waits for it, and the user learns why.
            Recover(e.what());
        }
    } catch (...) {
        // Anything else the command met on its way: the main window is back.
        Recover("Errore interno imprevisto.");
    }
}

void TMainForm::ButtonEMailClick() {
    try {
        if (BusyGuard()) {
            return;
        }
        Idle = false;
        hide();
        FocusCommand(ButtonEMail);
        if (CentresCache == nullptr) {
            try {
                FormAttendere->SetText("Richiesta dati...");
                if (RunQuery(AllCentresQuery()) == 0) {
                    // The query has told why. Shown before it is idle again: no memory recovery
                    // on this showing.
                    show();
                    Idle = true;
                    return;
                }
                CentresCache = CMatrix::CreateFrom(*Results);
            } catch (...) {
                // The list could not be had: nothing is cached, so the next use asks again.
                Recover("Errore interno imprevisto");
                CentresCache.reset();
                return;
            }
        }
        if (CentresCache->RowCount() == 0) {
            ShowError("Impossibile elencare i centri", "Errore imprevisto");
            ReturnToIdle();
            return;
        }
        FormCentri->Table.CopyFrom(*CentresCache);
        FormCentri->Work.reset();
        FormCentri->Open("Elenco centri di distribuzione del Orvo", this);
    } catch (...) {
        // The centres window could not be filled or shown: the main window is back.
        Recover("Errore interno imprevisto");
    }
}
