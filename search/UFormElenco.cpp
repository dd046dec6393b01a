#include "search/UFormElenco.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/Text.h"
#include "search/BrowserSupport.h"
#include "ui/UOrvoCCommonWin.h"

TWorkListModel::TWorkListModel(const CMatrix& table, QObject* parent)
    : QAbstractTableModel(parent), Works(table) {}

int TWorkListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Works.RowCount();
}

int TWorkListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : WorkList::ColumnCount;
}

QVariant TWorkListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return Q(Works.Cell(index.row() + 1, index.column()));
    }
    if (role == Qt::AccessibleTextRole) {
        // A blank, not an empty text, which would stand for the cell's value: the row's other
        // cells add nothing to the line the screen reader has just read.
        return index.column() == 0 ? Q(Works.RowText(index.row() + 1)) : QString(" ");
    }
    return {};
}

QVariant TWorkListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return Q(WorkList::Heading(section));
    }
    return section + 1;
}

TFormElenco::TFormElenco(QWidget* owner, const CMatrix& table) : QDialog(owner) {
    setObjectName("FormElenco");
    setWindowTitle(Q("Elenco delle opere trovate"));
    setSizeGripEnabled(true);
    resize(720, 480);

    Model = new TWorkListModel(table, this);
    GridOpere = new QTableView(this);
    GridOpere->setObjectName("GridOpere");
    GridOpere->setModel(Model);
    GridOpere->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridOpere->setSelectionMode(QAbstractItemView::SingleSelection);
    GridOpere->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the buttons, as everywhere else in the program.
    GridOpere->setTabKeyNavigation(false);
    GridOpere->setWordWrap(false);
    GridOpere->verticalHeader()->setVisible(false);
    // Fixed sizes: a view that measured its rows or cells would read all of a long table.
    GridOpere->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    GridOpere->verticalHeader()->setDefaultSectionSize(GridOpere->fontMetrics().height() + 6);
    GridOpere->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {260, 160, 110, 100};
    for (int c = 0; c < 4; ++c) {
        GridOpere->setColumnWidth(c, widths[c]);
    }
    SetAccessibleName(GridOpere, "Opere trovate");
    GridOpere->installEventFilter(this);

    auto* label = new QLabel(Q("&Opere trovate:"), this);
    label->setBuddy(GridOpere);

    ButtonMostra = new QPushButton(Q("&Mostra"), this);
    ButtonChiudi = new QPushButton(Q("&Chiudi"), this);
    for (QPushButton* b : {ButtonMostra, ButtonChiudi}) {
        b->setAutoDefault(false);
        ClickOnEnter(b);
        SetAccessibleName(b, W(b->text()));
    }
    connect(ButtonMostra, &QPushButton::clicked, this, &TFormElenco::ButtonMostraClick);
    connect(ButtonChiudi, &QPushButton::clicked, this, &TFormElenco::ButtonChiudiClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonMostra);
    buttons->addStretch();
    buttons->addWidget(ButtonChiudi);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(GridOpere, 1);
    layout->addLayout(buttons);

    MaximizeIfBlindFriendly(this);
}

int TFormElenco::Choose(int current) {
    Chosen = 0;
    GoTo(current);
    GridOpere->setFocus();
    Announced = false;
    exec();
    return Chosen;
}

int TFormElenco::CurrentRecord() const {
    const QModelIndex i = GridOpere->currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

void TFormElenco::GoTo(int row) {
    if (row < 1 || row > Model->rowCount()) {
        return;
    }
    const QModelIndex index = Model->index(row - 1, 0);
    GridOpere->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    GridOpere->scrollTo(index);
}

void TFormElenco::ButtonMostraClick() {
    Chosen = CurrentRecord();
    accept();
}

void TFormElenco::ButtonChiudiClick() {
    Chosen = 0;
    reject();
}

bool TFormElenco::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && !Announced) {
        Announced = true;
        // A screen reader reads the current row only when it becomes current in an active
        // window: made current again now, the row is read on opening.
        const int row = CurrentRecord();
        QTimer::singleShot(0, this, [this, row] {
            GridOpere->selectionModel()->setCurrentIndex(QModelIndex(),
                                                         QItemSelectionModel::NoUpdate);
            GoTo(row);
        });
    }
    return QDialog::event(event);
}

bool TFormElenco::eventFilter(QObject* watched, QEvent* event) {
    if (watched != GridOpere || event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ButtonMostraClick();
        return true;
    case Qt::Key_Home:
        GoTo(1);
        return true;
    case Qt::Key_End:
        GoTo(Model->rowCount());
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        // The current cell stays in the first column, whose text is the whole row.
        return true;
    default:
        break;
    }
    try {
        if (TypeLetter(*key)) {
            return true;
        }
    } catch (...) {
        // A letter that could not be looked up moves nothing; the list goes on working.
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool TFormElenco::TypeLetter(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    const QString text = key.text();
    if ((mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0 &&
        text.size() == 1 && text[0].isPrint() && !text[0].isSpace()) {
        const std::string letter = W(text);
        const bool continued =
            LastKey.isValid() && LastKey.elapsed() < QApplication::keyboardInputInterval();
        LastKey.start();
        const int row = Typing.Type(Model->List(), letter.empty() ? '?' : letter[0],
                                    CurrentRecord(), continued);
        if (row > 0) {
            GoTo(row);
        } else {
            FeedbackBeep();
        }
        return true;
    }
    return false;
}
