// The one state of a modem to serve, with its reason, decided in one place.
#include "core/modem_state.h"

#include "common/err.h"

#include <QAbstractSocket>

namespace {

Tr word_served{TR_TEXT("modem_state", "обслуживается")};
Tr word_waiting_for_list{TR_TEXT("modem_state", "ждёт список сервера")};
Tr word_not_known{TR_TEXT("modem_state", "не известен серверу")};
Tr word_port_failed{TR_TEXT("modem_state", "порт не открыт")};
Tr word_link_down{TR_TEXT("modem_state", "нет связи с сервером")};
Tr word_no_port{TR_TEXT("modem_state", "без порта TCP")};

Tr errfmt_port_not_opened{TR_TEXT("modem_state", "Порт TCP %1 не удалось открыть: %2.")};
Tr errtext_address_in_use{TR_TEXT("modem_state", "порт занят другой программой")};
Tr errtext_no_access{TR_TEXT("modem_state", "нет прав на этот порт")};
Tr errtext_address_not_here{TR_TEXT("modem_state", "адрес tcp_listen_address не принадлежит этой машине")};
Tr errtext_no_resources{TR_TEXT("modem_state", "системе не хватает ресурсов")};

struct State_row {
    Modem_state state;
    const Tr* word;
    const char* name;
};

// In the order of Modem_state.
const State_row state_rows[modem_state_count] = {
    {Modem_state::served, &word_served, "served"},
    {Modem_state::waiting_for_list, &word_waiting_for_list, "waiting_for_list"},
    {Modem_state::not_known, &word_not_known, "not_known_to_server"},
    {Modem_state::port_failed, &word_port_failed, "port_failed"},
    {Modem_state::link_down, &word_link_down, "link_down"},
    {Modem_state::no_port, &word_no_port, "no_port"},
};

const State_row& row_of(Modem_state state)
{
    return state_rows[static_cast<int>(state)];
}

// The program's own text for a system error it knows; null for the others.
const Tr* own_text(int error)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return &errtext_address_in_use;
    case QAbstractSocket::SocketAccessError:
        return &errtext_no_access;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return &errtext_address_not_here;
    case QAbstractSocket::SocketResourceError:
        return &errtext_no_resources;
    default:
        return nullptr;
    }
}

}  // namespace

Modem_status modem_status(const Modem_facts& facts)
{
    if (facts.port_open)
        return {Modem_state::served, QString()};
    if (facts.link == Link_state::offline)
        return {Modem_state::link_down, QString()};
    if (facts.link == Link_state::start)
        return {Modem_state::waiting_for_list, QString()};
    if (!facts.has_port)
        return {Modem_state::no_port, QString()};
    if (!facts.listed)
        return {Modem_state::not_known, QString()};
    // Listed with a port, the link up, and no port open: the last try to open it failed, with
    // the system's reason when it gave one.
    return {Modem_state::port_failed, facts.failure ? port_failure_reason(*facts.failure) : QString()};
}

const QString& modem_state_word(Modem_state state)
{
    const Tr& word = *row_of(state).word;
    return word.tr();
}

const char* modem_state_name(Modem_state state)
{
    return row_of(state).name;
}

QString modem_status_text(const Modem_status& status)
{
    return status.reason.isEmpty() ? modem_state_word(status.state) : status.reason;
}

QString listen_refusal_reason(int error, const QString& system_text)
{
    const Tr* own = own_text(error);
    return own ? (*own).tr() : system_text;
}

QString port_failure_reason(const Port_failure& failure)
{
    return QString(errfmt_port_not_opened.tr()).arg(failure.port).arg(listen_refusal_reason(failure.error, failure.reason));
}

QVector<Modem_status> read_modem_statuses()
{
    QVector<Modem_status> statuses;
    statuses.reserve(devices_in_cfg.size());
    Modem_facts facts;
    facts.link = link_state(ws_flags);
    auto modem = devices_on_lora.constBegin();
    const auto modems_end = devices_on_lora.constEnd();
    for (auto it = devices_in_cfg.constBegin(); it != devices_in_cfg.constEnd(); ++it) {
        while (modem != modems_end && modem->eui < it.key())
            ++modem;
        facts.has_port = has_client_port(*it);
        facts.listed = modem != modems_end && modem->eui == it.key();
        facts.port_open = tcp_servers.contains(it.key());
        const auto failure = port_failures.constFind(it.key());
        facts.failure = failure == port_failures.constEnd() ? std::nullopt : std::optional<Port_failure>(*failure);
        statuses.append(modem_status(facts));
    }
    return statuses;
}
