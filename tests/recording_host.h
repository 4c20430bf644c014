// A port's server as a framing sees it: it records the frames, writes and timers the framing
// asks for, so a framing can be tested on plain byte arrays. And the link as a port sees it.
#pragma once

#include "link/link_port.h"
#include "tcp/client_framing.h"
#include "tcp/frame.h"
#include "tcp/port_link.h"

#include <QByteArrayList>
#include <QIODevice>
#include <algorithm>
#include <deque>
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
    qint64 now_ms() const override { return clock; }
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
    // The time the framing is told, moved on by the test.
    qint64 clock = 0;
    Qt::TimerType timer_type = Qt::CoarseTimer;
    // A client was dropped.
    bool shut = false;
    std::function<void()> reading_on;
    // What the server does after a write, as dropping a client that does not read.
    std::function<void(Client_framing::Client_number)> writing;
    // What the server does when the framing drops a client.
    std::function<void(Client_framing::Client_number)> dropping;
};

// The link as a port sees it: one frame in flight, the rest waiting, and the server's verdicts
// given by the test; it records what it sent and how the ports counted themselves.
class Recording_link final : public Port_link {
public:
    ~Recording_link()
    {
        for (Frame* f : waiting)
            Frame::free(f);
        Frame::free(in_flight);
    }

    void post_frame(Frame& frame) override
    {
        ++posted;
        if (in_flight)
            waiting.push_back(&frame);
        else
            send(&frame);
    }
    bool has_room(const Link_port& port) const override
    {
        return std::count_if(waiting.begin(), waiting.end(), [&](Frame* f) { return f->requester == &port; }) <
               max_queued_per_port;
    }
    int take_back(const Link_port& port) override
    {
        const auto kept = std::stable_partition(waiting.begin(), waiting.end(),
                                                [&](Frame* f) { return f->requester != &port; });
        const int taken = static_cast<int>(waiting.end() - kept);
        std::for_each(kept, waiting.end(), Frame::free);
        waiting.erase(kept, waiting.end());
        forget(port);
        return taken;
    }
    void anonymize(const Link_port& port) override
    {
        ++anonymized;
        for (Frame* f : waiting)
            if (f->requester == &port)
                f->requester = nullptr;
        forget(port);
    }
    bool count_port() override { return ++live, true; }
    void release_port() override { --live; }
    void notify_clients() override { ++notices; }

    // The server's verdict on the frame in flight: the link goes on to the next one, then tells the port.
    void verdict(bool accepted)
    {
        Link_port* const port = in_flight->requester;
        Frame::free(in_flight);
        in_flight = nullptr;
        if (!waiting.empty()) {
            send(waiting.front());
            waiting.pop_front();
        }
        if (port && accepted)
            port->frame_accepted();
        else if (port)
            port->frame_refused();
    }

    QByteArrayList sent;
    int posted = 0;
    int live = 0;
    int notices = 0;
    int anonymized = 0;

private:
    void send(Frame* frame)
    {
        in_flight = frame;
        sent << QByteArray(reinterpret_cast<const char*>(frame->data()), static_cast<int>(frame->size));
    }
    void forget(const Link_port& port)
    {
        if (in_flight && in_flight->requester == &port)
            in_flight->requester = nullptr;
    }

    Frame* in_flight = nullptr;
    std::deque<Frame*> waiting;
};
