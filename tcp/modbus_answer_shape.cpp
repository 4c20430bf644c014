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

// The byte count of a read answer for the quantity at `at` of the request, or -1 if unknown.
int read_bytes(const QByteArray& request, int at, int bytes_per_item, int items_per_byte)
{
    if (request.size() < at + 2)
        return -1;
    const int quantity = word_at(request, at);
    return items_per_byte > 1 ? (quantity + items_per_byte - 1) / items_per_byte : quantity * bytes_per_item;
}

bool read_fits(const QByteArray& answer, int expected)
{
    return expected >= 0 && answer.size() == 2 + expected && static_cast<quint8>(answer[1]) == expected;
}

bool echo_fits(const QByteArray& request, const QByteArray& answer, int size)
{
    return answer.size() == size && request.size() >= size && answer == request.left(size);
}

}  // namespace

bool modbus_answer_fits(const QByteArray& request_pdu, const QByteArray& answer_pdu)
{
    if (request_pdu.isEmpty() || answer_pdu.isEmpty())
        return false;
    const quint8 function = static_cast<quint8>(request_pdu[0]);
    const quint8 answered = static_cast<quint8>(answer_pdu[0]);
    if (answered == (function | exception_flag))
        return answer_pdu.size() == 2;
    if (answered != function)
        return false;
    switch (function) {
    case 1:
    case 2:
        return read_fits(answer_pdu, read_bytes(request_pdu, 3, 0, 8));
    case 3:
    case 4:
    case 23:
        return read_fits(answer_pdu, read_bytes(request_pdu, 3, 2, 1));
    case 5:
    case 6:
    case 15:
    case 16:
        return echo_fits(request_pdu, answer_pdu, 5);
    case 22:
        return echo_fits(request_pdu, answer_pdu, 7);
    default:
        return true;
    }
}
