// The Modbus requests of a port whose answers may still come though nobody awaits them any more:
// the last one answered, whose answer may come again as a copy under a new frame counter, and
// the ones lost (timed out or broken) for a while, whose answers may come late. A request whose
// answer could be taken for one of theirs must be told apart or wait. Requests and answers are
// RTU frames without their CRC (unit id, then PDU); time is given by the caller in milliseconds.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <vector>

class Answer_ledger {
public:
    // late_ms: how long after it was sent a lost request's answer may still come; guard_ms: how
    // long after the loss a request that cannot be told apart waits; max_lost: the most lost
    // requests remembered (beyond them the oldest is forgotten).
    Answer_ledger(qint64 late_ms, qint64 guard_ms, size_t max_lost)
        : late_ms(late_ms), guard_ms(guard_ms), max_lost(max_lost)
    {
    }

    void answered(const QByteArray& request);
    void lost(const QByteArray& request, qint64 sent_at, qint64 now);
    // Whether an answer to one of the requests remembered could be taken for the request's.
    bool collides(const QByteArray& request, qint64 now) const;
    // Until when a request that collides and cannot be told apart waits; 0 when it need not.
    qint64 guard_end(const QByteArray& request, qint64 now) const;
    // Whether the answer (not an exception) can be the answer of a request remembered.
    bool answers_earlier(const QByteArray& answer, qint64 now) const;

private:
    struct Lost {
        QByteArray request;
        qint64 until;        // its answer is no longer expected after this
        qint64 guard_until;  // requests that collide wait until this
    };

    const qint64 late_ms;
    const qint64 guard_ms;
    const size_t max_lost;
    QByteArray last_answered;
    // Oldest first; few, and an idle port's empty vector holds no memory.
    std::vector<Lost> lost_ones;
};
