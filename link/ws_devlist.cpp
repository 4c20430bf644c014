// The server's device list and the reconciliation of the running TCP servers with it and with the
// modems to serve: one TCP server for every modem that is in both lists. The one place where the
// link knows its ports as Tcp_servers.
#include "link/ws_connection.h"

#include "core/cfg.h"
#include "core/modem_state.h"
#include "core/shared.h"
#include "common/err.h"
#include "common/hex.h"
#include "link/ws_fields.h"
#include "link/ws_parser.h"
#include "metrics/metrics.h"
#include "tcp/tcp_server.h"

#include <QMutexLocker>
#include <algorithm>
#include <limits>

namespace {

Tr errtext_devlist_lacks_devices_list{TR_TEXT(
    "log", "Ответ сервера RUVO-LoRa \"get_device_appdata_resp\" помечен как успешный (\"status\":true), но в нём "
           "нет поля \"devices_list\".")};
Tr errtext_devlist_lacks_eui{TR_TEXT("log",
                                     "в возвращённом сервером RUVO-LoRa описании устройства отсутствует "
                                     "обязательное поле \"devEui\".")};
Tr errfmt_devlist_eui_again{TR_TEXT("log",
                                    "В ответе сервера RUVO-LoRa на команду 'get_device_appdata_req' обнаружено "
                                    "несколько записей с одним и тем же EUI: 0x%1. Все записи кроме первой "
                                    "игнорируются.")};
Tr errtext_cannot_create_server{TR_TEXT("log", "Не удалось создать блок управления устройством.")};
Tr errtext_cannot_realloc_server{TR_TEXT("log", "Не удалось создать отредактированный блок управления устройством.")};
Tr errfmt_port_failure{TR_TEXT("log", "Радиомодем 0x%1 не обслуживается: порт TCP %2 не удалось открыть: %3.")};
Tr errfmt_port_failure_lasts{TR_TEXT("log",
                                     "Радиомодем 0x%1 всё ещё не обслуживается: порт TCP %2 не удалось открыть ещё %3 "
                                     "раз со времени прошлой записи: %4.")};
Tr errfmt_site_failure{TR_TEXT("log",
                               "Общий порт Modbus TCP %1 (modbus_site_port) не удалось открыть: %2. Попытка будет "
                               "повторена с каждым обновлением списка устройств.")};

// Counts the elements of the array whose first element is at the parser's position, leaving the
// parser where it was.
int count_items(Ws_parser& p)
{
    const unsigned short* position = p.position;
    const unsigned short* line_start = p.line_start;
    const quint32 line = p.line;
    int count = 0;
    if (p.json_first_item())
        do {
            if (count == std::numeric_limits<int>::max())
                throw Debug(0x0701);
            p.skip_json_value();
            ++count;
        } while (p.json_next_item());
    p.position = position;
    p.line_start = line_start;
    p.line = line;
    return count;
}

void read_device(Ws_parser& p, Device_on_lora& device)
{
    p.req_sym('{');
    bool has_eui = false;
    bool has_name = false;
    if (p.json_first_field())
        do
            if (p.json_field("devEui", has_eui))
                device.eui = p.req_json_eui();
            else if (p.json_field("devName", has_name))
                device.name = p.req_json_string();
            else
                p.skip_json_field();
        while (p.json_next_field());
    if (!has_eui)
        throw p.Error(errtext_devlist_lacks_eui.tr());
}

// Sorts by EUI and keeps the first of every run of equal EUIs, logging each one dropped.
void sort_unique(QVector<Device_on_lora>& devices)
{
    std::stable_sort(devices.begin(), devices.end(),
                     [](const Device_on_lora& a, const Device_on_lora& b) { return a.eui < b.eui; });
    int kept = 0;
    for (int i = 0; i < devices.size(); ++i) {
        if (kept && devices[kept - 1].eui == devices[i].eui) {
            log(QString(errfmt_devlist_eui_again.tr()).arg(buf_hex64_engine.set(devices[i].eui)));
            continue;
        }
        if (kept != i)
            devices[kept] = std::move(devices[i]);
        ++kept;
    }
    devices.resize(kept);
}

// Reads "devices_list" in two passes, so that the table is allocated once, and publishes it.
void read_devices_list(Ws_parser& p)
{
    p.req_sym('[');
    QVector<Device_on_lora> devices(count_items(p));
    int filled = 0;
    if (p.json_first_item())
        do {
            if (filled == devices.size())
                throw Debug(0x0702);
            read_device(p, devices[filled++]);
        } while (p.json_next_item());
    if (filled != devices.size())
        throw Debug(0x0703);
    sort_unique(devices);
    QMutexLocker lock(&cfg_mutex);
    devices_on_lora.swap(devices);
}

using Port_failures = QMap<unsigned long, Port_failure>;

// Keeps in failures why the system refused the port of a modem; any other failure leaves no reason.
void note_port_failure(Port_failures& failures, const std::exception& e, unsigned long eui, quint16 port)
{
    if (const auto* refused = dynamic_cast<const Listen_error*>(&e))
        failures.insert(eui, Port_failure{port, refused->reason, refused->error});
}

// With cfg_mutex held: true when the port failures differ from the last ones (before), so that
// the lists are shown again.
bool port_failures_changed(const Port_failures& before)
{
    if (before.size() != port_failures.size())
        return true;
    for (auto it = port_failures.constBegin(); it != port_failures.constEnd(); ++it) {
        const auto old = before.constFind(it.key());
        if (old == before.constEnd() || old->port != it->port || old->reason != it->reason)
            return true;
    }
    return false;
}

// One more refusal of a modem's port: in full (the socket's entry, the control block's and the
// reason) the first time, for another port or reason, and after the port was served in between
// (which dropped the fault); then summed up at most once an hour while it lasts.
void log_refusal(Lasting_fault& fault, unsigned long eui, quint16 port, const Listen_error& e, const QString& handler)
{
    const Lasting_fault::Verdict v =
        fault.tried(QString::number(port) + QLatin1Char(' ') + e.reason, Lasting_fault::now_ms(),
                    Lasting_fault::interval_ms());
    const QString modem = buf_hex64_engine.set(eui);
    const QString reason = listen_refusal_reason(e.error, e.reason);
    if (v.entry == Lasting_fault::Entry::full) {
        log(e.message());
        log(handler);
        log(QString(errfmt_port_failure.tr()).arg(modem, QString::number(port), reason));
    } else if (v.entry == Lasting_fault::Entry::summary) {
        log(QString(errfmt_port_failure_lasts.tr())
                .arg(modem, QString::number(port), QString::number(v.tries), reason));
    }
}

// A modem to serve, and whether its port is opened again with a changed setup.
struct Wanted {
    Device_in_cfg cfg;
    bool changed;
};
using Wanted_map = QMap<unsigned long, Wanted>;
using Port_map = QMap<unsigned long, Tcp_server*>;

// With cfg_mutex held: the modems both configured with a port for clients and reported by the
// server (both tables are sorted by EUI).
Wanted_map wanted_devices()
{
    Wanted_map wanted;
    auto l = devices_on_lora.constBegin();
    for (auto c = devices_in_cfg.constBegin(); c != devices_in_cfg.constEnd(); ++c) {
        if (!has_client_port(c.value()))
            continue;
        while (l != devices_on_lora.constEnd() && l->eui < c.key())
            ++l;
        if (l == devices_on_lora.constEnd())
            break;
        if (l->eui == c.key())
            wanted.insert(wanted.constEnd(), c.key(), Wanted{c.value(), false});
    }
    return wanted;
}

// With cfg_mutex held: takes out of tcp_servers every port no longer wanted or whose setup
// changed (marked so in wanted), to be retired once the lock is let go.
std::vector<Tcp_server*> take_leaving(Wanted_map& wanted)
{
    std::vector<Tcp_server*> leaving;
    for (auto s = tcp_servers.begin(); s != tcp_servers.end();) {
        const auto w = wanted.find(s.key());
        if (w != wanted.end() && same_setup(s.value()->setup, w->cfg)) {
            ++s;
            continue;
        }
        if (w != wanted.end())
            w->changed = true;
        leaving.push_back(s.value());
        s = tcp_servers.erase(s);
    }
    return leaving;
}

// The port of a wanted modem; null, with the system's reason in failures, when it cannot listen.
// A refusal is logged as a lasting fault of the modem in faults; any other failure every time.
Tcp_server* open_port(Port_link& link, unsigned long eui, const Wanted& w, Port_failures& failures,
                      QHash<unsigned long, Lasting_fault>& faults)
{
    try {
        return new Tcp_server(link, eui, w.cfg);
    } catch (const std::exception& e) {
        const QString& handler = (w.changed ? errtext_cannot_realloc_server : errtext_cannot_create_server).tr();
        if (const auto* refused = dynamic_cast<const Listen_error*>(&e))
            log_refusal(faults[eui], eui, w.cfg.tcp_port, *refused, handler);
        else
            log_exception(e, handler);
        note_port_failure(failures, e, eui, w.cfg.tcp_port);
    } catch (...) {
        log_debug(w.changed ? 0x070D : 0x0705);
    }
    return nullptr;
}

// Without cfg_mutex: a port for every wanted modem that has none. Only this thread changes
// tcp_servers, so it reads the table without the lock. A modem refused no more (served, or no
// longer wanted) leaves faults, so that a later refusal is news again.
Port_map open_missing(Port_link& link, const Wanted_map& wanted, Port_failures& failures,
                      QHash<unsigned long, Lasting_fault>& faults)
{
    Port_map opened;
    for (auto w = wanted.constBegin(); w != wanted.constEnd(); ++w)
        if (!tcp_servers.contains(w.key()))
            if (Tcp_server* s = open_port(link, w.key(), w.value(), failures, faults))
                opened.insert(opened.constEnd(), w.key(), s);
    for (auto f = faults.begin(); f != faults.end();)
        f = failures.contains(f.key()) ? std::next(f) : faults.erase(f);
    return opened;
}

}  // namespace

void Ws_connection::devlist_answer(Ws_parser& p)
{
    p.req_sym('{');
    Ws_common_fields f;
    bool has_list = false;
    if (p.json_first_field())
        do
            if (p.json_field("devices_list", has_list))
                read_devices_list(p);
            else
                f.field(p);
        while (p.json_next_field());
    if (!f.is_resp(p, QStringLiteral("get_device_appdata_resp"))) {
        unsolicited(f, p);
        return;
    }
    if (!has_list)
        throw p.Error(errtext_devlist_lacks_devices_list.tr());
    flags &= static_cast<unsigned char>(~devlist_requested);
    end_command();
    servers_update(true);
    next();
}

Link_port* Ws_connection::port_of(quint64 eui)
{
    // Only this thread changes the table, so it reads it without the lock.
    return tcp_servers.value(static_cast<unsigned long>(eui), nullptr);
}

std::vector<Link_port*> Ws_connection::take_all_ports()
{
    std::vector<Link_port*> ports;
    ports.reserve(static_cast<size_t>(tcp_servers.size()));
    for (Tcp_server* s : qAsConst(tcp_servers))
        ports.push_back(s);
    tcp_servers.clear();
    return ports;
}

void Ws_connection::update_servers()
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    servers_update(false);
}

void Ws_connection::servers_update(bool after_list)
{
    Wanted_map wanted;
    std::vector<Tcp_server*> leaving;
    {
        QMutexLocker lock(&cfg_mutex);
        wanted = wanted_devices();
        leaving = take_leaving(wanted);
    }
    for (Tcp_server* s : leaving)
        s->retire();
    Port_failures failures;
    const Port_map opened = open_missing(*this, wanted, failures, port_faults);
    QMutexLocker lock(&cfg_mutex);
    tcp_servers.insert(opened);
    failures.swap(port_failures);
    const bool changed = port_failures_changed(failures) || !leaving.empty() || !opened.isEmpty();
    bool notify = true;
    if (after_list && !(ws_flags & WS_ONLINE))
        ws_flags |= WS_STARTING | WS_ONLINE | WS_SERVERS_PENDING | WS_CLIENTS_PENDING;
    else if (changed && !(ws_flags & WS_SERVERS_PENDING))
        ws_flags |= WS_SERVERS_PENDING | WS_CLIENTS_PENDING;
    else
        notify = false;
    metrics::publish_state();
    lock.unlock();
    update_site();
    if (notify)
        emit servers_changed();
}

// Only this thread changes tcp_servers, so it reads the table without the lock. A site port that
// cannot be opened is tried again at the next update, and logged again only for a new reason.
void Ws_connection::update_site()
{
    site_routes.clear();
    for (Tcp_server* s : qAsConst(tcp_servers))
        if (Modbus_line* line = s->modbus_line())
            for (const Site_unit& unit : s->setup.units)
                site_routes.add(unit.id, *line, unit.slave);
    if (site_port || !modbus_site_port)
        return;
    QString why;
    QString listener_entry;
    try {
        site_port = new Tcp_server(*this, site_routes);
    } catch (const Listen_error& e) {
        why = listen_refusal_reason(e.error, e.reason);
        listener_entry = e.message();
    } catch (const std::exception& e) {
        why = QString::fromUtf8(e.what());
    } catch (...) {
        log_debug(0x0712);
    }
    if (!why.isEmpty() && why != site_failure) {
        if (!listener_entry.isEmpty())
            log(listener_entry);
        log(errfmt_site_failure.tr().arg(modbus_site_port).arg(why));
    }
    site_failure = why;
}

void Ws_connection::retire_site()
{
    if (site_port)
        site_port->retire();
    site_port = nullptr;
}
