// Temporary: lets the client link until the catalogue windows land.
#include "search/UFormCentri.h"
#include "search/UFormRicercaUtente.h"
#include "search/UFormRisultatiRicerca.h"
#include "ui/UMainForm.h"

TFormCentri::TFormCentri(QWidget* owner) : QDialog(owner) {}
TFormRicercaUtente::TFormRicercaUtente(QWidget* owner) : QDialog(owner) {}
TFormRisultatiRicerca::TFormRisultatiRicerca(QWidget* owner) : QDialog(owner) {}
void TMainForm::ButtonAutoreClick() {}
void TMainForm::ButtonEMailClick() {}
void TMainForm::SearchDone(bool, bool) {}
void TMainForm::RecoverMemory() {}
