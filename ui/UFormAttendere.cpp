#include "ui/UFormAttendere.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <xcb/xcb.h>

#include "platform/Text.h"
#include "ui/UMainForm.h"

TFormAttendere::TFormAttendere(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("FormAttendere");
    resize(232, 140);

    Label1 = new QLabel(Q("Attendere..."), this);
    QFont big = Label1->font();
    big.setPointSize(18);
    Label1->setFont(big);
    Label1->setAlignment(Qt::AlignCenter);
    LabelStato = new QLabel(this);
    LabelStato->setObjectName("LabelStato");
    LabelStato->setAlignment(Qt::AlignCenter);
    LabelStato->setWordWrap(true);

    ButtonAnnulla = new QPushButton(Q("&Annulla"), this);
    ButtonAnnulla->setAccessibleName(Q("Annulla"));
    ButtonAnnulla->setDefault(true);
    ButtonTermina = new QPushButton(Q("&Termina"), this);
    ButtonTermina->setAccessibleName(Q("Termina"));
    // Enter on the focused button presses that button, never the other one.
    ButtonTermina->setAutoDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(LabelStato);
    layout->addWidget(ButtonAnnulla);
    layout->addWidget(ButtonTermina);

    QCoreApplication::instance()->installNativeEventFilter(&lateFocus);

    connect(ButtonAnnulla, &QPushButton::clicked, this, &TFormAttendere::ButtonAnnullaClick);
    connect(ButtonTermina, &QPushButton::clicked, this, &TFormAttendere::ButtonTerminaClick);
}

TFormAttendere::~TFormAttendere() {
    QCoreApplication::instance()->removeNativeEventFilter(&lateFocus);
}

bool TFormAttendere::IsLateFocus(const QByteArray& eventType, void* message) const {
    if (eventType != "xcb_generic_event_t" || isVisible() ||
        !testAttribute(Qt::WA_WState_Created)) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_FOCUS_IN) {
        return false;
    }
    const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
    return static_cast<WId>(focus->event) == internalWinId();
}

bool TFormAttendere::LateFocusFilter::nativeEventFilter(const QByteArray& eventType, void* message,
                                                        qintptr*) {
    if (!dialog->IsLateFocus(eventType, message)) {
        return false;
    }
    // The focus the window system took from the window on screen for this one is given back.
    auto* target = const_cast<TFormAttendere*>(dialog);
    QMetaObject::invokeMethod(target, &TFormAttendere::GiveBackLateFocus, Qt::QueuedConnection);
    return true;
}

void TFormAttendere::SetText(const std::string& text) {
    setWindowTitle(Q(text));
    LabelStato->setText(Q(text));
    // The caption is what a screen reader announces for a tool window.
    setAccessibleName(Q(text));
}

std::string TFormAttendere::Text() const {
    return W(windowTitle());
}

void TFormAttendere::ShowModeless() {
    setModal(false);
    show();
    raise();
    activateWindow();
}

void TFormAttendere::ShowModal() {
    if (isVisible()) {
        hide();
    }
    exec();
}

void TFormAttendere::CloseDialog() {
    // done() ends a modal loop as well as hiding a modeless showing.
    done(QDialog::Rejected);
}

void TFormAttendere::AllowCancel(bool allowed) {
    ButtonAnnulla->setEnabled(allowed);
}

bool TFormAttendere::CancelAllowed() const {
    return ButtonAnnulla->isEnabled();
}

void TFormAttendere::ButtonAnnullaClick() {
    CancelRequested = true;
    try {
        if (ReplyHandler && MainForm != nullptr) {
            MainForm->SendAbort();
        }
    } catch (...) {
        // A send that fails shows up as a socket event.
    }
}

void TFormAttendere::ButtonTerminaClick() {
    TerminateApplication();
}

void TFormAttendere::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TFormAttendere::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) {
        FormHide();
    }
}

void TFormAttendere::reject() {
    // Escape presses "&Annulla"; the dialog itself stays up.
    if (CancelAllowed()) {
        ButtonAnnullaClick();
    }
}

void TFormAttendere::closeEvent(QCloseEvent* event) {
    // There is no close box: the dialog goes away only when its user hides or closes it.
    event->ignore();
}

void TFormAttendere::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isVisible()) {
        // Not from inside the activation change being delivered.
        QMetaObject::invokeMethod(this, &TFormAttendere::GiveBackStaleActivation,
                                  Qt::QueuedConnection);
    }
}

namespace {
// The window of the program now on screen, other than except: the modal one if any, since the
// program shows one window at a time otherwise.
QWidget* WindowOnScreen(const QWidget* except) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != except && modal->isVisible()) {
        return modal;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = w->windowType();
        if (w != except && w->isVisible() && (type == Qt::Window || type == Qt::Dialog)) {
            return w;
        }
    }
    return nullptr;
}
} // namespace

void TFormAttendere::GiveBackStaleActivation() {
    if (isVisible() || QApplication::activeWindow() != this) {
        return;
    }
    if (QWidget* target = WindowOnScreen(this)) {
        QApplication::setActiveWindow(target);
    }
}

void TFormAttendere::GiveBackLateFocus() {
    QWidget* target = WindowOnScreen(this);
    if (!isVisible() && target != nullptr && QApplication::activeWindow() != target) {
        QApplication::setActiveWindow(target);
    }
}

void TFormAttendere::ReannounceActiveWindow() {
    if (isVisible()) {
        return;
    }
    QWidget* active = QApplication::activeWindow();
    if (active == nullptr || active == this || !active->isVisible()) {
        active = WindowOnScreen(this);
    }
    if (active != nullptr) {
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(active);
    }
}

void TFormAttendere::FormShow() {
    Idle = false;
    setWindowState(SessionSettings.BlindFriendly ? Qt::WindowMaximized : Qt::WindowNoState);
    CancelRequested = false;
    AllowCancel(true);
}

void TFormAttendere::FormHide() {
    QMetaObject::invokeMethod(this, &TFormAttendere::ReannounceActiveWindow, Qt::QueuedConnection);
    CancelRequested = false;
    AllowCancel(true);
    MinimizeForm(this);
}

void HideWait() {
    if (FormAttendere != nullptr) {
        FormAttendere->hide();
    }
}

void SetWaitText(const std::string& text) {
    if (FormAttendere != nullptr) {
        FormAttendere->SetText(text);
    }
}
