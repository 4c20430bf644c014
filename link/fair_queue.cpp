// The commands waiting for the link, with frames served in turn between modems: the modem next
// in turn is the one with the lowest EUI above the last served, or the lowest when none is above.
#include "link/fair_queue.h"

#include "link/ws_connection.h"
#include "tcp/tcp_server.h"

namespace {

bool is_frame(const Query* q)
{
    return q->send == &Ws_connection::send_sdata;
}

quint64 modem_of(const Query* q)
{
    return static_cast<const Frame*>(q)->eui;
}

bool has_modem(const Query* chain, quint64 eui)
{
    for (const Query* q = chain; q; q = q->next)
        if (modem_of(q) == eui)
            return true;
    return false;
}

}  // namespace

void Fair_queue::push(Query& q)
{
    q.next = nullptr;
    *tail = &q;
    tail = &q.next;
}

Query* Fair_queue::take(Query** link)
{
    Query* q = *link;
    *link = q->next;
    if (!q->next)
        tail = link;
    q->next = nullptr;
    return q;
}

Query** Fair_queue::next_in_turn(const Query* batch) const
{
    Query* const* above = nullptr;
    Query* const* lowest = nullptr;
    for (Query* const* link = &head; *link; link = &(*link)->next) {
        const Query* q = *link;
        if (!is_frame(q) || has_modem(batch, modem_of(q)))
            continue;
        const quint64 eui = modem_of(q);
        if (!lowest || eui < modem_of(*lowest))
            lowest = link;
        if (eui > last_modem && (!above || eui < modem_of(*above)))
            above = link;
    }
    return const_cast<Query**>(above ? above : lowest);
}

Query* Fair_queue::pop()
{
    if (!head)
        return nullptr;
    if (!is_frame(head))
        return take(&head);
    return pop_frame_besides(nullptr);
}

Frame* Fair_queue::pop_frame_besides(const Query* batch)
{
    if (!head || !is_frame(head))
        return nullptr;
    Query** link = next_in_turn(batch);
    if (!link)
        return nullptr;
    Frame* f = static_cast<Frame*>(take(link));
    last_modem = f->eui;
    return f;
}

int Fair_queue::count(const Tcp_server* s) const
{
    int n = 0;
    for (const Query* q = head; q; q = q->next)
        if (q->requester == s)
            ++n;
    return n;
}

int Fair_queue::cancel(const Tcp_server* s)
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

void Fair_queue::release_all()
{
    while (head) {
        Query* q = take(&head);
        q->not_send(q);
    }
}
