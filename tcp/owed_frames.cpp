// The owed frames of a raw port: handed to the link, accepted by the server, answered or given up
// after the guard time; answers matched to their frames by order.
#include "tcp/owed_frames.h"

// Beyond max_owed a frame is not counted: its answer is then taken for an older frame's, of the
// same client or of one gone, and never reaches another client. Frames whose guard is over make
// room first.
void Owed_frames::posted(quint64 owner, qint64 now)
{
    expire(now);
    if (frames.size() < max_owed)
        frames.push_back({owner, 0});
}

void Owed_frames::accepted(qint64 now)
{
    if (sent < frames.size())
        frames[sent++].deadline = now + guard_ms;
}

void Owed_frames::refused()
{
    if (sent < frames.size())
        frames.erase(frames.begin() + static_cast<std::ptrdiff_t>(sent));
}

// The frames taken back are the newest unsent ones: the link sends a port's frames in order.
void Owed_frames::client_left(int unsent_dropped, qint64 now)
{
    for (; unsent_dropped > 0 && frames.size() > sent; --unsent_dropped)
        frames.pop_back();
    for (; sent < frames.size(); ++sent)
        frames[sent].deadline = now + guard_ms;
}

// Deadlines follow the order sent, so the frames given up are the oldest, taken out at once.
void Owed_frames::expire(qint64 now)
{
    size_t over = 0;
    while (over < sent && frames[over].deadline <= now)
        ++over;
    drop_oldest(over, false);
}

void Owed_frames::drop_oldest(size_t count, bool answered)
{
    if (!count)
        return;
    last_owner = frames[count - 1].owner;
    given_up = answered ? 0 : given_up + count;
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(count));
    sent -= count;
}

// An answer with no frame sent owed is the last answered client's more data (a modem may send
// unasked), and nobody else's.
Owed_frames::Answer Owed_frames::answer(quint64 client, qint64 now)
{
    expire(now);
    const bool to_client = client && client == (sent ? frames.front().owner : last_owner);
    if (!sent) {
        const Late late = given_up ? Late::after_given_up : Late::no;
        given_up -= given_up ? 1 : 0;
        return {to_client ? Verdict::deliver : Verdict::unowed, late};
    }
    const Late late = given_up && frames.front().owner != last_owner ? Late::after_other_client : Late::no;
    drop_oldest(1, true);
    return {to_client ? Verdict::deliver : Verdict::owner_gone, late};
}
