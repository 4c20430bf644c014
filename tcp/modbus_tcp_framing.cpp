// Modbus TCP on a modem's port: MBAP requests of all its clients waiting in turns, RTU frames to
// the modem one at a time, each made distinct from the earlier requests whose answers may still
// come, RTU answers checked against the owed request and returned as MBAP responses to the client
// that asked.
#include "tcp/modbus_tcp_framing.h"

#include "core/cfg.h"
#include "common/crc16.h"
#include "common/err.h"
#include "metrics/metrics.h"
#include "core/client_allow_list.h"
#include "tcp/modbus_answer_shape.h"

#include <QTcpSocket>
#include <algorithm>
#include <cstring>

namespace {

Tr errfmt_bad_mbap{TR_TEXT("log",
                           "Ошибка: клиент на порту %1 прислал запрос Modbus TCP с неправильным заголовком MBAP "
                           "(идентификатор протокола %2, длина %3). Соединение с клиентом закрыто.")};
Tr errfmt_bad_mbaps{TR_TEXT("log",
                            "Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus TCP с неправильным заголовком "
                            "MBAP, соединения с клиентами закрыты. Чаще всего такие запросы приходили с адресов: %3.")};
Tr errfmt_answer_unasked{TR_TEXT("log",
                                 "Ответ устройства через порт %1 отброшен: ни один запрос Modbus не ждёт ответа.")};
Tr errfmt_answer_bad_crc{TR_TEXT("log",
                                 "Ответ устройства на запрос Modbus через порт %1 отброшен: неправильная "
                                 "контрольная сумма CRC-16 или длина ответа (%2 байтов).")};
Tr errfmt_answer_other_unit{TR_TEXT("log",
                                    "Ответ устройства на запрос Modbus через порт %1 отброшен: ответил адрес %2, а "
                                    "запрос был к адресу %3.")};
Tr errfmt_answer_other_function{TR_TEXT("log",
                                        "Ответ устройства на запрос Modbus через порт %1 отброшен: это ответ на "
                                        "функцию %2, а запрос был функции %3.")};
Tr errfmt_answer_other_shape{TR_TEXT("log",
                                     "Ответ устройства на запрос Modbus через порт %1 отброшен: его длина или "
                                     "содержимое не подходят к запросу функции %2.")};
Tr errfmt_answer_late{TR_TEXT("log",
                              "Ответ устройства через порт %1 отброшен: он пришёл после того, как время ожидания "
                              "ответа на запрос Modbus истекло.")};
Tr errfmt_answer_earlier{TR_TEXT("log",
                                 "Ответ устройства на запрос Modbus через порт %1 отброшен: это опоздавший или "
                                 "повторённый ответ на один из прежних запросов.")};
Tr errfmt_answer_early{TR_TEXT("log",
                               "Ответ устройства на запрос Modbus через порт %1 отброшен: он пришёл раньше, чем "
                               "сервер принял запрос.")};
Tr errfmt_answer_owner_gone{TR_TEXT("log",
                                    "Ответ устройства на запрос Modbus через порт %1 отброшен: клиент, приславший "
                                    "запрос, уже отключился.")};
Tr errfmt_no_answer{TR_TEXT("log",
                            "Устройство не ответило на запрос Modbus через порт %1 (транзакция %2) за %3 мс; "
                            "клиенту отправлено исключение 0x0B.")};
Tr errfmt_broken_answer{TR_TEXT("log",
                                "Ответ устройства на запрос Modbus через порт %1 (транзакция %2) пришёл не целиком "
                                "(пакет потерян, повторён или пришёл не по порядку); клиенту отправлено "
                                "исключение 0x0B.")};
Tr errfmt_too_long{TR_TEXT("log",
                           "Запрос Modbus через порт %1 (транзакция %2) не отправлен устройству: кадр RTU длиной "
                           "%3 байтов длиннее предельного размера сообщения радиомодема (%4 байтов); клиенту "
                           "отправлено исключение 0x0A.")};
Tr errfmt_busy{TR_TEXT("log",
                       "Очередь запросов Modbus порта %1 полна (%2 запросов); клиенту %3 отправлено исключение "
                       "0x06 (устройство занято).")};
Tr errfmt_busies{TR_TEXT("log",
                         "Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus получили исключение 0x06, так как "
                         "очередь порта была полна. Чаще всего такие запросы приходили с адресов: %3.")};
Tr errfmt_refused{TR_TEXT("log",
                          "Сервер не принял запрос Modbus через порт %1 (транзакция %2) для радиомодема; клиенту "
                          "отправлено исключение 0x0A.")};
Tr errtext_bad_answer{TR_TEXT("log", "Ответ устройства, вызвавший предыдущую ошибку: ")};

// MBAP header: transaction id, protocol id, length (of the unit id and the PDU), unit id.
const int length_end = 6;
const int unit_at = 6;
const int function_at = 7;
const int min_length = 2;
const int max_length = 254;
// The smallest RTU answer: unit id, function, CRC.
const int min_rtu = 4;
const quint8 broadcast_unit = 0;
const quint8 exception_flag = 0x80;
const quint8 illegal_function = 0x01;
const quint8 illegal_data_address = 0x02;
const quint8 illegal_data_value = 0x03;
const quint8 server_busy = 0x06;
const quint8 gateway_path_unavailable = 0x0A;
const quint8 gateway_target_failed = 0x0B;
// Read buffer of a Modbus TCP client's socket.
const qint64 read_buffer = Modbus_tcp_framing::max_waiting_per_client * Modbus_tcp_framing::max_request;

int word_at(const QByteArray& bytes, int at)
{
    return static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]);
}

// The request's header with the length of this PDU, then the PDU.
QByteArray response(const QByteArray& request, const QByteArray& pdu)
{
    QByteArray mbap = request.left(unit_at + 1);
    const int length = pdu.size() + 1;
    mbap[4] = static_cast<char>(length >> 8);
    mbap[5] = static_cast<char>(length & 0xFF);
    return mbap + pdu;
}

QByteArray exception(const QByteArray& request, quint8 code)
{
    QByteArray pdu;
    pdu.append(static_cast<char>(static_cast<quint8>(request[function_at]) | exception_flag));
    pdu.append(static_cast<char>(code));
    return response(request, pdu);
}

}  // namespace

Modbus_tcp_framing::Modbus_tcp_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame)
    : Client_framing(host, eui, tcp_port, max_frame),
      ledger(ws_sdata_timeout + radio_answer_time_ms, modbus_timeout, max_lost_watched),
      bad_headers([tcp_port](quint64 held, const QString& peers) {
          return QString(errfmt_bad_mbaps.tr()).arg(QString::number(tcp_port), QString::number(held), peers);
      }),
      busy([tcp_port](quint64 held, const QString& peers) {
          return QString(errfmt_busies.tr()).arg(QString::number(tcp_port), QString::number(held), peers);
      })
{
}

Modbus_tcp_framing::Master* Modbus_tcp_framing::master(Client_number number)
{
    for (Master& m : masters)
        if (m.number == number)
            return &m;
    return nullptr;
}

const Modbus_tcp_framing::Master* Modbus_tcp_framing::master(Client_number number) const
{
    return const_cast<Modbus_tcp_framing*>(this)->master(number);
}

// Nothing of it waits, is being read or is owed.
bool Modbus_tcp_framing::idle(const Master& m) const
{
    return m.line.isEmpty() && m.input.isEmpty() && !(owed == Owed::answer && awaited.request.from == m.number);
}

int Modbus_tcp_framing::share() const
{
    const int each = max_waiting / std::max<int>(1, static_cast<int>(masters.size()));
    return std::clamp(each, 1, max_waiting_per_client);
}

int Modbus_tcp_framing::waiting() const
{
    int all = 0;
    for (const Master& m : masters)
        all += m.line.size();
    return all;
}

void Modbus_tcp_framing::begin(Client_number client, QTcpSocket& socket)
{
    socket.setReadBufferSize(read_buffer);
    masters.push_back({client, unmapped(socket.peerAddress()).toString(), QByteArray(), {}, 0});
}

// A write to the client may drop it, so the master is looked up again after each step.
void Modbus_tcp_framing::read(Client_number client, QIODevice& socket)
{
    char bytes[max_request];
    while (Master* m = master(client)) {
        if (!take(*m)) {
            metrics::client_error(eui, metrics::Client_error::header);
            host.drop_client(client);
            return;
        }
        m = master(client);
        if (!m || m->line.size() >= share() || socket.bytesAvailable() <= 0)
            break;
        const qint64 n = socket.read(bytes, sizeof bytes);
        if (n <= 0) {
            host.read_failed(client, n);
            return;
        }
        tracer.data(".recv ", reinterpret_cast<const unsigned char*>(bytes), static_cast<size_t>(n));
        m->input.append(bytes, static_cast<int>(n));
    }
    send_next();
}

bool Modbus_tcp_framing::take(Master& m)
{
    while (m.line.size() < share() && m.input.size() >= length_end) {
        const int protocol = word_at(m.input, 2);
        const int length = word_at(m.input, 4);
        if (protocol != 0 || length < min_length || length > max_length) {
            bad_headers.event(errfmt_bad_mbap.tr().arg(tcp_port).arg(protocol).arg(length), m.peer);
            m.input.clear();
            return false;
        }
        if (m.input.size() < length_end + length)
            break;
        const QByteArray request = m.input.left(length_end + length);
        m.input.remove(0, length_end + length);
        m.last_request = host.now_ms();
        if (!enqueue(m, request))
            break;
    }
    return true;
}

// A full waiting line is said to the client at once: it may retry, or ask later. A master with
// nothing waiting always gets its turn. False when that write dropped the client.
bool Modbus_tcp_framing::enqueue(Master& m, const QByteArray& request)
{
    if (waiting() < max_waiting || m.line.isEmpty()) {
        m.line.enqueue({m.number, request, false});
        return true;
    }
    const Client_number number = m.number;
    busy.event(errfmt_busy.tr().arg(tcp_port).arg(max_waiting).arg(m.peer), m.peer);
    host.write_to_client(number, exception(request, server_busy));
    return master(number) != nullptr;
}

// The next waiting request goes to the modem once nothing is owed (RTU is half-duplex, and an
// answer still owed could be taken for the next one's); requests that need no radio are
// answered on the way. When every master's next request has to wait, the timer ends the wait.
void Modbus_tcp_framing::send_next()
{
    qint64 hold = 0;
    const qint64 now = host.now_ms();
    while (owed == Owed::nothing) {
        hold = 0;
        if (!send_next_in_turn(now, hold))
            break;
    }
    if (owed == Owed::nothing && hold)
        host.start_timer(static_cast<int>(hold - now), Qt::PreciseTimer);
}

// Sends or answers the next request of the first master in turn, beginning with the one after
// the last served, whose next request may go; false, with the earliest time one may go in hold,
// when none may now.
bool Modbus_tcp_framing::send_next_in_turn(qint64 now, qint64& hold)
{
    size_t first = 0;
    for (size_t i = 0; i < masters.size(); ++i)
        if (masters[i].number == turn)
            first = i + 1;
    for (size_t i = 0; i < masters.size(); ++i) {
        Master& m = masters[(first + i) % masters.size()];
        if (m.line.isEmpty())
            continue;
        const Plan p = plan(m.line.head(), now);
        if (p.hold_until) {
            hold = hold ? std::min(hold, p.hold_until) : p.hold_until;
            continue;
        }
        turn = m.number;
        dispatch(m.line.dequeue(), p);
        return true;
    }
    return false;
}

// A request whose answer could be taken for a late answer or a copy of an earlier one's is
// widened if it is a read, else waits for the guard time of the loss it could be taken for.
Modbus_tcp_framing::Plan Modbus_tcp_framing::plan(const Request& request, qint64 now) const
{
    Plan p{request.mbap.mid(unit_at), {}, 0};
    const quint8 function = static_cast<quint8>(request.mbap[function_at]);
    if (function & exception_flag || static_cast<quint8>(request.mbap[unit_at]) == broadcast_unit ||
        !ledger.collides(p.rtu, now))
        return p;
    const QByteArray pdu = p.rtu.mid(1);
    for (int extra = 1; !request.plain && widenable_read(pdu) && extra <= 8; ++extra)
        for (const Read_widening by : {Read_widening{extra, 0}, Read_widening{0, extra}}) {
            const std::optional<QByteArray> wide = widened_read(pdu, by);
            if (wide && !ledger.collides(p.rtu.left(1) + *wide, now))
                return {p.rtu.left(1) + *wide, by, 0};
        }
    p.hold_until = ledger.guard_end(p.rtu, now);
    return p;
}

void Modbus_tcp_framing::dispatch(const Request& request, const Plan& plan)
{
    if (answered_at_once(request))
        return;
    const int size = plan.rtu.size() + 2;
    if (static_cast<size_t>(size) > max_frame) {
        log(errfmt_too_long.tr().arg(tcp_port).arg(word_at(request.mbap, 0)).arg(size).arg(max_frame));
        host.write_to_client(request.from, exception(request.mbap, gateway_path_unavailable));
        return;
    }
    send(request, plan);
}

// An exception code as function is no request: illegal function, without the radio.
bool Modbus_tcp_framing::answered_at_once(const Request& request)
{
    if (!(static_cast<quint8>(request.mbap[function_at]) & exception_flag))
        return false;
    host.write_to_client(request.from, exception(request.mbap, illegal_function));
    return true;
}

// The request goes to the modem through the usual frame; a broadcast is owed only the server's
// acknowledgement (Modbus has no answer to it), any other request its answer within the timeout.
void Modbus_tcp_framing::send(const Request& request, const Plan& plan)
{
    const QByteArray rtu = with_crc16(plan.rtu);
    const size_t size = static_cast<size_t>(rtu.size());
    std::memcpy(host.frame_area(), rtu.constData(), size);
    awaited = {request, plan, host.now_ms(), false};
    owed = static_cast<quint8>(request.mbap[unit_at]) == broadcast_unit ? Owed::broadcast : Owed::answer;
    host.start_timer(modbus_timeout, Qt::PreciseTimer);
    host.post_frame(size);
}

void Modbus_tcp_framing::answer_received(const QByteArray& rtu)
{
    if (owed != Owed::answer) {
        const bool earlier = rtu.size() >= min_rtu && ledger.answers_earlier(rtu.left(rtu.size() - 2), host.now_ms());
        if (earlier && trace_tcp)
            log_answer_error(errfmt_answer_late.tr().arg(tcp_port), rtu);
        else if (!earlier && !masters.empty())
            log_answer_error(errfmt_answer_unasked.tr().arg(tcp_port), rtu);
        return;
    }
    if (!awaited.accepted) {
        log_answer_error(errfmt_answer_early.tr().arg(tcp_port), rtu);
        return;
    }
    if (answer_fits(rtu))
        deliver(rtu.left(rtu.size() - 2));
}

// Checks the answer against the awaited request, logging why it does not fit.
bool Modbus_tcp_framing::answer_fits(const QByteArray& rtu) const
{
    if (rtu.size() < min_rtu || !crc16_ok(rtu)) {
        log_answer_error(errfmt_answer_bad_crc.tr().arg(tcp_port).arg(rtu.size()), rtu);
        return false;
    }
    const QByteArray& asked = awaited.plan.rtu;
    const quint8 unit = static_cast<quint8>(rtu[0]);
    const quint8 asked_unit = static_cast<quint8>(asked[0]);
    const quint8 function = static_cast<quint8>(rtu[1]) & ~exception_flag;
    const quint8 asked_function = static_cast<quint8>(asked[1]);
    const QByteArray answer_pdu = rtu.mid(1, rtu.size() - 3);
    if (unit == asked_unit && function == asked_function && modbus_answer_fits(asked.mid(1), answer_pdu))
        return true;
    if (ledger.answers_earlier(rtu.left(rtu.size() - 2), host.now_ms()))
        log_answer_error(errfmt_answer_earlier.tr().arg(tcp_port), rtu);
    else if (unit != asked_unit)
        log_answer_error(errfmt_answer_other_unit.tr().arg(tcp_port).arg(unit).arg(asked_unit), rtu);
    else if (function != asked_function)
        log_answer_error(errfmt_answer_other_function.tr().arg(tcp_port).arg(function).arg(asked_function), rtu);
    else
        log_answer_error(errfmt_answer_other_shape.tr().arg(tcp_port).arg(asked_function), rtu);
    return false;
}

// The answer (without CRC) to the awaited request goes to its master, trimmed to what it asked.
void Modbus_tcp_framing::deliver(const QByteArray& answer)
{
    host.kill_timer();
    ledger.answered(awaited.plan.rtu);
    const QByteArray pdu = narrowed_answer(awaited.request.mbap.mid(function_at), answer.mid(1), awaited.plan.widening);
    if (retried_plain(pdu))
        return;
    if (master(awaited.request.from)) {
        host.write_answer(awaited.request.from, response(awaited.request.mbap, pdu));
    } else if (trace_tcp) {
        log_answer_error(errfmt_answer_owner_gone.tr().arg(tcp_port), with_crc16(answer));
    }
    end_awaited();
}

// The items a widened read added may lie beyond the device's: a refusal of the address or the
// quantity sends the read again as its master asked it, first in its master's line.
bool Modbus_tcp_framing::retried_plain(const QByteArray& answer_pdu)
{
    const Read_widening& by = awaited.plan.widening;
    const quint8 code = static_cast<quint8>(answer_pdu[answer_pdu.size() - 1]);
    if (!(by.front || by.back) || !(static_cast<quint8>(answer_pdu[0]) & exception_flag) ||
        (code != illegal_data_address && code != illegal_data_value))
        return false;
    if (Master* m = master(awaited.request.from)) {
        Request again = awaited.request;
        again.plain = true;
        m->line.prepend(again);
    }
    end_awaited();
    return true;
}

void Modbus_tcp_framing::end_awaited()
{
    owed = Owed::nothing;
    awaited = Awaited();
    host.read_on();
}

void Modbus_tcp_framing::log_answer_error(const QString& text, const QByteArray& rtu) const
{
    log(text);
    // Both "bad_frames" and "all" want the bytes: a dropped answer is traced nowhere else.
    if (trace_tcp) {
        const QByteArray prefix = errtext_bad_answer.tr().toUtf8();
        log_data(prefix.constData(), reinterpret_cast<const unsigned char*>(rtu.constData()),
                 static_cast<size_t>(rtu.size()));
    }
}

// A broken packet before the server accepted the request belongs to an earlier answer.
void Modbus_tcp_framing::answer_broken(bool)
{
    if (owed != Owed::answer || !awaited.accepted)
        return;
    log(errfmt_broken_answer.tr().arg(tcp_port).arg(word_at(awaited.request.mbap, 0)));
    end_request(exception(awaited.request.mbap, gateway_target_failed));
}

void Modbus_tcp_framing::frame_accepted()
{
    if (owed == Owed::answer)
        awaited.accepted = true;
    if (owed != Owed::broadcast)
        return;
    host.kill_timer();
    end_awaited();
}

// The request never reached the modem, so no answer to it can come.
void Modbus_tcp_framing::frame_refused()
{
    if (owed == Owed::nothing)
        return;
    log(errfmt_refused.tr().arg(tcp_port).arg(word_at(awaited.request.mbap, 0)));
    host.kill_timer();
    if (owed == Owed::answer)
        host.write_to_client(awaited.request.from, exception(awaited.request.mbap, gateway_path_unavailable));
    end_awaited();
}

// The time of the owed request is up: its client gets exception 0x0B. A broadcast's
// acknowledgement that never came holds the port no longer. With nothing owed, the wait of a
// request that could not be told from a lost one is over.
void Modbus_tcp_framing::timer_expired()
{
    switch (owed) {
    case Owed::answer:
        log(errfmt_no_answer.tr().arg(tcp_port).arg(word_at(awaited.request.mbap, 0)).arg(modbus_timeout));
        end_request(exception(awaited.request.mbap, gateway_target_failed));
        return;
    case Owed::broadcast:
        end_awaited();
        return;
    case Owed::nothing:
        send_next();
        return;
    }
}

// The request ends without its answer: the answer may still come, late, and is then known by
// the ledger; a part of it must not be joined to the next one's.
void Modbus_tcp_framing::end_request(const QByteArray& response)
{
    host.write_to_client(awaited.request.from, response);
    ledger.lost(awaited.plan.rtu, awaited.sent_at, host.now_ms());
    host.restart_uplink();
    end_awaited();
}

void Modbus_tcp_framing::client_left(Client_number client, int)
{
    for (auto it = masters.begin(); it != masters.end(); ++it)
        if (it->number == client) {
            masters.erase(it);
            return;
        }
}

// A connection that never asked anything is most likely one that only connects and goes: the
// newest of them goes first, so that the ones that have waited longest may still ask.
Modbus_tcp_framing::Client_number Modbus_tcp_framing::to_displace(const std::vector<Client_number>& clients) const
{
    const Master* never_asked = nullptr;
    const Master* longest_idle = nullptr;
    for (const Client_number number : clients) {
        const Master* m = master(number);
        if (!m || !idle(*m))
            continue;
        if (!m->last_request)
            never_asked = m;
        else if (!longest_idle || m->last_request < longest_idle->last_request)
            longest_idle = m;
    }
    const Master* chosen = never_asked ? never_asked : longest_idle;
    return chosen ? chosen->number : 0;
}
