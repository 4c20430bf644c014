// Modbus TCP on a modem's port: MBAP requests of all its clients in one waiting line, RTU frames
// to the modem one at a time, RTU answers checked against the owed request and returned as MBAP
// responses to the client that asked.
#include "tcp/modbus_tcp_framing.h"

#include "core/cfg.h"
#include "common/crc16.h"
#include "common/err.h"
#include "metrics/metrics.h"
#include "core/client_allow_list.h"
#include "tcp/modbus_answer_shape.h"

#include <QTcpSocket>
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

void Modbus_tcp_framing::begin(Client_number client, QTcpSocket& socket)
{
    socket.setReadBufferSize(read_buffer);
    masters.push_back({client, unmapped(socket.peerAddress()).toString(), QByteArray(), 0});
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
        if (!m || m->waiting >= max_waiting_per_client || socket.bytesAvailable() <= 0)
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
    while (m.waiting < max_waiting_per_client && m.input.size() >= length_end) {
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
        if (!enqueue(m, request))
            break;
    }
    return true;
}

// A full waiting line is said to the client at once: it may retry, or ask later. False when
// that write dropped the client.
bool Modbus_tcp_framing::enqueue(Master& m, const QByteArray& request)
{
    if (waiting.size() < max_waiting) {
        waiting.enqueue({m.number, request});
        ++m.waiting;
        return true;
    }
    const Client_number number = m.number;
    busy.event(errfmt_busy.tr().arg(tcp_port).arg(max_waiting).arg(m.peer), m.peer);
    host.write_to_client(number, exception(request, server_busy));
    return master(number) != nullptr;
}

// The next waiting request goes to the modem once nothing is owed (RTU is half-duplex, and an
// answer still owed could be taken for the next one's); requests that need no radio are
// answered on the way.
void Modbus_tcp_framing::send_next()
{
    while (owed == Owed::nothing && !waiting.isEmpty()) {
        const Request request = waiting.dequeue();
        if (Master* m = master(request.from))
            --m->waiting;
        if (answered_at_once(request))
            continue;
        const QByteArray rtu = with_crc16(request.mbap.mid(unit_at));
        if (static_cast<size_t>(rtu.size()) > max_frame) {
            log(errfmt_too_long.tr().arg(tcp_port).arg(word_at(request.mbap, 0)).arg(rtu.size()).arg(max_frame));
            host.write_to_client(request.from, exception(request.mbap, gateway_path_unavailable));
            continue;
        }
        send(request, rtu);
    }
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
void Modbus_tcp_framing::send(const Request& request, const QByteArray& rtu)
{
    const size_t size = static_cast<size_t>(rtu.size());
    std::memcpy(host.frame_area(), rtu.constData(), size);
    awaited = request;
    owed = static_cast<quint8>(request.mbap[unit_at]) == broadcast_unit ? Owed::broadcast : Owed::answer;
    host.start_timer(modbus_timeout, Qt::PreciseTimer);
    host.post_frame(size);
}

void Modbus_tcp_framing::answer_received(const QByteArray& rtu)
{
    if (owed == Owed::late_answer) {
        if (trace_tcp)
            log_answer_error(errfmt_answer_late.tr().arg(tcp_port), rtu);
        host.kill_timer();
        owed = Owed::nothing;
        host.read_on();
        return;
    }
    if (owed != Owed::answer) {
        if (!masters.empty())
            log_answer_error(errfmt_answer_unasked.tr().arg(tcp_port), rtu);
        return;
    }
    if (!answer_fits(rtu))
        return;
    host.kill_timer();
    if (master(awaited.from)) {
        // The PDU: without the unit id in front and the CRC behind.
        host.write_answer(awaited.from, response(awaited.mbap, rtu.mid(1, rtu.size() - 3)));
    } else if (trace_tcp) {
        log_answer_error(errfmt_answer_owner_gone.tr().arg(tcp_port), rtu);
    }
    owed = Owed::nothing;
    awaited = Request();
    host.read_on();
}

// Checks the answer against the awaited request, logging why it does not fit.
bool Modbus_tcp_framing::answer_fits(const QByteArray& rtu) const
{
    if (rtu.size() < min_rtu || !crc16_ok(rtu)) {
        log_answer_error(errfmt_answer_bad_crc.tr().arg(tcp_port).arg(rtu.size()), rtu);
        return false;
    }
    const QByteArray& asked = awaited.mbap;
    const quint8 unit = static_cast<quint8>(rtu[0]);
    const quint8 asked_unit = static_cast<quint8>(asked[unit_at]);
    if (unit != asked_unit) {
        log_answer_error(errfmt_answer_other_unit.tr().arg(tcp_port).arg(unit).arg(asked_unit), rtu);
        return false;
    }
    const quint8 function = static_cast<quint8>(rtu[1]) & ~exception_flag;
    const quint8 asked_function = static_cast<quint8>(asked[function_at]);
    if (function != asked_function) {
        log_answer_error(errfmt_answer_other_function.tr().arg(tcp_port).arg(function).arg(asked_function), rtu);
        return false;
    }
    if (!modbus_answer_fits(asked.mid(function_at), rtu.mid(1, rtu.size() - 3))) {
        log_answer_error(errfmt_answer_other_shape.tr().arg(tcp_port).arg(asked_function), rtu);
        return false;
    }
    return true;
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

void Modbus_tcp_framing::answer_broken(bool)
{
    if (owed != Owed::answer)
        return;
    log(errfmt_broken_answer.tr().arg(tcp_port).arg(word_at(awaited.mbap, 0)));
    end_request(exception(awaited.mbap, gateway_target_failed));
}

void Modbus_tcp_framing::frame_accepted()
{
    if (owed != Owed::broadcast)
        return;
    host.kill_timer();
    owed = Owed::nothing;
    awaited = Request();
    host.read_on();
}

// The request never reached the modem, so no answer to it can come.
void Modbus_tcp_framing::frame_refused()
{
    if (owed != Owed::answer && owed != Owed::broadcast)
        return;
    log(errfmt_refused.tr().arg(tcp_port).arg(word_at(awaited.mbap, 0)));
    host.kill_timer();
    if (owed == Owed::answer)
        host.write_to_client(awaited.from, exception(awaited.mbap, gateway_path_unavailable));
    owed = Owed::nothing;
    awaited = Request();
    host.read_on();
}

// The time of the owed request is up: its client gets exception 0x0B; a late answer is then
// still awaited for a guard time, and dropped if it comes. A broadcast's acknowledgement
// that never came holds the port no longer.
void Modbus_tcp_framing::timer_expired()
{
    switch (owed) {
    case Owed::answer:
        log(errfmt_no_answer.tr().arg(tcp_port).arg(word_at(awaited.mbap, 0)).arg(modbus_timeout));
        end_request(exception(awaited.mbap, gateway_target_failed));
        return;
    case Owed::late_answer:
        // A part of the late answer must not be joined to the next one's.
        host.restart_uplink();
        owed = Owed::nothing;
        host.read_on();
        return;
    case Owed::broadcast:
        owed = Owed::nothing;
        awaited = Request();
        host.read_on();
        return;
    case Owed::nothing:
        return;
    }
}

// The request ends without its answer: the answer may still come, late.
void Modbus_tcp_framing::end_request(const QByteArray& response)
{
    host.write_to_client(awaited.from, response);
    awaited = Request();
    host.restart_uplink();
    owed = Owed::late_answer;
    host.start_timer(modbus_timeout, Qt::PreciseTimer);
}

void Modbus_tcp_framing::client_left(Client_number client, int)
{
    for (auto it = waiting.begin(); it != waiting.end();)
        it = it->from == client ? waiting.erase(it) : it + 1;
    for (auto it = masters.begin(); it != masters.end(); ++it)
        if (it->number == client) {
            masters.erase(it);
            return;
        }
}
