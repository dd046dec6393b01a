#include "ui/UFormGuida.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QVBoxLayout>
#include <map>

#include "platform/Text.h"
#include "ui/UOrvoCCommonWin.h"

namespace {

// Windows by object name; a window without a section is covered by the window it belongs to.
const std::map<QString, QString>& WindowSections() {
    static const std::map<QString, QString> sections = {{"MainForm", "principale"},
                                                        {"FormRicercaUtente", "ricerca"},
                                                        {"FormRisultatiRicerca", "risultati"},
                                                        {"FormElenco", "elenco"},
                                                        {"FormCentri", "centri"},
                                                        {"FormImpostazioni", "impostazioni"},
                                                        {"FormAttendere", "attesa"},
                                                        {"FormInput", "immissione"},
                                                        {"FormGuida", "guida"}};
    return sections;
}

QString LoadSection(const QString& section) {
    QFile file(":/help/" + section + ".html");
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != 0) {
            return false;
        }
        try {
            QWidget* window = static_cast<QWidget*>(watched)->window();
            if (window->objectName() == "FormGuida") {
                return true;
            }
            TFormGuida guide(window);
            guide.GoToSection(TFormGuida::SectionOf(window));
            guide.exec();
        } catch (...) {
            // No guide this time; the window the user was in is untouched.
        }
        return true;
    }
};

QPointer<HelpKeyFilter> Installed;

} // namespace

const std::vector<QString>& TFormGuida::Sections() {
    static const std::vector<QString> order = {"principale", "ricerca",    "risultati",
                                               "elenco",     "centri",     "impostazioni",
                                               "attesa",     "immissione", "guida"};
    return order;
}

QString TFormGuida::SectionOf(const QWidget* window) {
    for (const QWidget* w = window; w != nullptr; w = w->parentWidget()) {
        const auto it = WindowSections().find(w->window()->objectName());
        if (it != WindowSections().end()) {
            return it->second;
        }
        w = w->window();
    }
    return "principale";
}

TFormGuida::TFormGuida(QWidget* owner) : QDialog(owner) {
    setObjectName("FormGuida");
    setWindowTitle(Q("Guida di Dravel"));
    setSizeGripEnabled(true);
    resize(640, 480);

    // A read-only QTextEdit with a caret: Orca reads it line by line as a document, where a
    // text browser was announced as a single label.
    MemoGuida = new QTextEdit(this);
    MemoGuida->setObjectName("MemoGuida");
    MemoGuida->setReadOnly(true);
    MemoGuida->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    MemoGuida->setTabChangesFocus(true);
    MemoGuida->setAccessibleName(Q("Guida di Dravel"));

    QString html;
    for (const QString& section : Sections()) {
        html += LoadSection(section);
    }
    MemoGuida->setHtml(html);
    for (QTextBlock b = MemoGuida->document()->begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() == 1) {
            SectionStarts.push_back(b.position());
        }
    }

    ButtonChiudi = new QPushButton(Q("&Chiudi"), this);
    ButtonChiudi->setAccessibleName(Q("Chiudi"));
    ButtonChiudi->setAutoDefault(false);
    connect(ButtonChiudi, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonChiudi);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MemoGuida, 1);
    layout->addLayout(buttons);

    MaximizeIfBlindFriendly(this);
    MemoGuida->setFocus();
}

void TFormGuida::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The text is laid out for the window's real size only now: place the heading again.
    GoToSection(Section);
}

void TFormGuida::GoToSection(const QString& section) {
    Section = section;
    const std::vector<QString>& order = Sections();
    int position = 0;
    for (size_t i = 0; i < order.size() && i < SectionStarts.size(); ++i) {
        if (order[i] == section) {
            position = SectionStarts[i];
        }
    }
    QTextCursor cursor(MemoGuida->document());
    cursor.setPosition(position);
    MemoGuida->setTextCursor(cursor);
    // The heading at the top of the view, not merely somewhere in it.
    MemoGuida->verticalScrollBar()->setValue(MemoGuida->verticalScrollBar()->maximum());
    MemoGuida->ensureCursorVisible();
}

QString TFormGuida::CurrentSection() const {
    const int position = MemoGuida->textCursor().position();
    QString current;
    for (size_t i = 0; i < SectionStarts.size() && i < Sections().size(); ++i) {
        if (SectionStarts[i] <= position) {
            current = Sections()[i];
        }
    }
    return current;
}

void InstallHelpKey() {
    if (Installed != nullptr || qApp == nullptr) {
        return;
    }
    Installed = new HelpKeyFilter(qApp);
    qApp->installEventFilter(Installed);
}
