#pragma once
// A modal one-line text prompt.

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TFormInput : public QDialog {
    Q_OBJECT

public:
    explicit TFormInput(QWidget* owner);

    // Shows the prompt modally. Output: the trimmed text after "&Ok", empty otherwise.
    void Execute(const std::string& caption, const std::string& prompt,
                 const std::string& initialText, int maxLength, char passwordChar,
                 std::string& output);

    QLabel* LabelTitle = nullptr;
    QLineEdit* Text = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonAnnulla = nullptr;
    bool Cancelled = true;

public slots:
    void ButtonOkClick();
    void ButtonAnnullaClick();

protected:
    void showEvent(QShowEvent* event) override; // FormShow
    void hideEvent(QHideEvent* event) override; // FormHide
};
