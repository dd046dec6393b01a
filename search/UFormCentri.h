#pragma once
// The centres browser: distribution centres one record at a time, with their postal and e-mail
// addresses and a button that writes to the centre shown.

#include <QDialog>
#include <QPointer>
#include <string>

#include "core/CMatrix.h"
#include "ui/UOrvoCCommonWin.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

class TFormCentri : public QDialog {
    Q_OBJECT

public:
    explicit TFormCentri(QWidget* owner);
    ~TFormCentri() override;

    // Opening, once Table holds the rows: caption, record 1, the owner to show again on close,
    // then the window and its record.
    void Open(const std::string& caption, QWidget* owner);
    void ShowRecord();

    CMatrix Table;
    int Record = 0;
    QPointer<QWidget> Owner;

    QGroupBox* GroupBox = nullptr;
    QPlainTextEdit* MemoCentro = nullptr;
    QPushButton* ButtonPrimo = nullptr;
    QPushButton* ButtonPrecedente = nullptr;
    QPushButton* ButtonSuccessivo = nullptr;
    QPushButton* ButtonUltimo = nullptr;
    QPushButton* ButtonVaiAl = nullptr;
    QPushButton* ButtonChiudi = nullptr;
    QPushButton* ButtonEMail = nullptr;
    TLinkLabel LMDEmail;

public slots:
    void ButtonPrimoClick();
    void ButtonPrecedenteClick();
    void ButtonSuccessivoClick();
    void ButtonUltimoClick();
    void ButtonVaiAlClick();
    void ButtonChiudiClick();
    void ButtonEMailClick();

protected:
    void showEvent(QShowEvent* event) override;   // FormShow
    void hideEvent(QHideEvent* event) override;   // FormHide
    void closeEvent(QCloseEvent* event) override; // FormClose
    void reject() override;                       // Escape: "&Chiudi"

private:
    void MemoCentroKeyPress();
    void SetEMail(const std::string& address);
};
