// The commands waiting for the link, in turns: a frame waits for the turn after its modem's
// previous waiting frame, or for the next turn when its modem has none waiting; the link's own
// command waits for the last turn in the queue. Records are kept sorted by turn, so that the
// head is always the next to go.
#include "link/fair_queue.h"

#include "link/query.h"

#include <algorithm>

namespace {

bool is_frame(const Query* q)
{
    return q->is_frame;
}

quint64 modem_of(const Query* q)
{
    return q->eui;
}

bool has_modem(const Query* chain, quint64 eui)
{
    for (const Query* q = chain; q; q = q->next)
        if (modem_of(q) == eui)
            return true;
    return false;
}

}  // namespace

quint64 Fair_queue::round_of(const Query& q) const
{
    quint64 round = current_round + 1;
    for (const Query* r = head; r; r = r->next) {
        if (!is_frame(&q))
            round = std::max(round, r->round);
        else if (is_frame(r) && modem_of(r) == modem_of(&q))
            round = r->round + 1;
    }
    return round;
}

void Fair_queue::push(Query& q)
{
    q.round = round_of(q);
    Query** link = &head;
    while (*link && (*link)->round <= q.round)
        link = &(*link)->next;
    q.next = *link;
    *link = &q;
}

Query* Fair_queue::take(Query** link)
{
    Query* q = *link;
    *link = q->next;
    q->next = nullptr;
    return q;
}

Query* Fair_queue::send_next(Query** link)
{
    current_round = std::max(current_round, (*link)->round);
    return take(link);
}

Query* Fair_queue::pop()
{
    return head ? send_next(&head) : nullptr;
}

Query* Fair_queue::pop_frame_besides(const Query* batch)
{
    for (Query** link = &head; *link && is_frame(*link); link = &(*link)->next)
        if (!has_modem(batch, modem_of(*link)))
            return send_next(link);
    return nullptr;
}

int Fair_queue::count(const Link_port* s) const
{
    int n = 0;
    for (const Query* q = head; q; q = q->next)
        if (q->requester == s)
            ++n;
    return n;
}

int Fair_queue::cancel(const Link_port* s)
{
    int n = 0;
    Query** link = &head;
    while (*link) {
        if ((*link)->requester != s) {
            link = &(*link)->next;
            continue;
        }
        Query* q = take(link);
        q->not_send(q);
        ++n;
    }
    return n;
}

void Fair_queue::disown(const Link_port* s)
{
    for (Query* q = head; q; q = q->next)
        if (q->requester == s)
            q->requester = nullptr;
}

void Fair_queue::release_all()
{
    while (head) {
        Query* q = take(&head);
        q->not_send(q);
    }
}
