#pragma once
// The results browser: the works found, one record at a time, with the lookup of the centres
// holding the work shown and the export of all results to a text file.

#include <string>

#include "core/SaveFormats.h"
#include "search/BrowserSupport.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

class TFormRisultatiRicerca : public TRecordBrowser {
    Q_OBJECT

public:
    explicit TFormRisultatiRicerca(QWidget* owner);
    ~TFormRisultatiRicerca() override;

    QGroupBox* GroupBoxOpera = nullptr;
    QPlainTextEdit* MemoOpera = nullptr;
    QPushButton* ButtonCentri = nullptr;
    QPushButton* ButtonSalva = nullptr;
    QPushButton* ButtonElenco = nullptr;

public slots:
    void ButtonCentriClick();
    void ButtonSalvaClick();
    void ButtonElencoClick();
    // The reply routine of the centres lookup.
    void CentresDone(bool Interrupted, bool Failed);

protected:
    void FillRecord() override;
    void showEvent(QShowEvent* event) override;   // FormShow
    void hideEvent(QHideEvent* event) override;   // FormHide
    void closeEvent(QCloseEvent* event) override; // FormClose

private:
    // The export after the file name is known.
    void SaveTo(const std::string& fileName, SaveFormat format);
    // The export's failure: the wait dialog (when shown) goes, the user is told, the browser
    // is back.
    void ReportWriteError(bool waitShown);

    bool Exporting = false;
};
