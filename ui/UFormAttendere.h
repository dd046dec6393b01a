#pragma once
// The wait dialog: "Attendere..." with the status text as its window caption and below it,
// "&Annulla" to cancel the running operation and "&Termina" to end the program.

#include <QAbstractNativeEventFilter>
#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

class TFormAttendere : public QDialog {
    Q_OBJECT

public:
    explicit TFormAttendere(QWidget* owner);
    ~TFormAttendere() override;

    // The status text (the window caption), Windows-1252.
    void SetText(const std::string& text);
    std::string Text() const;
    // Shows without modality and returns at once.
    void ShowModeless();
    // Shows modally; returns when the dialog is hidden or closed.
    void ShowModal();
    // Ends a modal showing (or simply hides).
    void CloseDialog();
    // Whether "&Annulla" may be pressed. Every showing and hiding allows it again; the start-up
    // and the memory recovery, which cannot be cancelled, forbid it while they run.
    void AllowCancel(bool allowed);
    bool CancelAllowed() const;

    // Whether a window-system message is the focus arriving at this dialog once it is hidden
    // again: after a brief showing the window manager may still hand it the focus, after the
    // window that followed. Taken, it would make the dialog active off screen, keys would go
    // to it and a screen reader would announce it over the window the user has.
    bool IsLateFocus(const QByteArray& eventType, void* message) const;

    QLabel* Label1 = nullptr;
    // The status text again, in the window's body: a screen reader reads a label there, while
    // a caption that changes on screen is never read out again.
    QLabel* LabelStato = nullptr;
    QPushButton* ButtonAnnulla = nullptr;
    QPushButton* ButtonTermina = nullptr;

public slots:
    void ButtonAnnullaClick();
    void ButtonTerminaClick();

protected:
    void showEvent(QShowEvent* event) override; // FormShow
    void hideEvent(QHideEvent* event) override; // FormHide
    void reject() override;                     // Escape presses "&Annulla"
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class LateFocusFilter : public QAbstractNativeEventFilter {
    public:
        explicit LateFocusFilter(const TFormAttendere* dialog) : dialog(dialog) {}
        bool nativeEventFilter(const QByteArray& eventType, void* message,
                               qintptr* result) override;

    private:
        const TFormAttendere* dialog;
    } lateFocus{this};

    // The window system may hand the activation of a showing that was brief (a fast reply)
    // to this dialog once it is hidden again, after the window that followed it: keys would
    // then go to a window not on screen, and a screen reader would announce the wait over the
    // window the user has. The activation goes back to the window on screen.
    void GiveBackStaleActivation();
    // A window that stayed active (to the program) while this dialog was up gets no new
    // activation when it goes, so a screen reader, which saw this dialog last, would not
    // announce the window now in charge: its activation is given again.
    void ReannounceActiveWindow();
    // After a late focus was dropped: the window on screen is the active one.
    void GiveBackLateFocus();

    void FormShow();
    void FormHide();
};

// The wait dialog of the running program (FormAttendere), when there is one: it goes with the
// main window.
void HideWait();
void SetWaitText(const std::string& text);
