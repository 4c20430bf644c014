// Modbus TCP on a modem's port: MBAP requests in, RTU frames to the modem one at a time, RTU
// answers checked and returned as MBAP responses.
#include "tcp/modbus_tcp_framing.h"

#include "core/cfg.h"
#include "common/crc16.h"
#include "common/err.h"

#include <QTcpSocket>
#include <cstring>

namespace {

Tr errfmt_bad_mbap{TR_TEXT("log",
                           "Ошибка: клиент на порту %1 прислал запрос Modbus TCP с неправильным заголовком MBAP "
                           "(идентификатор протокола %2, длина %3). Соединение с клиентом закрыто.")};
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
Tr errfmt_no_answer{TR_TEXT("log",
                            "Устройство не ответило на запрос Modbus через порт %1 (транзакция %2) за %3 мс; "
                            "клиенту отправлено исключение 0x0B.")};
Tr errtext_bad_answer{TR_TEXT("log", "Ответ устройства, вызвавший предыдущую ошибку: ")};

// MBAP header: transaction id, protocol id, length (of the unit id and the PDU), unit id.
const int length_end = 6;
const int unit_at = 6;
const int function_at = 7;
const int min_length = 2;
const int max_length = 254;
// The smallest RTU answer: unit id, function, CRC.
const int min_rtu = 4;
const quint8 exception_flag = 0x80;
const quint8 gateway_target_failed = 0x0B;
// Read buffer of a Modbus TCP client's socket.
const qint64 read_buffer = 16 * Modbus_tcp_framing::max_request;

int word_at(const QByteArray& bytes, int at)
{
    return static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]);
}

}  // namespace

void Modbus_tcp_framing::begin(QTcpSocket& client)
{
    client.setReadBufferSize(read_buffer);
}

void Modbus_tcp_framing::read(QIODevice& client)
{
    char bytes[max_request];
    while (!line_full() && client.bytesAvailable() > 0) {
        const qint64 n = client.read(bytes, sizeof bytes);
        if (n <= 0) {
            host.read_failed(n);
            return;
        }
        tracer.data(".recv ", reinterpret_cast<const unsigned char*>(bytes), static_cast<size_t>(n));
        if (!take(bytes, static_cast<int>(n))) {
            host.shutdown_connection();
            return;
        }
    }
    send_next();
}

// The next request goes to the modem through the usual frame, with its own answer timeout.
void Modbus_tcp_framing::send_next()
{
    const QByteArray rtu = next_rtu();
    if (rtu.isEmpty())
        return;
    const size_t size = static_cast<size_t>(rtu.size());
    if (size > max_frame) {
        refuse_oversize(reinterpret_cast<const unsigned char*>(rtu.constData()), size);
        return;
    }
    std::memcpy(host.frame_area(), rtu.constData(), size);
    host.post_frame(size);
    host.start_timer(modbus_timeout, Qt::CoarseTimer);
}

void Modbus_tcp_framing::answer_received(const QByteArray& rtu)
{
    const QByteArray response = answer(rtu);
    if (response.isEmpty())
        return;
    host.kill_timer();
    host.write_answer(response);
    host.read_on();
}

void Modbus_tcp_framing::timer_expired()
{
    host.write_to_client(timeout_exception());
    host.read_on();
}

bool Modbus_tcp_framing::take(const char* bytes, int size)
{
    input.append(bytes, size);
    while (input.size() >= length_end) {
        const int protocol = word_at(input, 2);
        const int length = word_at(input, 4);
        if (protocol != 0 || length < min_length || length > max_length) {
            log(errfmt_bad_mbap.tr().arg(tcp_port).arg(protocol).arg(length));
            input.clear();
            return false;
        }
        if (input.size() < length_end + length)
            break;
        waiting.enqueue(input.left(length_end + length));
        input.remove(0, length_end + length);
    }
    return true;
}

QByteArray Modbus_tcp_framing::next_rtu()
{
    if (!awaited.isEmpty() || waiting.isEmpty())
        return QByteArray();
    awaited = waiting.dequeue();
    return with_crc16(awaited.mid(unit_at));
}

QByteArray Modbus_tcp_framing::answer(const QByteArray& rtu)
{
    if (!answer_fits(rtu))
        return QByteArray();
    // The PDU: without the unit id in front and the CRC behind.
    return response(rtu.mid(1, rtu.size() - 3));
}

// Checks the answer against the awaited request, logging why it does not fit.
bool Modbus_tcp_framing::answer_fits(const QByteArray& rtu) const
{
    if (awaited.isEmpty()) {
        log_answer_error(errfmt_answer_unasked.tr().arg(tcp_port), rtu);
        return false;
    }
    if (rtu.size() < min_rtu || !crc16_ok(rtu)) {
        log_answer_error(errfmt_answer_bad_crc.tr().arg(tcp_port).arg(rtu.size()), rtu);
        return false;
    }
    const quint8 unit = static_cast<quint8>(rtu[0]);
    const quint8 asked_unit = static_cast<quint8>(awaited[unit_at]);
    if (unit != asked_unit) {
        log_answer_error(errfmt_answer_other_unit.tr().arg(tcp_port).arg(unit).arg(asked_unit), rtu);
        return false;
    }
    const quint8 function = static_cast<quint8>(rtu[1]) & ~exception_flag;
    const quint8 asked_function = static_cast<quint8>(awaited[function_at]);
    if (function != asked_function) {
        log_answer_error(errfmt_answer_other_function.tr().arg(tcp_port).arg(function).arg(asked_function), rtu);
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

QByteArray Modbus_tcp_framing::timeout_exception()
{
    log(errfmt_no_answer.tr().arg(tcp_port).arg(word_at(awaited, 0)).arg(modbus_timeout));
    QByteArray pdu;
    pdu.append(static_cast<char>(static_cast<quint8>(awaited[function_at]) | exception_flag));
    pdu.append(static_cast<char>(gateway_target_failed));
    return response(pdu);
}

// The awaited request's header with the length of this PDU, then the PDU; the request ends.
QByteArray Modbus_tcp_framing::response(const QByteArray& pdu)
{
    QByteArray mbap = awaited.left(unit_at + 1);
    const int length = pdu.size() + 1;
    mbap[4] = static_cast<char>(length >> 8);
    mbap[5] = static_cast<char>(length & 0xFF);
    awaited.clear();
    return mbap + pdu;
}

void Modbus_tcp_framing::reset()
{
    input.clear();
    waiting.clear();
    awaited.clear();
}
