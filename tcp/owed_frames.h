// The frames of a raw port given to the modem and not yet answered, in the order sent, each with
// the client that sent it: a whole answer belongs to the oldest of them, and it reaches only that
// client. Time is given by the caller in milliseconds, so the ledger is pure.
#pragma once

#include <QtGlobal>
#include <cstddef>
#include <vector>

class Owed_frames {
public:
    // What becomes of an answer.
    enum class Verdict {
        deliver,     // to the current client, whose frame it answers
        owner_gone,  // it answers a frame of a client that has gone: dropped
        unowed,      // no frame is owed and another client was the last answered: dropped
    };
    // Whether the answer may be a very late one, past its frame's guard time.
    enum class Late {
        no,
        // No frame is owed and the last one was given up unanswered: the answer may be that
        // frame's, come after it stopped being owed (one such answer is counted per frame).
        after_given_up,
        // It is taken for a frame of another client than the one whose frame, just before it,
        // was given up: were it that frame's very late answer, it reached the wrong client.
        after_other_client,
    };
    struct Answer {
        Verdict verdict;
        Late late;
    };

    // guard_ms: how long a frame sent waits for its answer before it stops being owed;
    // max_owed: the most frames kept.
    Owed_frames(qint64 guard_ms, size_t max_owed) : guard_ms(guard_ms), max_owed(max_owed) {}

    // A frame of the client owner (never 0) was handed to the link.
    void posted(quint64 owner, qint64 now);
    // The server accepted the oldest frame handed to the link: it is now the modem's to answer.
    void accepted(qint64 now);
    // The server refused the oldest frame handed to the link: it will never be answered.
    void refused();
    // The client's newest unsent frames were taken back, unsent_dropped of them; the others
    // handed to the link may be on their way and stay owed for the guard time.
    void client_left(int unsent_dropped, qint64 now);
    // A whole answer came while client (0 when none) is the port's client. An answer before the
    // server accepted a frame is never that frame's.
    Answer answer(quint64 client, qint64 now);
    size_t size() const { return frames.size(); }

private:
    struct Owed {
        quint64 owner;
        qint64 deadline;  // meaningful once sent
    };

    void expire(qint64 now);
    // The oldest count frames sent are answered, or given up unanswered.
    void drop_oldest(size_t count, bool answered);

    const qint64 guard_ms;
    const size_t max_owed;
    // Oldest first. Every port has a ledger and most are idle: an empty vector holds no memory, where
    // an empty deque takes half a kilobyte; the frames owed are few, so moving them up is cheap.
    std::vector<Owed> frames;
    // The frames accepted or given up come first, in the order sent: this many of them.
    size_t sent = 0;
    // The client of the last frame answered or given up; its client may take unasked answers.
    quint64 last_owner = 0;
    // Frames given up since the last one answered, whose late answers are still to be counted.
    size_t given_up = 0;
};
