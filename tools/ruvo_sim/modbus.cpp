// A Modbus RTU slave over a block of holding and input registers, answering as a real device on RS-485 would.
#include "modbus.h"

#include "common/crc16.h"

namespace {

enum : quint8 {
    fn_read_holding = 0x03,
    fn_read_input = 0x04,
    fn_write_single = 0x06,
    fn_write_multiple = 0x10,
};

enum : quint8 {
    ex_illegal_function = 0x01,
    ex_illegal_address = 0x02,
    ex_illegal_value = 0x03,
};

constexpr int max_read = 125;
constexpr int max_write = 123;
constexpr quint8 broadcast = 0;

int word_at(const QByteArray& bytes, int offset)
{
    return (quint8(bytes[offset]) << 8) | quint8(bytes[offset + 1]);
}

void append_word(QByteArray& bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

QByteArray exception_pdu(quint8 function, quint8 code)
{
    QByteArray pdu;
    pdu.append(char(function | 0x80));
    pdu.append(char(code));
    return pdu;
}

} // namespace

Modbus_slave::Modbus_slave(quint8 address, int registers)
    : slave_address(address), holding_block(registers), input_block(registers)
{
    for (int n = 0; n < registers; ++n) {
        holding_block[n] = quint16(n);
        input_block[n] = quint16(1000 + n);
    }
}

std::optional<QByteArray> Modbus_slave::answer(const QByteArray& frame)
{
    if (frame.size() < 4)
        return std::nullopt;
    if (!crc16_ok(frame))
        return std::nullopt;
    const QByteArray body = frame.left(frame.size() - 2);
    const quint8 to = quint8(frame[0]);
    if (to != slave_address && to != broadcast)
        return std::nullopt;
    const QByteArray reply = process(body.mid(1));
    if (to == broadcast)
        return std::nullopt;
    return with_crc16(char(slave_address) + reply);
}

QByteArray Modbus_slave::process(const QByteArray& pdu)
{
    const quint8 function = quint8(pdu[0]);
    switch (function) {
    case fn_read_holding:
        return read_registers(holding_block, pdu);
    case fn_read_input:
        return read_registers(input_block, pdu);
    case fn_write_single:
        return write_single(pdu);
    case fn_write_multiple:
        return write_multiple(pdu);
    default:
        return exception_pdu(function, ex_illegal_function);
    }
}

bool Modbus_slave::in_block(int start, int count) const
{
    return start + count <= holding_block.size();
}

QByteArray Modbus_slave::read_registers(const QVector<quint16>& block, const QByteArray& pdu) const
{
    const quint8 function = quint8(pdu[0]);
    if (pdu.size() != 5)
        return exception_pdu(function, ex_illegal_value);
    const int start = word_at(pdu, 1);
    const int count = word_at(pdu, 3);
    if (count < 1 || count > max_read)
        return exception_pdu(function, ex_illegal_value);
    if (!in_block(start, count))
        return exception_pdu(function, ex_illegal_address);
    QByteArray reply;
    reply.append(char(function));
    reply.append(char(count * 2));
    for (int n = start; n < start + count; ++n)
        append_word(reply, block[n]);
    return reply;
}

QByteArray Modbus_slave::write_single(const QByteArray& pdu)
{
    if (pdu.size() != 5)
        return exception_pdu(fn_write_single, ex_illegal_value);
    const int at = word_at(pdu, 1);
    if (!in_block(at, 1))
        return exception_pdu(fn_write_single, ex_illegal_address);
    holding_block[at] = quint16(word_at(pdu, 3));
    return pdu;
}

QByteArray Modbus_slave::write_multiple(const QByteArray& pdu)
{
    if (pdu.size() < 6)
        return exception_pdu(fn_write_multiple, ex_illegal_value);
    const int start = word_at(pdu, 1);
    const int count = word_at(pdu, 3);
    const int bytes = quint8(pdu[5]);
    if (count < 1 || count > max_write || bytes != count * 2 || pdu.size() != 6 + bytes)
        return exception_pdu(fn_write_multiple, ex_illegal_value);
    if (!in_block(start, count))
        return exception_pdu(fn_write_multiple, ex_illegal_address);
    for (int n = 0; n < count; ++n)
        holding_block[start + n] = quint16(word_at(pdu, 6 + 2 * n));
    return pdu.left(5);
}
