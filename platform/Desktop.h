#pragma once
// The seam between the program and the desktop: every message box, input box, save dialog,
// beep, shell open and reading of today's date goes through the installed Desktop, so tests can
// answer them and fix "today". All text is Windows-1252 bytes, as everywhere in the program.

#include <chrono>
#include <optional>
#include <string>

class QWidget;

enum class MsgIcon { Error, Warning, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

struct SaveDialogOptions {
    std::string DefaultExt; // "txt"
    std::string Filter;     // "File di testo (*.txt)|*.txt|Tutti i file (*.*)|*.*"
    // The type shown first (from 1, in Filter's order); on return, the type the user chose.
    int FilterIndex = 1;
    bool OverwritePrompt = true;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                                 MsgButtons buttons = MsgButtons::Ok) = 0;
    // The standard one-line input box; cancelling yields the default.
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& defaultText) = 0;
    // The chosen file name (local 8-bit path), or nullopt when cancelled; options.FilterIndex
    // then holds the type chosen.
    virtual std::optional<std::string> SaveFileName(QWidget* parent,
                                                    SaveDialogOptions& options) = 0;
    virtual void Beep() = 0;
    // Hands an address (UTF-8) to the user's default program; false when that failed.
    virtual bool OpenUrl(const std::string& url) = 0;
    virtual std::chrono::year_month_day Today() = 0;
};

// The desktop in use; the real one unless a test installed another.
Desktop& TheDesktop();
// Installs d (not owned); nullptr restores the real one.
void InstallDesktop(Desktop* d);
// The usual failure report: a box with the error icon and one OK button.
void ShowError(const std::string& text, const std::string& title = "Errore");

// The real desktop: QMessageBox, QInputDialog, QFileDialog, QApplication::beep,
// QDesktopServices::openUrl and the system clock.
class QtDesktop : public Desktop {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& defaultText) override;
    std::optional<std::string> SaveFileName(QWidget* parent, SaveDialogOptions& options) override;
    void Beep() override;
    bool OpenUrl(const std::string& url) override;
    std::chrono::year_month_day Today() override;
};

// The service database: the TCP port of a service name, 0 when the name is unknown.
unsigned short ServicePort(const std::string& name);
