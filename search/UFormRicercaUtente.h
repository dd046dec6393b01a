#pragma once
// The works search dialog and the query text it builds.

#include <QDialog>

class TFormRicercaUtente : public QDialog {
    Q_OBJECT

public:
    explicit TFormRicercaUtente(QWidget* owner);
};
