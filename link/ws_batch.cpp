// Data commands that carry the frames of several modems at once: which queued frames join the
// frame about to be sent, and how many travel together.
#include "link/ws_batch.h"

#include "link/ws_connection.h"
#include "tcp/tcp_server.h"

namespace {

bool is_frame(const Query* q)
{
    return q->send == &Ws_connection::send_sdata;
}

bool has_modem(const Frame& first, quint64 eui)
{
    for (const Query* q = &first; q; q = q->next)
        if (static_cast<const Frame*>(q)->eui == eui)
            return true;
    return false;
}

}  // namespace

void gather_batch(Frame& first, Query*& queue_head, Query**& queue_tail, int max)
{
    Query** batch_end = &first.next;
    Query** link = &queue_head;
    for (int count = 1; count < max;) {
        Query* q = *link;
        if (!q || !is_frame(q))
            break;
        if (has_modem(first, static_cast<Frame*>(q)->eui)) {
            link = &q->next;
            continue;
        }
        *link = q->next;
        q->next = nullptr;
        *batch_end = q;
        batch_end = &q->next;
        ++count;
    }
    if (!*link)
        queue_tail = link;
}

int batch_size(const Query* first)
{
    int n = 0;
    for (const Query* q = first; q; q = q->next)
        ++n;
    return n;
}
