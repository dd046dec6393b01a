#pragma once
// The works search dialog: collects the criteria, keeps quarter and year coupled and refuses
// criteria too vague to search with. The query text itself is built from Criteria.

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <functional>

#include "core/CatalogueQuery.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

class TFormRicercaUtente : public QDialog {
    Q_OBJECT

public:
    static constexpr int MaxEditLength = 250;

    explicit TFormRicercaUtente(QWidget* owner);

    // Shows the dialog modally for owner (the main window); true when the user confirmed
    // criteria good enough to search with, false when cancelled or the genres could not be had.
    bool Open(QWidget* owner);
    // 0 when the genre cache is usable.
    int LoadGenres();

    // The criteria of the last confirmed opening.
    SearchCriteria Criteria;

    QGroupBox* GroupBox = nullptr;
    QLineEdit* EditTitolo = nullptr;
    QLineEdit* EditAutoreNome = nullptr;
    QLineEdit* EditEditoreNome = nullptr;
    QComboBox* CBGeneri = nullptr;
    QComboBox* CBTipoRegistrazione = nullptr;
    QComboBox* CBTrimestre = nullptr;
    QComboBox* CBAnno = nullptr;
    QPushButton* ButtonPulisci = nullptr;
    QPushButton* ButtonProcedi = nullptr;
    QPushButton* ButtonAnnulla = nullptr;

public slots:
    void ButtonPulisciClick();
    void ButtonProcediClick();
    void ButtonAnnullaClick();
    void CBTrimestreClick();
    void CBAnnoClick();

protected:
    void showEvent(QShowEvent* event) override;   // FormShow
    void hideEvent(QHideEvent* event) override;   // FormHide
    void closeEvent(QCloseEvent* event) override; // FormClose
    void reject() override;                       // Escape: "&Annulla"

private:
    // The clear-fields operation; its outcome is the genre loading's.
    int ClearFields();
    // Runs follow, the change of one period list after the other, with the coupling off so
    // that it does not bounce back; the coupling is on again afterwards, whatever happened.
    void Couple(const std::function<void()>& follow);

    bool Confirmed = false;
    QPointer<QWidget> Owner;
    bool SyncEnabled = false;
    uint16_t TodayYear = 0;
    uint16_t TodayMonth = 0;
    uint16_t TodayDay = 0;
};
