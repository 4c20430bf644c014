// A modem's Modbus requests in turns, each made distinct from the earlier requests whose answers
// may still come, RTU answers checked against the owed request and returned as MBAP responses to
// the master that asked.
#include "tcp/modbus_line.h"

#include "common/crc16.h"
#include "common/err.h"
#include "core/cfg.h"
#include "metrics/metrics.h"
#include "tcp/modbus_answer_shape.h"
#include "tcp/modbus_mbap.h"

#include <algorithm>
#include <cstring>

using namespace mbap;

namespace {

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
Tr errfmt_answers_owner_gone{TR_TEXT("log",
                                     "Порт %1: за последнюю минуту отброшены ещё %2 ответов устройства на запросы "
                                     "Modbus, так как приславшие их клиенты уже отключились.")};
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
Tr errfmt_refused{TR_TEXT("log",
                          "Сервер не принял запрос Modbus через порт %1 (транзакция %2) для радиомодема; клиенту "
                          "отправлено исключение 0x0A.")};
Tr logfmt_from_cache{TR_TEXT("log",
                             "Запрос Modbus через порт %1 (транзакция %2) получил ответ из памяти, без радиосвязи: "
                             "ответ устройства на такой же запрос пришёл %3 мс назад.")};
Tr errtext_bad_answer{TR_TEXT("log", "Ответ устройства, вызвавший предыдущую ошибку: ")};

// The smallest RTU answer: unit id, function, CRC.
const int min_rtu = 4;

quint8 function_of(const QByteArray& request)
{
    return static_cast<quint8>(request[function_at]);
}

}  // namespace

Modbus_line::Modbus_line(Client_framing::Host& host, quint64 eui, quint16 tcp_port, size_t max_frame,
                         quint32 cache_ms)
    : host(host),
      eui(eui),
      tcp_port(tcp_port),
      max_frame(max_frame),
      ledger(ws_sdata_timeout + radio_answer_time_ms, modbus_timeout, max_lost_watched),
      cache(cache_ms),
      owners_gone([tcp_port](quint64 held, const QString&) {
          return QString(errfmt_answers_owner_gone.tr()).arg(QString::number(tcp_port), QString::number(held));
      })
{
}

Modbus_line::Asker& Modbus_line::asker(Modbus_front& front, Client_number client)
{
    for (Asker& a : askers)
        if (a.front == &front && a.client == client)
            return a;
    askers.push_back({&front, client, {}});
    return askers.back();
}

void Modbus_line::enqueue(Modbus_front& front, Client_number client, const QByteArray& request, quint8 slave)
{
    Request r{&front, client, request, slave, false, {}, ++arrivals, false};
    if (!shareable(r))
        cache.drop_slave(slave);
    else if (!changes_pending(slave) && (answered_from_cache(r) || joined(r)))
        return;
    asker(front, client).requests.enqueue(r);
    ++waiting;
}

QByteArray Modbus_line::rtu_of(const Request& request)
{
    return static_cast<char>(request.slave) + request.mbap.mid(function_at);
}

bool Modbus_line::shareable(const Request& request)
{
    return shareable_read(request.slave, function_of(request.mbap));
}

// A request other than a read, to the slave or to every slave, waits or is owed.
bool Modbus_line::changes_pending(quint8 slave) const
{
    const auto changes = [slave](const Request& r) {
        return (r.slave == slave || r.slave == broadcast_unit) && !shareable(r);
    };
    if (owed != Owed::nothing && changes(awaited.request))
        return true;
    return std::any_of(askers.begin(), askers.end(), [&](const Asker& a) {
        return std::any_of(a.requests.begin(), a.requests.end(), changes);
    });
}

bool Modbus_line::answered_from_cache(Request& request)
{
    qint64 age = 0;
    const std::optional<QByteArray> pdu = cache.answer(rtu_of(request), host.now_ms(), age);
    if (!pdu)
        return false;
    if (trace_tcp & Tcp_trace::all)
        log(logfmt_from_cache.tr().arg(tcp_port).arg(word_at(request.mbap, 0)).arg(age));
    metrics::modbus_answered(eui, metrics::Modbus_answer::cache);
    leave_line(request);
    respond(request, response(request.mbap, *pdu), true);
    return true;
}

// The read joins an identical one the modem owes, which has left the line, and so leaves it too;
// else an identical one waiting.
bool Modbus_line::joined(Request& request)
{
    const QByteArray rtu = rtu_of(request);
    const auto takes = [&](const Request& r) {
        return r.merged.size() < static_cast<size_t>(max_waiting) && rtu_of(r) == rtu;
    };
    if (owed == Owed::answer && takes(awaited.request)) {
        leave_line(request);
        awaited.request.merged.push_back(request);
        return true;
    }
    for (Asker& a : askers)
        for (Request& r : a.requests)
            if (takes(r)) {
                r.merged.push_back(request);
                ++waiting;
                return true;
            }
    return false;
}

// The request and the reads merged into it leave the line, each once.
void Modbus_line::leave_line(Request& request)
{
    const auto leave = [](Request& r) {
        if (!r.left && r.front)
            r.front->left_line(r.client);
        r.left = true;
    };
    leave(request);
    std::for_each(request.merged.begin(), request.merged.end(), leave);
}

bool Modbus_line::has_work(const Modbus_front& front, Client_number client) const
{
    const auto mine = [&](const Request& r) { return r.front == &front && r.client == client; };
    const auto has = [&](const Request& r) { return mine(r) || std::any_of(r.merged.begin(), r.merged.end(), mine); };
    if (owed == Owed::answer && has(awaited.request))
        return true;
    return std::any_of(askers.begin(), askers.end(),
                       [&](const Asker& a) { return std::any_of(a.requests.begin(), a.requests.end(), has); });
}

// The reads merged into others' are taken out; each request of the client's that others' reads
// joined is carried for them.
void Modbus_line::forget(const Modbus_front& front, Client_number client)
{
    if (awaited.request.front == &front && awaited.request.client == client)
        awaited.request.front = nullptr;
    drop_merged(front, client);
    std::vector<Request> carriers;
    for (auto it = askers.begin(); it != askers.end(); ++it)
        if (it->front == &front && it->client == client) {
            waiting -= it->requests.size();
            for (Request& r : it->requests)
                if (!r.merged.empty())
                    carriers.push_back(r);
            askers.erase(it);
            break;
        }
    promote(carriers);
}

void Modbus_line::drop_merged(const Modbus_front& front, Client_number client)
{
    const auto drop = [&](std::vector<Request>& merged) {
        const auto gone = std::remove_if(merged.begin(), merged.end(), [&](const Request& r) {
            return r.front == &front && r.client == client;
        });
        const int n = static_cast<int>(merged.end() - gone);
        merged.erase(gone, merged.end());
        return n;
    };
    drop(awaited.request.merged);
    for (Asker& a : askers)
        for (Request& r : a.requests)
            waiting -= drop(r.merged);
}

// Each request whose master is gone is carried for the first of the reads merged into it, in its
// place among that master's requests.
void Modbus_line::promote(std::vector<Request>& carriers)
{
    for (const Request& r : carriers) {
        Request next = r.merged.front();
        next.merged.assign(r.merged.begin() + 1, r.merged.end());
        next.plain = r.plain;
        QQueue<Request>& queue = asker(*next.front, next.client).requests;
        const auto later =
            std::find_if(queue.begin(), queue.end(), [&](const Request& q) { return q.arrival > next.arrival; });
        queue.insert(later, next);
    }
}

void Modbus_line::close()
{
    std::vector<Asker> all;
    all.swap(askers);
    waiting = 0;
    if (owed == Owed::answer)
        respond(awaited.request, exception(awaited.request.mbap, gateway_target_failed), false);
    host.kill_timer();
    owed = Owed::nothing;
    awaited = Awaited();
    for (Asker& a : all)
        for (Request& r : a.requests) {
            leave_line(r);
            respond(r, exception(r.mbap, gateway_path_unavailable), false);
        }
}

// The next waiting request goes to the modem once nothing is owed (RTU is half-duplex, and an
// answer still owed could be taken for the next one's); requests that need no radio are
// answered on the way. When every master's next request has to wait, the timer ends the wait.
void Modbus_line::send_next()
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
bool Modbus_line::send_next_in_turn(qint64 now, qint64& hold)
{
    size_t first = 0;
    for (size_t i = 0; i < askers.size(); ++i)
        if (askers[i].front == turn_front && askers[i].client == turn_client)
            first = i + 1;
    for (size_t i = 0; i < askers.size(); ++i) {
        Asker& a = askers[(first + i) % askers.size()];
        if (a.requests.isEmpty())
            continue;
        const Plan p = plan(a.requests.head(), now);
        if (p.hold_until) {
            hold = hold ? std::min(hold, p.hold_until) : p.hold_until;
            continue;
        }
        turn_front = a.front;
        turn_client = a.client;
        Request request = a.requests.dequeue();
        waiting -= 1 + static_cast<int>(request.merged.size());
        leave_line(request);
        dispatch(request, p);
        return true;
    }
    return false;
}

// A request whose answer could be taken for a late answer or a copy of an earlier one's is
// widened if it is a read, else waits for the guard time of the loss it could be taken for.
Modbus_line::Plan Modbus_line::plan(const Request& request, qint64 now) const
{
    Plan p{static_cast<char>(request.slave) + request.mbap.mid(function_at), {}, 0};
    if (function_of(request.mbap) & exception_flag || request.slave == broadcast_unit || !ledger.collides(p.rtu, now))
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

// An exception code as function is no request: illegal function, without the radio.
void Modbus_line::dispatch(const Request& request, const Plan& plan)
{
    if (function_of(request.mbap) & exception_flag) {
        respond(request, exception(request.mbap, illegal_function), false);
        return;
    }
    const int size = plan.rtu.size() + 2;
    if (static_cast<size_t>(size) > max_frame) {
        log(errfmt_too_long.tr().arg(tcp_port).arg(word_at(request.mbap, 0)).arg(size).arg(max_frame));
        respond(request, exception(request.mbap, gateway_path_unavailable), false);
        return;
    }
    send(request, plan);
}

// The request goes to the modem through the usual frame; a broadcast is owed only the server's
// acknowledgement (Modbus has no answer to it), any other request its answer within the timeout.
void Modbus_line::send(const Request& request, const Plan& plan)
{
    const QByteArray rtu = with_crc16(plan.rtu);
    const size_t size = static_cast<size_t>(rtu.size());
    std::memcpy(host.frame_area(), rtu.constData(), size);
    awaited = {request, plan, host.now_ms(), false};
    owed = request.slave == broadcast_unit ? Owed::broadcast : Owed::answer;
    host.start_timer(modbus_timeout, Qt::PreciseTimer);
    host.post_frame(size);
}

// The response goes to the request's master and, each on its own header, to the masters of the
// reads merged into it. A write may drop a master, and so change the list: it is copied first.
void Modbus_line::respond(const Request& request, const QByteArray& response, bool answer)
{
    const std::vector<Request> merged = request.merged;
    if (request.front && request.front->has_client(request.client))
        request.front->respond(request.client, response, answer);
    for (const Request& m : merged)
        if (m.front->has_client(m.client))
            m.front->respond(m.client, mbap::response(m.mbap, response.mid(function_at)), answer);
}

void Modbus_line::answer_received(const QByteArray& rtu, bool anyone_asking)
{
    if (owed != Owed::answer) {
        const bool earlier = rtu.size() >= min_rtu && ledger.answers_earlier(rtu.left(rtu.size() - 2), host.now_ms());
        if (earlier && trace_tcp)
            log_answer_error(errfmt_answer_late.tr().arg(tcp_port), rtu);
        else if (!earlier && anyone_asking)
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
bool Modbus_line::answer_fits(const QByteArray& rtu) const
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
void Modbus_line::deliver(const QByteArray& answer)
{
    host.kill_timer();
    ledger.answered(awaited.plan.rtu);
    const Request& request = awaited.request;
    const QByteArray pdu = narrowed_answer(request.mbap.mid(function_at), answer.mid(1), awaited.plan.widening);
    if (retried_plain(pdu))
        return;
    if (shareable(request) && !changes_pending(request.slave))
        cache.store(rtu_of(request), pdu, host.now_ms());
    metrics::modbus_answered(eui, metrics::Modbus_answer::radio);
    metrics::modbus_answered(eui, metrics::Modbus_answer::merged, request.merged.size());
    const bool owner_here = request.front && request.front->has_client(request.client);
    // The client gone has no address to name; the bytes follow only the entry written.
    if (!owner_here && request.merged.empty() && trace_tcp &&
        owners_gone.event(errfmt_answer_owner_gone.tr().arg(tcp_port), QString()))
        log_answer_bytes(with_crc16(answer));
    respond(request, response(request.mbap, pdu), true);
    end_awaited();
}

// The items a widened read added may lie beyond the device's: a refusal of the address or the
// quantity sends the read again as its master asked it, first in its master's turn.
bool Modbus_line::retried_plain(const QByteArray& answer_pdu)
{
    const Read_widening& by = awaited.plan.widening;
    const quint8 code = static_cast<quint8>(answer_pdu[answer_pdu.size() - 1]);
    if (!(by.front || by.back) || !(static_cast<quint8>(answer_pdu[0]) & exception_flag) ||
        (code != illegal_data_address && code != illegal_data_value))
        return false;
    Request again = awaited.request;
    again.plain = true;
    if (again.front && again.front->has_client(again.client)) {
        waiting += 1 + static_cast<int>(again.merged.size());
        asker(*again.front, again.client).requests.prepend(again);
    } else if (!again.merged.empty()) {
        waiting += static_cast<int>(again.merged.size());
        std::vector<Request> carriers{again};
        promote(carriers);
    }
    end_awaited();
    return true;
}

void Modbus_line::end_awaited()
{
    owed = Owed::nothing;
    awaited = Awaited();
    host.read_on();
}

void Modbus_line::log_answer_error(const QString& text, const QByteArray& rtu) const
{
    log(text);
    log_answer_bytes(rtu);
}

void Modbus_line::log_answer_bytes(const QByteArray& rtu) const
{
    // Both "bad_frames" and "all" want the bytes: a dropped answer is traced nowhere else.
    if (trace_tcp) {
        const QByteArray prefix = errtext_bad_answer.tr().toUtf8();
        log_data(prefix.constData(), reinterpret_cast<const unsigned char*>(rtu.constData()),
                 static_cast<size_t>(rtu.size()));
    }
}

// A broken packet before the server accepted the request belongs to an earlier answer.
void Modbus_line::answer_broken()
{
    if (owed != Owed::answer || !awaited.accepted)
        return;
    log(errfmt_broken_answer.tr().arg(tcp_port).arg(word_at(awaited.request.mbap, 0)));
    end_request(exception(awaited.request.mbap, gateway_target_failed));
}

void Modbus_line::frame_accepted()
{
    if (owed == Owed::answer)
        awaited.accepted = true;
    if (owed != Owed::broadcast)
        return;
    host.kill_timer();
    end_awaited();
}

// The request never reached the modem, so no answer to it can come.
void Modbus_line::frame_refused()
{
    if (owed == Owed::nothing)
        return;
    log(errfmt_refused.tr().arg(tcp_port).arg(word_at(awaited.request.mbap, 0)));
    host.kill_timer();
    if (owed == Owed::answer)
        respond(awaited.request, exception(awaited.request.mbap, gateway_path_unavailable), false);
    end_awaited();
}

// The time of the owed request is up: its client gets exception 0x0B. A broadcast's
// acknowledgement that never came holds the modem no longer. With nothing owed, the wait of a
// request that could not be told from a lost one is over.
void Modbus_line::timer_expired()
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
void Modbus_line::end_request(const QByteArray& response)
{
    respond(awaited.request, response, false);
    ledger.lost(awaited.plan.rtu, awaited.sent_at, host.now_ms());
    host.restart_uplink();
    end_awaited();
}
