// Frames of a raw port: the client's bytes are read straight into the frame being filled, and a
// pause of tcp_interframe_delay ends it; answers go to the client as they are.
#include "tcp/pause_framing.h"

#include "core/cfg.h"
#include "common/err.h"

#include <QIODevice>

void Pause_framing::begin(QTcpSocket&)
{
    received = 0;
}

void Pause_framing::read(QIODevice& client)
{
    unsigned char* const end = host.frame_area() + received;
    const qint64 room = static_cast<qint64>(max_frame + 1 - received);
    const qint64 n = client.read(reinterpret_cast<char*>(end), room);
    if (n <= 0) {
        host.read_failed(n);
    } else if (n < room) {
        tracer.data(".recv ", end, static_cast<size_t>(n));
        received += static_cast<size_t>(n);
        host.start_timer(tcp_interframe_delay, Qt::CoarseTimer);
    } else if (n == room) {
        refuse_oversize(host.frame_area(), max_frame + 1);
    } else {
        log_debug(0x0806);
        host.shutdown_connection();
    }
}

void Pause_framing::timer_expired()
{
    const size_t size = received;
    received = 0;
    host.post_frame(size);
}

void Pause_framing::answer_received(const QByteArray& answer)
{
    host.write_answer(answer);
}

void Pause_framing::answer_broken(bool joined_before)
{
    if (joined_before)
        host.shutdown_connection();
}

void Pause_framing::reset()
{
    host.kill_timer();
    received = 0;
}
