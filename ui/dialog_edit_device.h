// The dialog that changes the EUI, TCP port, maximum packet size, protocol, site port units or read
// cache time of a modem to serve.
#pragma once

#include "ui/dialog_add_device.h"

class Dialog_edit_device : public QDialog {
    Q_OBJECT
public:
    Dialog_edit_device(unsigned long eui, Devices_in_cfg::iterator entry, QWidget* parent);
    void accept() override;
    // The modem's EUI as it stands now, changed or not.
    quint64 changed_eui() const { return entry.key(); }

private:
    // The entry stays valid while the dialog is open: a reload of the list waits.
    Served_devices::Hold hold{served_devices};
    const unsigned long opened_eui;
    Devices_in_cfg::iterator entry;
    Device_fields fields;
};
