#pragma once
// The results browser: the works found, one record at a time, with the lookup of the centres
// holding the work shown and the export of all results to a text file.

#include <QDialog>
#include <QPointer>
#include <string>

#include "core/CMatrix.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

class TFormRisultatiRicerca : public QDialog {
    Q_OBJECT

public:
    explicit TFormRisultatiRicerca(QWidget* owner);
    ~TFormRisultatiRicerca() override;

    void ShowRecord();

    CMatrix Table;
    int Record = 0;
    QPointer<QWidget> Owner;
    bool Exporting = false;

    QGroupBox* GroupBoxOpera = nullptr;
    QPlainTextEdit* MemoOpera = nullptr;
    QPushButton* ButtonPrimo = nullptr;
    QPushButton* ButtonPrecedente = nullptr;
    QPushButton* ButtonSuccessivo = nullptr;
    QPushButton* ButtonUltimo = nullptr;
    QPushButton* ButtonVaiAl = nullptr;
    QPushButton* ButtonChiudi = nullptr;
    QPushButton* ButtonCentri = nullptr;
    QPushButton* ButtonSalva = nullptr;

public slots:
    void ButtonPrimoClick();
    void ButtonPrecedenteClick();
    void ButtonSuccessivoClick();
    void ButtonUltimoClick();
    void ButtonVaiAlClick();
    void ButtonChiudiClick();
    void ButtonCentriClick();
    void ButtonSalvaClick();
    // The reply routine of the centres lookup.
    void CentresDone(bool Interrupted, bool Failed);

protected:
    void showEvent(QShowEvent* event) override;   // FormShow
    void hideEvent(QHideEvent* event) override;   // FormHide
    void closeEvent(QCloseEvent* event) override; // FormClose
    void reject() override;                       // Escape: "&Chiudi"

private:
    void MemoOperaKeyPress();
    // The export after the file name is known.
    void SaveTo(const std::string& fileName);
};
