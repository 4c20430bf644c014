// The MBAP framing of Modbus TCP as the port's framing and the modem's line share it: where the
// fields of a request are, the exception codes a gateway answers with, and responses built on a
// request's header.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace mbap {

// Header: transaction id, protocol id, length (of the unit id and the PDU), unit id; the PDU
// begins with the function.
const int length_end = 6;
const int unit_at = 6;
const int function_at = 7;
const quint8 broadcast_unit = 0;
const quint8 exception_flag = 0x80;
const quint8 illegal_function = 0x01;
const quint8 illegal_data_address = 0x02;
const quint8 illegal_data_value = 0x03;
const quint8 server_busy = 0x06;
const quint8 gateway_path_unavailable = 0x0A;
const quint8 gateway_target_failed = 0x0B;

int word_at(const QByteArray& bytes, int at);
// The request's header with the length of this PDU, then the PDU.
QByteArray response(const QByteArray& request, const QByteArray& pdu);
QByteArray exception(const QByteArray& request, quint8 code);

}  // namespace mbap
