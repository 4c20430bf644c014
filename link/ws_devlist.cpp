// The server's device list and the reconciliation of the running TCP servers with it and with the
// modems to serve: one TCP server for every modem that is in both lists.
#include "link/ws_connection.h"

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

// Whether the server reported the modem; devices_on_lora is sorted by EUI.
bool on_lora(unsigned long eui)
{
    const auto it = std::lower_bound(devices_on_lora.constBegin(), devices_on_lora.constEnd(), eui,
                                     [](const Device_on_lora& d, unsigned long key) { return d.eui < key; });
    return it != devices_on_lora.constEnd() && it->eui == eui;
}

bool same_setup(const Tcp_server& server, const Device_in_cfg& cfg)
{
    return server.tcp_port == cfg.tcp_port && server.max_frame == cfg.max_frame && server.protocol == cfg.protocol;
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

// Keeps why the system refused the port of a modem; any other failure leaves no reason.
void note_port_failure(const std::exception& e, unsigned long eui, quint16 port)
{
    if (const auto* refused = dynamic_cast<const Listen_error*>(&e))
        port_failures.insert(eui, Port_failure{port, refused->reason});
}

// Logs each port failure that is new since the last reconciliation: the first one of a modem,
// another port or reason, or one after the port was served in between (which dropped the
// record). True when the failures differ from the last ones, so that the lists are shown again.
bool report_port_failures(const QMap<unsigned long, Port_failure>& before)
{
    bool changed = before.size() != port_failures.size();
    for (auto it = port_failures.constBegin(); it != port_failures.constEnd(); ++it) {
        const auto old = before.constFind(it.key());
        if (old != before.constEnd() && old->port == it->port && old->reason == it->reason)
            continue;
        log(QString(errfmt_port_failure.tr()).arg(buf_hex64_engine.set(it.key()), QString::number(it->port), it->reason));
        changed = true;
    }
    return changed;
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
    kill_timer(wait_timer);
    servers_update(true);
    next();
}

void Ws_connection::update_servers()
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    servers_update(false);
}

bool Ws_connection::create_server(Server_map::iterator& s, unsigned long eui, const Device_in_cfg& cfg)
{
    try {
        s = tcp_servers.insert(s, eui, new Tcp_server(*this, eui, cfg));
        ++s;
        return true;
    } catch (const std::exception& e) {
        log_exception(e, errtext_cannot_create_server.tr());
        note_port_failure(e, eui, cfg.tcp_port);
    } catch (...) {
        log_debug(tcp_servers.isEmpty() ? 0x0706 : 0x0705);
    }
    return false;
}

// The null at s that a retired server left: a server with the new setup, or no entry when it
// cannot listen.
bool Ws_connection::reopen_server(Server_map::iterator& s, const Device_in_cfg& cfg)
{
    try {
        s.value() = new Tcp_server(*this, s.key(), cfg);
        ++s;
        return true;
    } catch (const std::exception& e) {
        log_exception(e, errtext_cannot_realloc_server.tr());
        note_port_failure(e, s.key(), cfg.tcp_port);
    } catch (...) {
        log_debug(0x0704);
    }
    s = tcp_servers.erase(s);
    return true;
}

bool Ws_connection::retire_servers()
{
    bool changed = false;
    for (auto s = tcp_servers.begin(); s != tcp_servers.end();) {
        const auto c = devices_in_cfg.constFind(s.key());
        const bool wanted = c != devices_in_cfg.constEnd() && has_client_port(c.value()) && on_lora(s.key());
        if (wanted && same_setup(*s.value(), c.value())) {
            ++s;
            continue;
        }
        s.value()->shutdown_server();
        changed = true;
        if (wanted) {
            s.value() = nullptr;
            ++s;
        } else {
            s = tcp_servers.erase(s);
        }
    }
    return changed;
}

// One walk over the three tables, all sorted by EUI: an EUI is wanted when it is both configured
// with a port for clients and reported by the server. Only wanted servers are left by now.
// The port failures are those of this walk.
bool Ws_connection::open_servers()
{
    QMap<unsigned long, Port_failure> failures_before;
    failures_before.swap(port_failures);
    bool changed = false;
    auto c = devices_in_cfg.constBegin();
    auto l = devices_on_lora.constBegin();
    auto s = tcp_servers.begin();
    for (;;) {
        while (c != devices_in_cfg.constEnd() && l != devices_on_lora.constEnd() &&
               (c.key() != l->eui || !has_client_port(c.value()))) {
            if (c.key() <= l->eui)
                ++c;
            else
                ++l;
        }
        if (c == devices_in_cfg.constEnd() || l == devices_on_lora.constEnd())
            return report_port_failures(failures_before) || changed;
        if (s == tcp_servers.end() || s.key() != c.key())
            changed |= create_server(s, c.key(), c.value());
        else if (!s.value())
            changed |= reopen_server(s, c.value());
        else
            ++s;
        ++c;
        ++l;
    }
}

// Every port given up is closed before any is opened, so that two modems may trade their
// ports in one change.
bool Ws_connection::reconcile_servers()
{
    const bool retired = retire_servers();
    return open_servers() || retired;
}

void Ws_connection::servers_update(bool after_list)
{
    QMutexLocker lock(&cfg_mutex);
    const bool changed = reconcile_servers();
    if (after_list && !(ws_flags & WS_ONLINE)) {
        ws_flags |= WS_STARTING | WS_ONLINE | WS_SERVERS_PENDING | WS_CLIENTS_PENDING;
    } else if (changed && !(ws_flags & WS_SERVERS_PENDING)) {
        ws_flags |= WS_SERVERS_PENDING | WS_CLIENTS_PENDING;
    } else {
        metrics::publish_state();
        return;
    }
    metrics::publish_state();
    lock.unlock();
    emit servers_changed();
}
