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
Tr errfmt_blank_file{TR_TEXT("log",
                             "Файл со списком устройств «%1» пуст, а в действующем списке устройств %2: файл, "
                             "вероятно, ещё не дописан. Чтобы намеренно убрать из списка все устройства, оставьте "
                             "в файле только комментарий (например, строку «# нет устройств») и снова пошлите "
                             "сигнал SIGHUP.")};
Tr logfmt_unsaved_replaced{TR_TEXT("log",
                                   "Действовавший список устройств отличался от файла «%1»: изменения, сделанные в "
                                   "окне списка, не удалось сохранить. Перечитанный файл добавил устройств: %2, "
                                   "убрал: %3, изменил: %4.")};

}  // namespace

List_change list_change(const Devices_in_cfg& before, const Devices_in_cfg& after)
{
    List_change change;
    auto b = before.constBegin();
    auto a = after.constBegin();
    while (b != before.constEnd() || a != after.constEnd()) {
        if (a == after.constEnd() || (b != before.constEnd() && b.key() < a.key())) {
            ++change.removed;
            ++b;
        } else if (b == before.constEnd() || a.key() < b.key()) {
            ++change.added;
            ++a;
        } else {
            change.changed += !same_setup(b.value(), a.value());
            ++a;
            ++b;
        }
    }
    return change;
}

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
    unsaved = false;
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
    unsaved = true;
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
    unsaved = true;
    emit changed();
    return entry;
}

void Served_devices::remove(Devices_in_cfg::iterator entry)
{
    assert_gui_thread();
    if (tcp_ports.remove(entry->tcp_port) != 1)
        log_debug(0x0311);
    {
        QMutexLocker lock(&cfg_mutex);
        devices_in_cfg.erase(entry);
    }
    unsaved = true;
    emit changed();
}

Served_devices::Reload Served_devices::read_settled(const Devices_file_stamp& settled, Devices_in_cfg& devices,
                                                    Port_index& ports) const
{
    const bool blank = !read_devices_file(devices, ports);
    // A write that began while the file was being read may have left it half-way.
    if (stamp_devices_file() != settled)
        return Reload::file_changed;
    // An editor that rewrites the file in place empties it first.
    if (blank && !devices_in_cfg.isEmpty())
        throw Err(errfmt_blank_file.tr().arg(devices_fname, QString::number(devices_in_cfg.size())));
    return Reload::replaced;
}

Served_devices::Reload Served_devices::replace_from_file(const Devices_file_stamp& settled)
{
    assert_gui_thread();
    Q_ASSERT(!held());
    Devices_in_cfg devices;
    Port_index ports;
    try {
        if (read_settled(settled, devices, ports) == Reload::file_changed)
            return Reload::file_changed;
    } catch (const std::exception& e) {
        log_exception(e, logtext_devices_not_reloaded.tr());
        return Reload::kept;
    } catch (...) {
        log_debug(0x0110);
        return Reload::kept;
    }
    if (unsaved)
        log_unsaved_replaced(devices);
    {
        QMutexLocker lock(&cfg_mutex);
        devices_in_cfg.swap(devices);
    }
    tcp_ports.swap(ports);
    unsaved = false;
    log(logtext_devices_reloaded.tr().arg(devices_fname, QString::number(devices_in_cfg.size())));
    emit changed();
    return Reload::replaced;
}

void Served_devices::log_unsaved_replaced(const Devices_in_cfg& devices) const
{
    const List_change change = list_change(devices_in_cfg, devices);
    if (change.added || change.removed || change.changed)
        log(logfmt_unsaved_replaced.tr().arg(devices_fname, QString::number(change.added),
                                             QString::number(change.removed), QString::number(change.changed)));
}

void Served_devices::save()
{
    assert_gui_thread();
    save_devices_in_cfg();
    unsaved = false;
}
