// Qt's own texts in the standard dialogs the client opens come out in Italian even when the
// desktop speaks English: every text Qt asks for reaches a translation.
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <gtest/gtest.h>
#include <set>

#include "platform/Translations.h"

namespace {

// Installed before the others, so Qt consults it last: it sees exactly the texts that no
// other translator answered.
class UntranslatedRecorder : public QTranslator {
public:
    std::set<QString> Seen;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override {
        QString text = QString::fromUtf8(source);
        // Layout direction is asked of every catalogue and answered by none but Qt's own.
        if (!text.isEmpty() && text != "QT_LAYOUT_DIRECTION") {
            const_cast<UntranslatedRecorder*>(this)->Seen.insert(QString::fromUtf8(context) +
                                                                 " / " + text);
        }
        return {};
    }
};

UntranslatedRecorder* Recorder = nullptr;

std::string Listed(const std::set<QString>& texts) {
    std::string out;
    for (const QString& t : texts) {
        out += "\n  " + t.toStdString();
    }
    return out;
}

// Builds a widget's context menu, as a right click or the menu key would.
void OpenContextMenu(QWidget* widget) {
    QMenu* menu = nullptr;
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        menu = line->createStandardContextMenu();
    } else if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
        menu = text->createStandardContextMenu();
    }
    delete menu;
}

} // namespace

TEST(ItalianTexts, MessageBoxesAndInputBoxSpeakItalian) {
    Recorder->Seen.clear();
    QMessageBox box(QMessageBox::Warning, "Attenzione", "Uscire?",
                    QMessageBox::Yes | QMessageBox::No);
    box.show();
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8("&Sì"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), "&No");
    box.hide();

    QInputDialog input;
    input.setLabelText("Record:");
    input.show();
    for (QLineEdit* line : input.findChildren<QLineEdit*>()) {
        OpenContextMenu(line);
    }
    input.hide();
    QPlainTextEdit memo("Titolo");
    memo.setReadOnly(true);
    OpenContextMenu(&memo);
    // The names of the actions a screen reader offers on buttons and edits.
    box.show();
    for (QWidget* widget : std::initializer_list<QWidget*>{box.button(QMessageBox::Yes), &memo}) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        if (QAccessibleActionInterface* actions = accessible->actionInterface()) {
            for (const QString& action : actions->actionNames()) {
                actions->localizedActionName(action);
                actions->localizedActionDescription(action);
            }
        }
    }
    box.hide();
    EXPECT_TRUE(Recorder->Seen.empty()) << Listed(Recorder->Seen);
}

TEST(ItalianTexts, SaveDialogSpeaksItalian) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("Archivio"));
    QFile file(dir.filePath("risultati.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Titolo\n");
    file.close();

    Recorder->Seen.clear();
    QFileDialog dialog(nullptr);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter("File di testo (*.txt);;Tutti i file (*.*)");
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setDirectory(dir.path());
    dialog.show();
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(root), 2, 10000);
    // Every column of every row, as the detail view and a screen reader ask for them. Sizes and
    // dates follow the system's locale, not a translation: they stay in the desktop's language.
    for (int row = 0; row < model->rowCount(root); ++row) {
        for (int column = 0; column < model->columnCount(root); ++column) {
            model->index(row, column, root).data();
        }
    }
    for (int column = 0; column < model->columnCount(root); ++column) {
        model->headerData(column, Qt::Horizontal);
    }
    dialog.grab();
    for (QLineEdit* line : dialog.findChildren<QLineEdit*>()) {
        OpenContextMenu(line);
    }
    dialog.hide();
    EXPECT_TRUE(Recorder->Seen.empty()) << Listed(Recorder->Seen);
}

// The desktop speaks English (ctest sets LC_ALL and LANGUAGE to C); the recorder goes in before
// the Italian catalogues so that Qt consults it last.
class ItalianCatalogues : public ::testing::Environment {
public:
    void SetUp() override {
        Recorder = &recorder;
        QCoreApplication::installTranslator(&recorder);
        ASSERT_TRUE(InstallItalianTranslations())
            << "Qt's Italian catalogue is missing (qt6-translations-l10n)";
    }
    void TearDown() override {
        QCoreApplication::removeTranslator(&recorder);
        Recorder = nullptr;
    }

private:
    UntranslatedRecorder recorder;
};

[[maybe_unused]] const auto* const Catalogues =
    ::testing::AddGlobalTestEnvironment(new ItalianCatalogues);
