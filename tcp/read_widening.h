// A Modbus read widened by a few items before or after the ones its master asked for, so that
// its answer has another length than the answers of earlier reads of the same shape and a late
// answer of those cannot be taken for its own; and the answer trimmed back to what was asked.
#pragma once

#include <QByteArray>
#include <optional>

struct Read_widening {
    int front = 0;  // items asked before the master's first
    int back = 0;   // items asked after the master's last
};

// Whether the request PDU is a read that can be widened (functions 1 to 4).
bool widenable_read(const QByteArray& pdu);
// The read PDU asking for the items before and after too; none when the address range or the
// quantity a read may ask would be passed.
std::optional<QByteArray> widened_read(const QByteArray& pdu, Read_widening by);
// The answer PDU of the widened read trimmed to the items of the master's read `asked`; an
// exception, or the answer of a read not widened, is left as it is.
QByteArray narrowed_answer(const QByteArray& asked, const QByteArray& answer, Read_widening by);
