// Modbus TCP on a modem's own port: every request goes to that modem's line, with the unit id
// the master asked as the RTU slave address; the link's verdicts and the modem's answers go to
// the line.
#pragma once

#include "tcp/modbus_line.h"
#include "tcp/modbus_port_framing.h"

class Modbus_tcp_framing : public Modbus_port_framing {
public:
    // cache_ms: the modem's read cache time (0: none).
    Modbus_tcp_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame, quint32 cache_ms = 0);

    Modbus_line* modbus_line() override { return &line; }
    void timer_expired() override;
    // An answer that does not fit the owed request is dropped; the request then times out.
    void answer_received(const QByteArray& rtu) override;
    // A lost, repeated or shuffled packet: the owed request ends with exception 0x0B.
    void answer_broken(bool joined_before) override;
    void frame_accepted() override;
    // The owed request ends with exception 0x0A; the connections stay.
    void frame_refused() override;
    // The modem is served no more: what its line holds ends with exceptions.
    void retire() override;

private:
    Modbus_route route(Client_number client, const QByteArray& request) override;
    void for_each_line(const std::function<void(Modbus_line&)>& f) override;

    Modbus_line line;
};
