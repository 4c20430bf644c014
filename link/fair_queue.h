// The commands waiting for the link: frames are served in turn between modems, so that one busy
// port cannot hold back the others, and each modem's frames keep their order; the link's own
// commands keep their place among the frames.
#pragma once

#include <QtGlobal>

struct Frame;
struct Query;
class Tcp_server;

// Frames one port may have waiting for the link; a client sending faster than its modem is
// served is dropped beyond it.
const int max_queued_per_port = 16;

class Fair_queue {
public:
    bool empty() const { return !head; }
    void push(Query& q);
    // The next command to send, null when none: a command of the link itself once every record
    // queued before it has gone, otherwise the oldest frame of the modem next in turn.
    Query* pop();
    // The oldest frame of the modem next in turn among those not yet in the chain from batch;
    // null when there is none or a command of the link itself is first in the queue.
    Frame* pop_frame_besides(const Query* batch);
    // Frames queued by the server s.
    int count(const Tcp_server* s) const;
    // Takes every record of the server s out, giving each its not-send operation; returns how many.
    int cancel(const Tcp_server* s);
    // Takes every record out, giving each its not-send operation.
    void release_all();

private:
    // Unlinks the record at *link.
    Query* take(Query** link);
    // The place of the oldest frame of the modem next in turn after last_modem, skipping
    // modems in the chain from batch; null when none.
    Query** next_in_turn(const Query* batch) const;

    Query* head = nullptr;
    Query** tail = &head;
    // The modem whose frame was served last; the turn goes to the next EUI above it, round.
    quint64 last_modem = 0;
};
