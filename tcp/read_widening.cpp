// Widening a Modbus read and trimming its answer: registers (functions 3 and 4) are two bytes
// each; coils and discrete inputs (1 and 2) are bits, packed from the lowest bit of the first byte.
#include "tcp/read_widening.h"

namespace {

const int address_at = 1;
const int quantity_at = 3;
const int read_pdu_size = 5;
const int address_space = 0x10000;
const quint8 exception_flag = 0x80;

int word_at(const QByteArray& bytes, int at)
{
    return static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]);
}

void set_word(QByteArray& bytes, int at, int value)
{
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value & 0xFF);
}

bool bit_read(const QByteArray& pdu)
{
    return static_cast<quint8>(pdu[0]) <= 2;
}

// The most items one read may ask for.
int max_quantity(const QByteArray& pdu)
{
    return bit_read(pdu) ? 2000 : 125;
}

QByteArray trimmed_bits(const QByteArray& data, int first, int count)
{
    QByteArray out((count + 7) / 8, '\0');
    for (int i = 0; i < count; ++i) {
        const int from = first + i;
        if (static_cast<quint8>(data[from / 8]) & (1 << (from % 8)))
            out[i / 8] = static_cast<char>(static_cast<quint8>(out[i / 8]) | (1 << (i % 8)));
    }
    return out;
}

}  // namespace

bool widenable_read(const QByteArray& pdu)
{
    if (pdu.size() != read_pdu_size)
        return false;
    const quint8 function = static_cast<quint8>(pdu[0]);
    return function >= 1 && function <= 4;
}

std::optional<QByteArray> widened_read(const QByteArray& pdu, Read_widening by)
{
    if (!widenable_read(pdu))
        return std::nullopt;
    const int address = word_at(pdu, address_at) - by.front;
    const int quantity = word_at(pdu, quantity_at) + by.front + by.back;
    if (address < 0 || address + quantity > address_space || quantity > max_quantity(pdu))
        return std::nullopt;
    QByteArray wide = pdu;
    set_word(wide, address_at, address);
    set_word(wide, quantity_at, quantity);
    return wide;
}

QByteArray narrowed_answer(const QByteArray& asked, const QByteArray& answer, Read_widening by)
{
    if ((!by.front && !by.back) || static_cast<quint8>(answer[0]) & exception_flag)
        return answer;
    const int quantity = word_at(asked, quantity_at);
    const QByteArray data = answer.mid(2);
    const QByteArray kept = bit_read(asked) ? trimmed_bits(data, by.front, quantity) : data.mid(2 * by.front, 2 * quantity);
    return answer.left(1) + static_cast<char>(kept.size()) + kept;
}
