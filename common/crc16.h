// CRC-16/MODBUS, the check of every Modbus RTU frame; one implementation for the program and
// the simulator.
#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reflected polynomial 0xA001, start value 0xFFFF.
quint16 crc16_modbus(const QByteArray& bytes);

// The frame with its CRC appended, low byte first, as it goes on the wire.
QByteArray with_crc16(QByteArray frame);

// True when the frame ends in the right CRC of the bytes before it.
bool crc16_ok(const QByteArray& frame);
