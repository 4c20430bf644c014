// Modbus TCP responses built on the header of the request they answer.
#include "tcp/modbus_mbap.h"

namespace mbap {

int word_at(const QByteArray& bytes, int at)
{
    return static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]);
}

QByteArray response(const QByteArray& request, const QByteArray& pdu)
{
    QByteArray header = request.left(unit_at + 1);
    const int length = pdu.size() + 1;
    header[4] = static_cast<char>(length >> 8);
    header[5] = static_cast<char>(length & 0xFF);
    return header + pdu;
}

QByteArray exception(const QByteArray& request, quint8 code)
{
    QByteArray pdu;
    pdu.append(static_cast<char>(static_cast<quint8>(request[function_at]) | exception_flag));
    pdu.append(static_cast<char>(code));
    return response(request, pdu);
}

}  // namespace mbap
