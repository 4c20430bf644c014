// Data commands that carry the frames of several modems at once: which queued frames join the
// frame about to be sent, and how many travel together.
#include "link/ws_batch.h"

#include "link/fair_queue.h"
#include "tcp/tcp_server.h"

void gather_batch(Frame& first, Fair_queue& queue, int max)
{
    Query** batch_end = &first.next;
    for (int count = 1; count < max; ++count) {
        Frame* f = queue.pop_frame_besides(&first);
        if (!f)
            return;
        *batch_end = f;
        batch_end = &f->next;
    }
}

int batch_size(const Query* first)
{
    int n = 0;
    for (const Query* q = first; q; q = q->next)
        ++n;
    return n;
}
