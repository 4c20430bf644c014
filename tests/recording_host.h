// A port's server as a framing sees it: it records the frames, writes and timers the framing
// asks for, so a framing can be tested on plain byte arrays.
#pragma once

#include "tcp/client_framing.h"

#include <QByteArrayList>
#include <QIODevice>
#include <functional>

class Recording_host : public Client_framing::Host {
public:
    explicit Recording_host(size_t max_frame) : area(static_cast<int>(max_frame + 1), '\0') {}

    unsigned char* frame_area() override { return reinterpret_cast<unsigned char*>(area.data()); }
    bool post_frame(size_t size) override
    {
        posted << area.left(static_cast<int>(size));
        return true;
    }
    void write_to_client(Client_framing::Client_number to, const QByteArray& bytes) override
    {
        written << bytes;
        written_to << to;
        if (writing)
            writing(to);
    }
    void write_answer(Client_framing::Client_number to, const QByteArray& bytes) override
    {
        write_to_client(to, bytes);
        ++answers;
    }
    void read_on() override
    {
        if (reading_on)
            reading_on();
    }
    void restart_uplink() override { ++uplink_restarts; }
    void start_timer(int interval, Qt::TimerType type) override
    {
        timer = interval;
        timer_type = type;
    }
    void kill_timer() override { timer = 0; }
    void read_failed(Client_framing::Client_number from, qint64) override { drop_client(from); }
    void drop_client(Client_framing::Client_number client) override
    {
        shut = true;
        if (dropping)
            dropping(client);
    }

    QByteArray area;
    QByteArrayList posted;
    QByteArrayList written;
    // The client each write went to.
    QList<Client_framing::Client_number> written_to;
    int answers = 0;
    int uplink_restarts = 0;
    // The interval of the running timer, 0 when none.
    int timer = 0;
    Qt::TimerType timer_type = Qt::CoarseTimer;
    // A client was dropped.
    bool shut = false;
    std::function<void()> reading_on;
    // What the server does after a write, as dropping a client that does not read.
    std::function<void(Client_framing::Client_number)> writing;
    // What the server does when the framing drops a client.
    std::function<void(Client_framing::Client_number)> dropping;
};
