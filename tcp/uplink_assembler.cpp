// The modem's uplink packets: each is checked against its own length and the first packet of
// its answer, and the data of all of them joined in order.
#include "tcp/uplink_assembler.h"

#include "common/err.h"
#include "common/hex.h"

#include <algorithm>
#include <string_view>

namespace {

Tr errfmt_rx_empty_data{TR_TEXT("log",
                                "От сервера RUVO-LoRa пришло сообщение \"rx\" с пустым полем \"data\" (EUI=0x%1). "
                                "Сообщение игнорируется.")};
Tr errfmt_rx_too_short{TR_TEXT("log",
                               "Неправильный «пакет с данными от внешнего устройства, полученными по интерфейсу "
                               "RS-232 или RS-485» от радиомодема с EUI=0x%1: фактическая длина пакета равна %2 "
                               "байтов, т.е., в нём не помещается даже заголовок.")};
Tr errfmt_rx_size_mismatch{TR_TEXT("log",
                                   "Неправильный «пакет с данными от внешнего устройства, полученными по "
                                   "интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: поле «размер данных в "
                                   "данном пакете» содержит значение %2, а фактически поле «данные» имеет размер "
                                   "%3 байтов.")};
Tr errfmt_rx_shuffle{TR_TEXT("log",
                             "«Пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или "
                             "RS-485» от устройства с EUI=0x%1 пришёл с нарушением порядка: ожидается пакет №%2, а "
                             "пришёл пакет №%3.")};
Tr errfmt_rx_total_size_mismatch{TR_TEXT("log",
                                         "Неправильный «пакет с данными от внешнего устройства, полученными по "
                                         "интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: в %2-м пакете "
                                         "поле «общий размер полученных через интерфейс данных» содержало значение "
                                         "%3, а в %4-м пакете оно уже содержит значение %5.")};
Tr errfmt_rx_total_packets_mismatch{TR_TEXT("log",
                                            "Неправильный «пакет с данными от внешнего устройства, полученными по "
                                            "интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: в %2-м "
                                            "пакете поле «всего пакетов» содержало значение %3, а в %4-м пакете "
                                            "оно уже содержит значение %5.")};

// Uplink packet of the modem: type, total size (2 bytes, little-endian), size of this packet's
// data, packet number, number of packets; then the data.
const unsigned char uplink_type = 3;
const int header = 6;

QString packet_error(Tr& format, quint64 eui)
{
    return QString(format.tr()).arg(buf_hex64_engine.set(eui));
}

}  // namespace

Uplink_assembler::Verdict Uplink_assembler::take(QByteArray& packet, std::optional<quint32> fcnt)
{
    error_text.clear();
    if (fcnt && !first_seen(packet, *fcnt))
        return repeated;
    if (packet.isEmpty()) {
        error_text = packet_error(errfmt_rx_empty_data, eui);
        return ignored;
    }
    if (static_cast<unsigned char>(packet[0]) != uplink_type)
        return ignored;
    if (!fits(reinterpret_cast<const unsigned char*>(packet.constData()), packet.size())) {
        broke_joined = count > 0;
        count = 0;
        answer.clear();
        return broken;
    }
    packet.remove(0, header);
    if (count == 0)
        answer = packet;
    else
        answer += packet;
    if (++count < packets)
        return incomplete;
    count = 0;
    return complete;
}

// A replay of a whole answer of several packets repeats more than the last packet.
bool Uplink_assembler::first_seen(const QByteArray& packet, quint32 fcnt)
{
    const Seen seen{fcnt, std::hash<std::string_view>{}(
                              std::string_view(packet.constData(), static_cast<size_t>(packet.size())))};
    if (std::find(recent.begin(), recent.end(), seen) != recent.end())
        return false;
    if (recent.size() < recent_kept) {
        if (recent.empty())
            recent.reserve(recent_kept);
        recent.push_back(seen);
        return true;
    }
    recent[next_seen] = seen;
    next_seen = static_cast<quint8>((next_seen + 1) % recent_kept);
    return true;
}

QByteArray Uplink_assembler::take_answer()
{
    QByteArray whole;
    whole.swap(answer);
    return whole;
}

// Checks one packet against its own length and the answer's first packet, saying what is
// wrong; the first packet of an answer sets the answer's totals.
bool Uplink_assembler::fits(const unsigned char* p, int size)
{
    if (size < header) {
        error_text = packet_error(errfmt_rx_too_short, eui).arg(size);
        return false;
    }
    const int data_size = size - header;
    if (p[3] != data_size) {
        error_text = packet_error(errfmt_rx_size_mismatch, eui).arg(QString::number(p[3]), QString::number(data_size));
        return false;
    }
    if (p[4] != count) {
        error_text = packet_error(errfmt_rx_shuffle, eui).arg(QString::number(count), QString::number(p[4]));
        return false;
    }
    const quint16 packet_total = static_cast<quint16>(p[1] | (p[2] << 8));
    if (count == 0) {
        total = packet_total;
        packets = p[5];
        return true;
    }
    if (packet_total != total) {
        error_text = packet_error(errfmt_rx_total_size_mismatch, eui)
                         .arg(QString::number(count - 1), QString::number(total), QString::number(count),
                              QString::number(packet_total));
        return false;
    }
    if (p[5] != packets) {
        error_text = packet_error(errfmt_rx_total_packets_mismatch, eui)
                         .arg(QString::number(count - 1), QString::number(packets), QString::number(count),
                              QString::number(p[5]));
        return false;
    }
    return true;
}
