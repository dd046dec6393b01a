// The works search reply and the memory recovery of the main window.

#include <QCoreApplication>
#include <QPushButton>
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
    try {
        FormAttendere->hide();
    } catch (...) {
    }
    if (Failed) {
        try {
            const std::string op = LastReply != nullptr ? LastReply->GetValue("OPERATION") : "";
            TheDesktop().MessageBox(op == "BUSY" ? "Il server \xE8 occupato. Riprovare in seguito"
                                                 : "Errore sul server.",
                                    "Errore", MsgIcon::Error);
        } catch (...) {
        }
        Idle = true;
        show();
        return;
    }
    QPointer<TFormRisultatiRicerca> browser;
    // Whatever goes wrong, the user gets the main window back rather than an empty screen.
    auto recover = [&](const char* text) {
        if (browser != nullptr && !browser->isVisible()) {
            browser->deleteLater();
        }
        try {
            TheDesktop().MessageBox(text, "Errore", MsgIcon::Error);
        } catch (...) {
        }
        Idle = true;
        show();
    };
    try {
        const int n = Results->RowCount();
        if (Interrupted && n == 0) {
            Idle = true;
            show();
            return;
        }
        if (n == 0) {
            throw EOrvoError("Nessuna corrispondenza trovata.");
        }
        FeedbackBeep();
        browser = new TFormRisultatiRicerca(this);
        CurrentResults = browser;
        browser->Table.MoveFrom(*Results);
        browser->setWindowTitle(Q((Interrupted ? "Trasferimento interrotto - Record ricevuti: "
                                               : "Corrispondenze trovate: ") +
                                  std::to_string(n)));
        browser->Record = 1;
        browser->Owner = this;
        browser->show();
        browser->ShowRecord();
    } catch (const std::exception& e) {
        recover(e.what());
    } catch (...) {
        recover("Errore interno imprevisto.");
    }
}

void TMainForm::RecoverMemory() {
    if (!MemoryRecoveryPending) {
        return;
    }
    MemoryRecoveryPending = false;
    if (ReplyHandler) {
        TheDesktop().MessageBox("Errore interno imprevisto", "Errore", MsgIcon::Error);
        return;
    }
    FormAttendere->SetText("Recupero della memoria in corso...");
    FormAttendere->ShowModeless();
    FormAttendere->ButtonAnnulla->setEnabled(false);
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
        TheDesktop().MessageBox("Errore interno imprevisto", "Errore", MsgIcon::Error);
        std::exit(1);
    }
    FormAttendere->hide();
    Idle = true;
    FormAttendere->ButtonAnnulla->setEnabled(true);
    FeedbackBeep();
}
