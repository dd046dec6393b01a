#pragma once
// The centres browser: distribution centres one record at a time.

#include <QDialog>

class TFormCentri : public QDialog {
    Q_OBJECT

public:
    explicit TFormCentri(QWidget* owner);
};
