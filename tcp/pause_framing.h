// Frames of a raw port: the client's bytes up to a pause of tcp_interframe_delay form one frame;
// an answer reaches the client only when it answers one of that client's frames.
#pragma once

#include "tcp/client_framing.h"
#include "tcp/owed_frames.h"

#include <QString>

class Pause_framing : public Client_framing {
public:
    Pause_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame);

    void begin(Client_number client, QTcpSocket& socket) override;
    void read(Client_number client, QIODevice& socket) override;
    void timer_expired() override;
    void answer_received(const QByteArray& answer) override;
    // A packet lost between others of an answer leaves its client without it: the exchange ends.
    void answer_broken(bool joined_before) override;
    void frame_accepted() override;
    // The frame is owed no more, and its client cannot be answered: the exchange ends.
    void frame_refused() override;
    void client_left(Client_number client, int unsent_dropped) override;

private:
    // Whom an answer, whole or broken, belongs to; the oldest frame owed is then answered.
    Owed_frames::Verdict match_answer();

    // Bytes of the frame being filled.
    size_t received = 0;
    Owed_frames owed;
    // The port's one client; 0 while there is no exchange.
    Client_number client_number = 0;
    // The address of that client, named in the summary of its overlong frames.
    QString client_peer;
};
