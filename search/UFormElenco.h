#pragma once
// "Elenco delle opere trovate": every work of the results browser's table in one list, so a
// reader can skim the titles and pick the one to read in the browser.

#include <QAbstractTableModel>
#include <QDialog>
#include <QElapsedTimer>

#include "core/WorkList.h"

class CMatrix;
class QKeyEvent;
class QPushButton;
class QTableView;

// The five columns over the result table itself: cells are read when the view asks for them,
// so a list of any length costs no copy. Column 0's accessible text is the whole row, so a
// screen reader reads the row as one line.
class TWorkListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Throws EOrvoError when the table lacks a column the list shows.
    TWorkListModel(const CMatrix& table, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const WorkList& List() const { return Works; }

private:
    WorkList Works;
};

class TFormElenco : public QDialog {
    Q_OBJECT

public:
    // Throws EOrvoError when the table lacks a column the list shows.
    TFormElenco(QWidget* owner, const CMatrix& table);

    // Shows the list with record current (from 1) selected; the record chosen with "&Mostra"
    // or Enter, or 0 when the list was closed without a choice.
    int Choose(int current);
    // The row now current in the list, from 1 (0 when none).
    int CurrentRecord() const;
    // Makes row (from 1) current, selected and in view.
    void GoTo(int row);

    QTableView* GridOpere = nullptr;
    QPushButton* ButtonMostra = nullptr;
    QPushButton* ButtonChiudi = nullptr;

public slots:
    void ButtonMostraClick();
    void ButtonChiudiClick();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A letter typed in the list: the jump to the next title it begins; false for other keys.
    bool TypeLetter(const QKeyEvent& key);

    TWorkListModel* Model = nullptr;
    TypeAhead Typing;
    QElapsedTimer LastKey;
    int Chosen = 0;
    bool Announced = false;
};
