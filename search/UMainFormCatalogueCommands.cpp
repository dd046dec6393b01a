// The main window's catalogue commands: the works search and the list of all centres.

#include <QCoreApplication>

#include "core/CatalogueQuery.h"
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
            TheDesktop().MessageBox("Connessione con il server mancante.", "Impossibile procedere",
                                    MsgIcon::Error);
            return;
        }
        FeedbackBeep();
        hide();
        if (!FormRicercaUtente->Open(this)) {
            Idle = true;
            show();
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
            if (SendQuery(q.Select, q.From, q.Where, q.OrderBy) == 0) {
                throw EOrvoError("Impossibile contattare il server.");
            }
        } catch (const std::exception& e) {
            ReplyHandler.Clear();
            FormAttendere->hide();
            TheDesktop().MessageBox(e.what(), "Errore", MsgIcon::Error);
            Idle = true;
            show();
        }
    } catch (...) {
        ReplyHandler.Clear();
        TheDesktop().MessageBox("Errore interno imprevisto.", "Errore", MsgIcon::Error);
        Idle = true;
        show();
    }
}

void TMainForm::ButtonEMailClick() {
    try {
        if (BusyGuard()) {
            return;
        }
        Idle = false;
        hide();
        if (CentresCache == nullptr) {
            try {
                FormAttendere->SetText("Richiesta dati...");
                const QueryTexts q = AllCentresQuery();
                if (RunQuery(q.Select, q.From, q.Where, q.OrderBy) == 0) {
                    show();
                    Idle = true;
                    return;
                }
                CentresCache.reset(CMatrix::CreateFrom(*Results));
            } catch (...) {
                FormAttendere->hide();
                TheDesktop().MessageBox("Errore interno imprevisto", "Errore", MsgIcon::Error);
                Idle = true;
                show();
                try {
                    CentresCache.reset();
                } catch (...) {
                }
                return;
            }
        }
        if (CentresCache->RowCount() == 0) {
            TheDesktop().MessageBox("Impossibile elencare i centri", "Errore imprevisto",
                                    MsgIcon::Error);
            Idle = true;
            show();
            return;
        }
        FormCentri->Table.CopyFrom(*CentresCache);
        FormCentri->Open("Elenco centri di distribuzione del Orvo", this);
    } catch (...) {
        TheDesktop().MessageBox("Errore interno imprevisto", "Errore", MsgIcon::Error);
        Idle = true;
        show();
    }
}
