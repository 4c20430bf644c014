// The shape of a Modbus answer against its request: reads answer with a byte count that follows
// from the quantity asked, writes echo their address and value or quantity, 22 echoes the whole
// request; an exception is two bytes. Other functions are checked by their code alone.
#include "tcp/modbus_answer_shape.h"

namespace {

const quint8 exception_flag = 0x80;

int word_at(const QByteArray& bytes, int at)
{
    return static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]);
}

// The bytes an answer other than an exception begins with, and its whole size (any when -1); a
// read whose quantity cannot be read from the request has no answer that fits (size -2).
struct Expected {
    QByteArray prefix;
    int size;
};

// The byte count of a read answer for the quantity at `at` of the request.
Expected read_answer(const QByteArray& request, int at, int bytes_per_item, int items_per_byte)
{
    if (request.size() < at + 2)
        return {QByteArray(), -2};
    const int quantity = word_at(request, at);
    const int bytes = items_per_byte > 1 ? (quantity + items_per_byte - 1) / items_per_byte : quantity * bytes_per_item;
    if (bytes > 0xFF)
        return {QByteArray(), -2};
    return {request.left(1) + static_cast<char>(bytes), 2 + bytes};
}

Expected echo_answer(const QByteArray& request, int size)
{
    if (request.size() < size)
        return {QByteArray(), -2};
    return {request.left(size), size};
}

Expected expected_answer(const QByteArray& request)
{
    switch (static_cast<quint8>(request[0])) {
    case 1:
    case 2:
        return read_answer(request, 3, 0, 8);
    case 3:
    case 4:
    case 23:
        return read_answer(request, 3, 2, 1);
    case 5:
    case 6:
    case 15:
    case 16:
        return echo_answer(request, 5);
    case 22:
        return echo_answer(request, 7);
    default:
        return {request.left(1), -1};
    }
}

}  // namespace

bool modbus_answer_fits(const QByteArray& request_pdu, const QByteArray& answer_pdu)
{
    if (request_pdu.isEmpty() || answer_pdu.isEmpty())
        return false;
    const quint8 function = static_cast<quint8>(request_pdu[0]);
    if (static_cast<quint8>(answer_pdu[0]) == (function | exception_flag))
        return answer_pdu.size() == 2;
    const Expected expected = expected_answer(request_pdu);
    if (expected.size == -2 || !answer_pdu.startsWith(expected.prefix))
        return false;
    return expected.size == -1 || answer_pdu.size() == expected.size;
}

QByteArray modbus_answer_key(const QByteArray& request_pdu)
{
    if (request_pdu.isEmpty())
        return QByteArray();
    const Expected expected = expected_answer(request_pdu);
    return expected.prefix + QByteArray::number(expected.size);
}
