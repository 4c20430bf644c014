// The dialog that changes the EUI, TCP port, maximum packet size, protocol, site port units or read
// cache time of a modem to serve.
#include "ui/dialog_edit_device.h"

#include "common/hex.h"
#include "ui/fonts.h"
#include "ui/protocol_choice.h"
#include "ui/resources_for_editing.h"
#include "ui/site_units.h"
#include "ui/window_text.h"

#include <QLineEdit>
#include <QFormLayout>
#include <QVBoxLayout>

Dialog_edit_device::Dialog_edit_device(unsigned long eui, Devices_in_cfg::iterator entry, QWidget* parent)
    : QDialog(parent, editing_dialog_flags), opened_eui(eui), entry(entry)
{
    Resources_for_editing::init();
    init_fonts(*this);
    setWindowTitle(title_dialog_edit_device);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    fields.eui = add_field_row(*form, caption_eui, hint_eui, buf_hex64_gui.set(eui), 0);
    fields.tcp_port =
        add_field_row(*form, caption_tcp_port, hint_tcp_port, QString::number(entry->tcp_port), 5);
    fields.max_frame =
        add_field_row(*form, caption_max_frame_sz, hint_max_frame_sz, QString::number(entry->max_frame), 4);
    fields.protocol = add_protocol_row(*form, entry->protocol);
    fields.add_site_rows(*form, *entry);
    add_dialog_buttons(*layout, *this, caption_btn_change, hint_btn_change, caption_btn_not_change,
                       hint_btn_not_change);
}

void Dialog_edit_device::accept()
{
    try {
        const Device_params p = fields.read();
        if (p.device.tcp_port != entry->tcp_port)
            req_port_unused(p.device.tcp_port);
        if (p.eui == opened_eui) {
            if (same_setup(p.device, *entry))
                throw Err(errtext_not_edited.tr());
        } else {
            req_eui_unused(p.eui);
        }
        req_units_unused(p.device.units, opened_eui);
        entry = served_devices.edit(entry, p.eui, p.device);
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(0x0502, this);
    }
}
