// The exit dialog: shown while the exchange thread closes the network connections, accepted
// by itself when the thread has ended, rejected when the user chooses to quit at once.
#pragma once

#include <QDialog>
#include <QThread>

class Dialog_exit : public QDialog {
public:
    Dialog_exit(QWidget* parent, QThread& thread);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QThread& thread;
};
