#pragma once
// The centres browser: distribution centres one record at a time, with their postal and e-mail
// addresses and a button that writes to the centre shown.

#include <string>

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
