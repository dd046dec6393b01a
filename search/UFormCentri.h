#pragma once
// The centres browser: distribution centres one record at a time, with their postal and e-mail
// addresses and a button that writes to the centre shown.

#include <optional>
#include <string>

#include "core/WorkRequest.h"

#include "search/BrowserSupport.h"
#include "ui/UOrvoCCommonWin.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

class TFormCentri : public TRecordBrowser {
    Q_OBJECT

public:
    explicit TFormCentri(QWidget* owner);
    ~TFormCentri() override;

    QGroupBox* GroupBox = nullptr;
    QPlainTextEdit* MemoCentro = nullptr;
    QPushButton* ButtonEMail = nullptr;
    TLinkLabel LMDEmail;
    // The work the centres were looked up for: "Scrivi a questo centro" then writes the
    // request for it. Empty for the list of all centres; cleared when the window closes.
    std::optional<RequestedWork> Work;

public slots:
    void ButtonEMailClick();

protected:
    void FillRecord() override;
    void showEvent(QShowEvent* event) override;   // FormShow
    void hideEvent(QHideEvent* event) override;   // FormHide
    void closeEvent(QCloseEvent* event) override; // FormClose

private:
    void SetEMail(const std::string& address);
};
