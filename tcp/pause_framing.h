// Frames of a raw port: the client's bytes up to a pause of tcp_interframe_delay form one frame.
#pragma once

#include "tcp/client_framing.h"

class Pause_framing : public Client_framing {
public:
    using Client_framing::Client_framing;

    void begin(QTcpSocket& client) override;
    void read(QIODevice& client) override;
    void timer_expired() override;
    void answer_received(const QByteArray& answer) override;
    // A packet lost between others of an answer leaves the client with part of it: the exchange ends.
    void answer_broken(bool joined_before) override;
    void reset() override;

private:
    // Bytes of the frame being filled.
    size_t received = 0;
};
