// CRC-16/MODBUS, the check of every Modbus RTU frame.
#include "common/crc16.h"

quint16 crc16_modbus(const QByteArray& bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray with_crc16(QByteArray frame)
{
    const quint16 crc = crc16_modbus(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool crc16_ok(const QByteArray& frame)
{
    if (frame.size() < 2)
        return false;
    const quint16 crc = crc16_modbus(frame.left(frame.size() - 2));
    return static_cast<quint8>(frame[frame.size() - 2]) == (crc & 0xFF) &&
           static_cast<quint8>(frame[frame.size() - 1]) == (crc >> 8);
}
