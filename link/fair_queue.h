// The commands waiting for the link: modems take turns, so that one busy port cannot hold back
// the others, and each modem's frames keep their order; with at most one frame per modem waiting
// the queue is first come, first served. The link's own commands keep their place.
#pragma once

#include <QtGlobal>

struct Query;
class Link_port;

class Fair_queue {
public:
    bool empty() const { return !head; }
    void push(Query& q);
    // The next command to send, null when none.
    Query* pop();
    // The first waiting frame of a modem not yet in the chain from batch; null when there is
    // none before a command of the link itself, which thus keeps its place.
    Query* pop_frame_besides(const Query* batch);
    // Frames queued by the server s.
    int count(const Link_port* s) const;
    // Takes every record of the server s out, giving each its not-send operation; returns how many.
    int cancel(const Link_port* s);
    // The records of the server s stay queued, answered to nobody.
    void disown(const Link_port* s);
    // Takes every record out, giving each its not-send operation.
    void release_all();

private:
    // The turn a new record waits for.
    quint64 round_of(const Query& q) const;
    // Unlinks the record at *link.
    static Query* take(Query** link);
    // Unlinks the record at *link as the one going to the link now.
    Query* send_next(Query** link);

    // Records in the order of their turns, and in the order of arrival within one turn.
    Query* head = nullptr;
    // The turn of the record sent last.
    quint64 current_round = 0;
};
