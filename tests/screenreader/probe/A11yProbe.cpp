// A small window for trying, under a real screen reader, ways to make Qt 6.4 widgets speak what
// the client's windows leave silent: a combo box choice made with the arrow keys, and a record
// text replaced by a button. It is not part of the client: the screen-reader suite runs it with
// each variant and records what Orca says.
//
// Usage: a11y_probe COMBO MEMO
//   COMBO: plain (a non-editable combo box), editable (editable, its line edit read-only and
//          its text selected on each change), editable-unselected (the same, text not selected)
//   MEMO:  plain (the text replaced, the focus put on it), refocus (the focus taken off the
//          text and given back at once), refocus-later (given back once the event loop ran),
//          refocus-delayed (given back 300 ms later)
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <string>

namespace {

const char* const Records[] = {
    "Titolo dell'opera: Primo libro\nGenere: Narrativa\nAutore: Anna Rossi",
    "Titolo dell'opera: Secondo libro\nGenere: Poesia\nAutore: Bruno Verdi",
    "Titolo dell'opera: Terzo libro\nGenere: Teatro\nAutore: Carla Neri",
};
constexpr int RecordCount = 3;

QComboBox* MakeCombo(const std::string& variant, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->addItems({"", "Narrativa", "Poesia", "Teatro"});
    combo->setAccessibleName("Genere:");
    if (variant == "plain") {
        return combo;
    }
    combo->setEditable(true);
    combo->lineEdit()->setReadOnly(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    if (variant == "editable") {
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [combo] { combo->lineEdit()->selectAll(); });
    }
    return combo;
}

class Probe : public QDialog {
public:
    Probe(const std::string& comboVariant, const std::string& memoVariant)
        : memoVariant(memoVariant) {
        setWindowTitle("Prova");
        auto* label = new QLabel("&Genere:", this);
        combo = MakeCombo(comboVariant, this);
        label->setBuddy(combo);
        memo = new QPlainTextEdit(this);
        memo->setReadOnly(true);
        memo->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        next = new QPushButton("&Successivo", this);
        next->setAutoDefault(false);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label);
        layout->addWidget(combo);
        layout->addWidget(memo);
        layout->addWidget(next);
        connect(next, &QPushButton::clicked, this, [this] { Move(); });
        ShowRecord();
        combo->setFocus();
    }

private:
    void ShowRecord() {
        memo->setAccessibleName(QString("Opera numero %1").arg(record + 1));
        memo->setPlainText(Records[record]);
        memo->moveCursor(QTextCursor::Start);
    }

    void Move() {
        record = (record + 1) % RecordCount;
        ShowRecord();
        if (memoVariant == "refocus") {
            next->setFocus();
            memo->setFocus();
        } else if (memoVariant == "refocus-later") {
            next->setFocus();
            QTimer::singleShot(0, memo, [this] { memo->setFocus(); });
        } else if (memoVariant == "refocus-delayed") {
            next->setFocus();
            QTimer::singleShot(300, memo, [this] { memo->setFocus(); });
        } else {
            memo->setFocus();
        }
    }

    std::string memoVariant;
    QComboBox* combo = nullptr;
    QPlainTextEdit* memo = nullptr;
    QPushButton* next = nullptr;
    int record = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: a11y_probe COMBO MEMO\n");
        return 2;
    }
    Probe probe(argv[1], argv[2]);
    probe.show();
    return application.exec();
}
