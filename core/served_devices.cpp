// The owner of the list of modems to serve: edits, the reload from the devices file and the
// save, each published under cfg_mutex and announced once.
#include "core/served_devices.h"

#include "core/cfg.h"
#include "core/devices_file.h"
#include "common/err.h"

#include <QMutexLocker>
#include <QThread>

Served_devices served_devices;

namespace {

Tr logtext_devices_reloaded{TR_TEXT("log", "Файл со списком устройств «%1» перечитан: устройств в списке %2.")};
Tr logtext_devices_not_reloaded{TR_TEXT("log",
                                        "Файл со списком устройств не перечитан, действует прежний список "
                                        "устройств.")};

}  // namespace

Served_devices::Hold::Hold(Served_devices& owner) : owner(owner)
{
    owner.assert_gui_thread();
    ++owner.holds;
}

Served_devices::Hold::~Hold()
{
    --owner.holds;
}

void Served_devices::assert_gui_thread() const
{
    Q_ASSERT(QThread::currentThread() == thread());
}

void Served_devices::load()
{
    assert_gui_thread();
    load_devices_in_cfg();
}

Devices_in_cfg::iterator Served_devices::add(quint64 eui, const Device_in_cfg& device)
{
    assert_gui_thread();
    Devices_in_cfg::iterator entry;
    {
        QMutexLocker lock(&cfg_mutex);
        entry = devices_in_cfg.insert(eui, device);
    }
    tcp_ports.insert(device.tcp_port, entry);
    emit changed();
    return entry;
}

Devices_in_cfg::iterator Served_devices::edit(Devices_in_cfg::iterator entry, quint64 eui,
                                              const Device_in_cfg& device)
{
    assert_gui_thread();
    const quint16 old_port = entry->tcp_port;
    const bool moved = eui != entry.key();
    {
        QMutexLocker lock(&cfg_mutex);
        if (moved) {
            devices_in_cfg.erase(entry);
            entry = devices_in_cfg.insert(eui, device);
        } else {
            *entry = device;
        }
    }
    if (device.tcp_port != old_port && tcp_ports.remove(old_port) != 1)
        log_debug(0x0501);
    // A new EUI moves the entry, so the unchanged port has to point at its new place too.
    if (device.tcp_port != old_port || moved)
        tcp_ports.insert(device.tcp_port, entry);
    emit changed();
    return entry;
}

void Served_devices::remove(Devices_in_cfg::iterator entry)
{
    assert_gui_thread();
    if (tcp_ports.remove(entry->tcp_port) != 1)
        log_debug(0x0306);
    {
        QMutexLocker lock(&cfg_mutex);
        devices_in_cfg.erase(entry);
    }
    emit changed();
}

bool Served_devices::replace_from_file()
{
    assert_gui_thread();
    Q_ASSERT(!held());
    Devices_in_cfg devices;
    Port_index ports;
    try {
        read_devices_file(devices, ports);
    } catch (const std::exception& e) {
        log_exception(e, logtext_devices_not_reloaded.tr());
        return false;
    } catch (...) {
        log_debug(0x0110);
        return false;
    }
    {
        QMutexLocker lock(&cfg_mutex);
        devices_in_cfg.swap(devices);
    }
    tcp_ports.swap(ports);
    log(logtext_devices_reloaded.tr().arg(devices_fname, QString::number(devices_in_cfg.size())));
    emit changed();
    return true;
}

void Served_devices::save()
{
    assert_gui_thread();
    save_devices_in_cfg();
}
