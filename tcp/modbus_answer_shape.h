// Whether a Modbus answer's PDU can be the answer to a request's PDU: the same function (or its
// exception), and, where the function tells, the byte count or the echoed fields of the request.
#pragma once

#include <QByteArray>

bool modbus_answer_fits(const QByteArray& request_pdu, const QByteArray& answer_pdu);
