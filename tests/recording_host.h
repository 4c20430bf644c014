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
    void write_to_client(const QByteArray& bytes) override { written << bytes; }
    void write_answer(const QByteArray& bytes) override
    {
        written << bytes;
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
    void read_failed(qint64) override { shut = true; }
    void shutdown_connection() override { shut = true; }

    QByteArray area;
    QByteArrayList posted;
    QByteArrayList written;
    int answers = 0;
    int uplink_restarts = 0;
    // The interval of the running timer, 0 when none.
    int timer = 0;
    Qt::TimerType timer_type = Qt::CoarseTimer;
    bool shut = false;
    std::function<void()> reading_on;
};
