#pragma once
// The settings dialog: server address, port and service, the screen-reader friendly
// presentation, and the user name (read only). Created anew for each use; destroys itself when
// it closes.

#include <QDialog>

#include "core/Settings.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TFormImpostazioni : public QDialog {
    Q_OBJECT

public:
    explicit TFormImpostazioni(QWidget* owner);

    // Non-zero mode: modal. Returns Cancelled (false at once in modeless mode).
    bool Execute(int mode);

    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLineEdit* EditAddress = nullptr;
    QLineEdit* EditRemotePort = nullptr;
    QLineEdit* EditService = nullptr;
    QLineEdit* EditUserId = nullptr;
    QLineEdit* EditPassword = nullptr;
    QLabel* LabelPassword = nullptr;
    QCheckBox* CBBlindFriendly = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonAnnulla = nullptr;

    // How the last close came about: "&Ok" pressed (and kept only while the entries are
    // accepted), or cancelled by any other way out.
    bool OkPressed = false;
    bool Cancelled = false;
    // The accepted entries changed the address, port or service.
    bool EndpointChanged = false;

public slots:
    void ButtonOkClick();
    void ButtonAnnullaClick();

protected:
    void closeEvent(QCloseEvent* event) override; // FormClose
    void reject() override;                       // Escape presses "&Annulla"

private:
    // Validates, saves and applies the entries; false (after telling the user) when the dialog
    // must stay open.
    bool AcceptEntries();
    // Runs for every close that is allowed to complete.
    void FinishClose();

    TRegistryInfo Settings;
    bool Modal = false;
};
