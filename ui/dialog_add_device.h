// The dialog that adds a modem to the list of modems to serve, and the parts of its form
// that the edit dialog shares: the parameter rows, their reading and the collision checks.
#pragma once

#include "core/served_devices.h"

#include <QDialog>

class QBoxLayout;
class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLineEdit;

// The parameters of a modem as typed and checked.
struct Device_params {
    quint64 eui;
    Device_in_cfg device;
};

// The fields of a modem's parameters; the EUI field may have a button beside it.
struct Device_fields {
    QLineEdit* eui;
    QLineEdit* tcp_port;
    QLineEdit* max_frame;
    QComboBox* protocol;
    QLineEdit* units;
    QLineEdit* cache_ms;

    // Adds the rows of the units and the cache time below the others, showing the device's.
    void add_site_rows(QFormLayout& form, const Device_in_cfg& shown);
    // Checks the EUI, then the port, the size, the units and the cache time; throws Err at the
    // first mistake.
    Device_params read() const;
};

// Throws the collision message when devices_in_cfg already has the EUI.
void req_eui_unused(quint64 eui);
// Throws the collision message when tcp_ports already has the port or the site port is on it.
void req_port_unused(quint16 port);

// Adds the accept and reject buttons, wired to the dialog, below the rows; accept is the default.
void add_dialog_buttons(QBoxLayout& layout, QDialog& dialog, const QString& accept_caption,
                        const QString& accept_hint, const QString& reject_caption, const QString& reject_hint);

class Dialog_add_device : public QDialog {
    Q_OBJECT
public:
    explicit Dialog_add_device(QWidget* parent);
    void accept() override;
    // Meaningful only after the dialog was accepted.
    quint64 added_eui() const { return added; }

private slots:
    void on_btn_eui_clicked();

private:
    // The reload of the list waits while the dialog is open.
    Served_devices::Hold hold{served_devices};
    Device_fields fields;
    quint64 added = 0;
};
