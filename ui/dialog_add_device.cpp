// The dialog that adds a modem to the list of modems to serve, and the form it shares with
// the edit dialog.
#include "ui/dialog_add_device.h"

#include "common/hex.h"
#include "core/cfg.h"
#include "core/device_limits.h"
#include "ui/dialog_modems.h"
#include "ui/fonts.h"
#include "ui/protocol_choice.h"
#include "ui/resources_for_editing.h"
#include "ui/site_units.h"
#include "ui/window_text.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QFormLayout>
#include <QVBoxLayout>
#include <limits>

namespace {

const QString initial_max_frame = QString::number(default_max_frame_value);

Tr errfmt_site_port_collision{TR_TEXT("add_device",
                                      "Порт TCP %1 уже занят (общим портом Modbus TCP, параметр "
                                      "«modbus_site_port» файла конфигурации).")};

// The smallest port from first_suggested_port upwards that neither a modem nor the site port
// uses, or an empty text when every one of them is taken.
QString suggested_port()
{
    unsigned long port = first_suggested_port;
    while (port <= max_tcp_port && (tcp_ports.contains(port) || port == modbus_site_port))
        ++port;
    return port <= max_tcp_port ? QString::number(port) : QString();
}

}  // namespace

void Device_fields::add_site_rows(QFormLayout& form, const Device_in_cfg& shown)
{
    units = add_units_row(form, shown.units);
    cache_ms = add_cache_row(form, shown.cache_ms);
}

Device_params Device_fields::read() const
{
    Device_params p{req_hex64(eui, caption_eui, std::numeric_limits<unsigned long long>::max()), {0, 0}};
    p.device.tcp_port = static_cast<quint16>(req_uint(tcp_port, caption_tcp_port, min_tcp_port, max_tcp_port));
    p.device.max_frame = req_uint(max_frame, caption_max_frame_sz, min_max_frame, max_max_frame);
    p.device.protocol = chosen_protocol(*protocol);
    p.device.units = read_units(*units);
    p.device.cache_ms = read_cache_ms(*cache_ms);
    return p;
}

void req_eui_unused(quint64 eui)
{
    if (devices_in_cfg.contains(eui))
        throw Err(errfmt_eui_collision.tr().arg(buf_hex64_gui.set(eui)));
}

void req_port_unused(quint16 port)
{
    if (tcp_ports.contains(port))
        throw Err(errfmt_port_collision.tr().arg(port));
    if (port == modbus_site_port)
        throw Err(errfmt_site_port_collision.tr().arg(port));
}

void add_dialog_buttons(QBoxLayout& layout, QDialog& dialog, const QString& accept_caption,
                        const QString& accept_hint, const QString& reject_caption, const QString& reject_hint)
{
    auto* box = new QDialogButtonBox(Qt::Horizontal);
    QPushButton* accept = box->addButton(accept_caption, QDialogButtonBox::AcceptRole);
    accept->setToolTip(accept_hint);
    // Enter in any field confirms, whichever button was pressed before.
    accept->setDefault(true);
    box->addButton(reject_caption, QDialogButtonBox::RejectRole)->setToolTip(reject_hint);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout.addWidget(box);
}

Dialog_add_device::Dialog_add_device(QWidget* parent) : QDialog(parent, editing_dialog_flags)
{
    Resources_for_editing::init();
    init_fonts(*this);
    setWindowTitle(title_dialog_add_device);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    auto* btn_eui = new QPushButton(caption_btn_eui);
    btn_eui->setToolTip(hint_btn_eui);
    // Never the default: after a modem is picked, Enter adds it rather than opening the picker again.
    btn_eui->setAutoDefault(false);
    connect(btn_eui, &QPushButton::clicked, this, &Dialog_add_device::on_btn_eui_clicked);
    fields.eui = add_field_row(*form, caption_eui, hint_eui, QString(), 16, btn_eui);
    fields.tcp_port = add_field_row(*form, caption_tcp_port, hint_tcp_port_add, suggested_port(), 5);
    fields.max_frame = add_field_row(*form, caption_max_frame_sz, hint_max_frame_sz, initial_max_frame, 4);
    fields.protocol = add_protocol_row(*form, default_port_protocol);
    fields.add_site_rows(*form, Device_in_cfg{default_max_frame_value, 0});
    add_dialog_buttons(*layout, *this, caption_btn_add, hint_btn_add, caption_btn_not_add, hint_btn_not_add);
}

void Dialog_add_device::on_btn_eui_clicked()
{
    Dialog_modems picker(this);
    if (picker.exec() == QDialog::Accepted)
        fields.eui->setText(buf_hex64_gui.set(picker.chosen_eui()));
}

void Dialog_add_device::accept()
{
    try {
        const Device_params p = fields.read();
        req_eui_unused(p.eui);
        req_port_unused(p.device.tcp_port);
        req_units_unused(p.device.units, p.eui);
        served_devices.add(p.eui, p.device);
        added = p.eui;
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(0x0401, this);
    }
}
