// The Modbus RTU slave behind a virtual modem: the register functions 03, 04, 06, 16.
#pragma once

#include <QByteArray>
#include <QVector>

#include <optional>

class Modbus_slave {
public:
    static constexpr int registers_default = 100;

    // Holding register N starts with the value N, input register N with 1000 + N,
    // so that a reader can tell the two blocks and the addresses apart.
    explicit Modbus_slave(quint8 address = 1, int registers = registers_default);

    // The reply to one RTU frame; none when a slave on an RS-485 line keeps silent:
    // a frame too short, a bad CRC, another slave's address or a broadcast.
    std::optional<QByteArray> answer(const QByteArray& frame);

private:
    QByteArray process(const QByteArray& pdu);
    QByteArray read_registers(const QVector<quint16>& block, const QByteArray& pdu) const;
    QByteArray write_single(const QByteArray& pdu);
    QByteArray write_multiple(const QByteArray& pdu);
    bool in_block(int start, int count) const;

    quint8 slave_address;
    QVector<quint16> holding_block;
    QVector<quint16> input_block;
};
