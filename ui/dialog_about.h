// The About dialog and the program's identification text.
#pragma once

#include <QDialog>

class Dialog_about : public QDialog {
    Q_OBJECT
public:
    explicit Dialog_about(QWidget* parent = nullptr);
    static QString about();
};
