// Whether a Modbus answer's PDU can be the answer to a request's PDU: the same function (or its
// exception), and, where the function tells, the byte count or the echoed fields of the request.
#pragma once

#include <QByteArray>

bool modbus_answer_fits(const QByteArray& request_pdu, const QByteArray& answer_pdu);
// What of an answer other than an exception follows from the request: its function, and the byte
// count or the echoed fields where the function tells them. Two requests with the same key may
// get answers that fit either.
QByteArray modbus_answer_key(const QByteArray& request_pdu);
