// Cutting a device's answer into type-3 packets as a radio modem does, with optional deliberate faults.
#include "uplink.h"

#include "output.h"

#include <algorithm>

namespace {

constexpr char payload_type_uplink = 3;
constexpr int uplink_header_size = 6;
constexpr int max_packets = 255;
constexpr int max_total = 0xFFFF;

enum Header_offset { at_total = 1, at_size = 3, at_number = 4, at_packets = 5 };

void bump(QByteArray& packet, int offset)
{
    packet[offset] = char(quint8(packet[offset]) + 1);
}

void spoil(QVector<QByteArray>& packets, Uplink_fault fault)
{
    QByteArray& last = packets.last();
    switch (fault) {
    case Uplink_fault::none:
        break;
    case Uplink_fault::out_of_order:
        if (packets.size() == 1)
            last[at_number] = 1;
        else
            std::swap(packets[packets.size() - 2], last);
        break;
    case Uplink_fault::size:
        bump(last, at_size);
        break;
    case Uplink_fault::total:
        bump(last, at_total);
        break;
    case Uplink_fault::packets:
        bump(last, at_packets);
        break;
    }
}

} // namespace

std::optional<Uplink_fault> parse_uplink_fault(const QString& word)
{
    static const QVector<QPair<QString, Uplink_fault>> names = {
        {QStringLiteral("none"), Uplink_fault::none},
        {QStringLiteral("out_of_order"), Uplink_fault::out_of_order},
        {QStringLiteral("size"), Uplink_fault::size},
        {QStringLiteral("total"), Uplink_fault::total},
        {QStringLiteral("packets"), Uplink_fault::packets},
    };
    for (const auto& name : names)
        if (name.first == word)
            return name.second;
    return std::nullopt;
}

QByteArray uplink_packet(int total_size, int number, int packets, const QByteArray& data)
{
    QByteArray packet;
    packet.reserve(uplink_header_size + data.size());
    packet.append(payload_type_uplink);
    packet.append(char(total_size & 0xFF));
    packet.append(char((total_size >> 8) & 0xFF));
    packet.append(char(data.size()));
    packet.append(char(number));
    packet.append(char(packets));
    packet.append(data);
    return packet;
}

QVector<QByteArray> cut_uplink(QByteArray answer, int packet_size, Uplink_fault fault)
{
    const int limit = std::min(max_total, max_packets * packet_size);
    if (answer.size() > limit) {
        print_note(QStringLiteral("an answer of %1 bytes is cut to %2").arg(answer.size()).arg(limit));
        answer.truncate(limit);
    }
    const int packets = std::max(1, int((answer.size() + packet_size - 1) / packet_size));
    QVector<QByteArray> result;
    result.reserve(packets);
    for (int n = 0; n < packets; ++n)
        result.append(uplink_packet(answer.size(), n, packets, answer.mid(n * packet_size, packet_size)));
    spoil(result, fault);
    return result;
}
