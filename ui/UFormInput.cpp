#include "ui/UFormInput.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/UOrvoCCommon.h"
#include "platform/Text.h"
#include "ui/UOrvoCCommonWin.h"

TFormInput::TFormInput(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("FormInput");
    resize(583, 123);

    LabelTitle = new QLabel(this);
    Text = new QLineEdit(this);
    Text->setMinimumWidth(552);
    LabelTitle->setBuddy(Text);
    RestrictToCp1252(Text);
    ButtonOk = new QPushButton(Q("&Ok"), this);
    ButtonOk->setAccessibleName(Q("Ok"));
    ButtonOk->setDefault(true);
    ButtonAnnulla = new QPushButton(Q("&Annulla"), this);
    ButtonAnnulla->setAccessibleName(Q("Annulla"));
    // Enter on the focused button presses that button; elsewhere it presses "&Ok".
    ButtonAnnulla->setAutoDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonAnnulla);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelTitle);
    layout->addWidget(Text);
    layout->addLayout(buttons);

    connect(ButtonOk, &QPushButton::clicked, this, &TFormInput::ButtonOkClick);
    connect(ButtonAnnulla, &QPushButton::clicked, this, &TFormInput::ButtonAnnullaClick);

    // FormCreate
    MaximizeIfBlindFriendly(this);
}

void TFormInput::Execute(const std::string& caption, const std::string& prompt,
                         const std::string& initialText, int maxLength, char passwordChar,
                         std::string& output) {
    Cancelled = true;
    setWindowTitle(Q(caption));
    LabelTitle->setText(Q(prompt));
    Text->setAccessibleName(Q(prompt));
    Text->setEchoMode(passwordChar != '\0' ? QLineEdit::Password : QLineEdit::Normal);
    Text->setMaxLength(maxLength > 0 ? maxLength : 32767);
    Text->setText(Q(initialText));
    Text->selectAll();
    Text->setFocus();
    exec();
    output = Cancelled ? std::string() : TrimControl(W(Text->text()));
}

void TFormInput::ButtonOkClick() {
    Cancelled = false;
    close();
}

void TFormInput::ButtonAnnullaClick() {
    Cancelled = true;
    close();
}

void TFormInput::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        RestoreForm(this);
    }
}

void TFormInput::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) {
        MinimizeForm(this);
    }
}
