#pragma once
// The results browser: the works found, one record at a time.

#include <QDialog>

class TFormRisultatiRicerca : public QDialog {
    Q_OBJECT

public:
    explicit TFormRisultatiRicerca(QWidget* owner);
};
