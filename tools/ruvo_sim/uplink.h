// The modem's uplink: a device's answer cut into payloads of type 3, and the ways to spoil them on purpose.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

// How an answer's packets are spoiled: none, the last two swapped (a lone packet numbered 1),
// or, in the last packet, a wrong data size, a wrong total size or a wrong number of packets.
enum class Uplink_fault { none, out_of_order, size, total, packets };

std::optional<Uplink_fault> parse_uplink_fault(const QString& word);

// Payload of type 3: type, total size u16 LE, size of this data u8, packet number u8, packets u8, data.
QByteArray uplink_packet(int total_size, int number, int packets, const QByteArray& data);

// Cuts an answer into packets of at most packet_size data bytes. A modem's serial buffer
// cannot describe more than 65535 bytes or 255 packets, so a longer answer is cut short.
QVector<QByteArray> cut_uplink(QByteArray answer, int packet_size, Uplink_fault fault = Uplink_fault::none);
