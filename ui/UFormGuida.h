#pragma once
// "Guida di Dravel": the help, one section per window, read-only text a screen reader reads
// line by line. F1 anywhere opens it at the section of the window in use.

#include <QDialog>
#include <QString>
#include <vector>

class QPushButton;
class QTextEdit;

class TFormGuida : public QDialog {
    Q_OBJECT

public:
    explicit TFormGuida(QWidget* owner);

    // The section about window (or the nearest window above it that has one), the main
    // window's when none has.
    static QString SectionOf(const QWidget* window);
    // Every section, in the order the guide shows them.
    static const std::vector<QString>& Sections();

    // Puts the caret on the heading of section and that heading at the top.
    void GoToSection(const QString& section);
    // The section the caret is in.
    QString CurrentSection() const;

    QTextEdit* MemoGuida = nullptr;
    QPushButton* ButtonChiudi = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString Section;
    // Where each section's heading starts in the text, in the order of Sections().
    std::vector<int> SectionStarts;
};

// F1 in any window of the application opens the guide there; installed once.
void InstallHelpKey();
