// A modem's own Modbus TCP port: its masters' requests and the link's events, all for its line.
#include "tcp/modbus_tcp_framing.h"

#include "tcp/modbus_mbap.h"

Modbus_tcp_framing::Modbus_tcp_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame,
                                       quint32 cache_ms)
    : Modbus_port_framing(host, eui, tcp_port, max_frame), line(host, eui, tcp_port, max_frame, cache_ms)
{
}

Modbus_route Modbus_tcp_framing::route(Client_number, const QByteArray& request)
{
    return {&line, static_cast<quint8>(request[mbap::unit_at])};
}

void Modbus_tcp_framing::for_each_line(const std::function<void(Modbus_line&)>& f)
{
    f(line);
}

void Modbus_tcp_framing::timer_expired()
{
    line.timer_expired();
}

void Modbus_tcp_framing::answer_received(const QByteArray& rtu)
{
    line.answer_received(rtu, has_masters());
}

void Modbus_tcp_framing::answer_broken(bool)
{
    line.answer_broken();
}

void Modbus_tcp_framing::frame_accepted()
{
    line.frame_accepted();
}

void Modbus_tcp_framing::frame_refused()
{
    line.frame_refused();
}

void Modbus_tcp_framing::retire()
{
    line.close();
}
