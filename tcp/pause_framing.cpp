// Frames of a raw port: the client's bytes are read straight into the frame being filled, and a
// pause of tcp_interframe_delay ends it; an answer goes to the client as it is when it answers
// one of that client's frames, and is dropped when it answers a client that has gone.
#include "tcp/pause_framing.h"

#include "core/cfg.h"
#include "core/client_allow_list.h"
#include "common/err.h"
#include "metrics/metrics.h"

#include <QHostAddress>
#include <QIODevice>
#include <QTcpSocket>

namespace {

Tr errfmt_answer_owner_gone{TR_TEXT("log",
                                    "Ответ радиомодема порта %1 на сообщение отключившегося клиента отброшен: ")};
Tr errfmt_answer_unowed{TR_TEXT("log", "Ответ радиомодема порта %1, которого не ждал этот клиент, отброшен: ")};

// A flood of frames without answers is not counted beyond this.
const size_t max_owed_frames = 1024;

}  // namespace

Pause_framing::Pause_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame)
    : Client_framing(host, eui, tcp_port, max_frame), owed(ws_sdata_timeout + radio_answer_time_ms, max_owed_frames)
{
}

void Pause_framing::begin(Client_number client, QTcpSocket& socket)
{
    received = 0;
    client_number = client;
    client_peer = unmapped(socket.peerAddress()).toString();
}

void Pause_framing::read(Client_number client, QIODevice& socket)
{
    unsigned char* const end = host.frame_area() + received;
    const qint64 room = static_cast<qint64>(max_frame + 1 - received);
    const qint64 n = socket.read(reinterpret_cast<char*>(end), room);
    if (n <= 0) {
        host.read_failed(client, n);
    } else if (n < room) {
        tracer.data(".recv ", end, static_cast<size_t>(n));
        received += static_cast<size_t>(n);
        host.start_timer(tcp_interframe_delay, Qt::CoarseTimer);
    } else if (n == room) {
        refuse_oversize(client, client_peer, host.frame_area(), max_frame + 1);
    } else {
        log_debug(0x0806);
        host.drop_client(client);
    }
}

void Pause_framing::timer_expired()
{
    const size_t size = received;
    const quint64 sender = client_number;
    received = 0;
    if (host.post_frame(size))
        owed.posted(sender, host.now_ms());
}

// Only the answer to a frame of a client gone is traced at "bad_frames": an answer nobody waited
// for is a modem's own uplink, as common without a client as with one.
void Pause_framing::answer_received(const QByteArray& answer)
{
    const Owed_frames::Verdict verdict = match_answer();
    if (verdict == Owed_frames::Verdict::deliver) {
        host.write_answer(client_number, answer);
        return;
    }
    const bool gone = verdict == Owed_frames::Verdict::owner_gone;
    if (!(trace_tcp & (gone ? Tcp_trace::bad_frames | Tcp_trace::all : Tcp_trace::all)))
        return;
    const QByteArray prefix = (gone ? errfmt_answer_owner_gone : errfmt_answer_unowed).tr().arg(tcp_port).toUtf8();
    log_data(prefix.constData(), reinterpret_cast<const unsigned char*>(answer.constData()),
             static_cast<size_t>(answer.size()));
}

// An answer broken after packets of it were joined was the oldest frame's, lost: the client it
// would have reached learns of it by losing its exchange. A packet that breaks no joined answer
// may be stray and costs nobody anything.
void Pause_framing::answer_broken(bool joined_before)
{
    if (joined_before && match_answer() == Owed_frames::Verdict::deliver)
        host.drop_client(client_number);
}

// An answer that may be very late, past its frame's guard time, is counted for the operator.
Owed_frames::Verdict Pause_framing::match_answer()
{
    const Owed_frames::Answer matched = owed.answer(client_number, host.now_ms());
    if (matched.late == Owed_frames::Late::after_given_up)
        metrics::late_answer(eui, metrics::Late_answer::after_given_up);
    else if (matched.late == Owed_frames::Late::after_other_client)
        metrics::late_answer(eui, metrics::Late_answer::after_other_client);
    return matched.verdict;
}

void Pause_framing::frame_accepted()
{
    owed.accepted(host.now_ms());
}

void Pause_framing::frame_refused()
{
    owed.refused();
    if (client_number)
        host.drop_client(client_number);
}

void Pause_framing::client_left(Client_number, int unsent_dropped)
{
    owed.client_left(unsent_dropped, host.now_ms());
    host.kill_timer();
    received = 0;
    client_number = 0;
}
