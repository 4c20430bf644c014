// Requests remembered for their answers that may still come, and the tests against them: two
// requests collide when one answer could fit both (the same unit, function and answer shape).
#include "tcp/answer_ledger.h"

#include "tcp/modbus_answer_shape.h"

#include <algorithm>

namespace {

bool same_shape(const QByteArray& a, const QByteArray& b)
{
    return a.size() > 1 && b.size() > 1 && a[0] == b[0] && a[1] == b[1] &&
           modbus_answer_key(a.mid(1)) == modbus_answer_key(b.mid(1));
}

bool fits(const QByteArray& request, const QByteArray& answer)
{
    return !request.isEmpty() && request[0] == answer[0] && modbus_answer_fits(request.mid(1), answer.mid(1));
}

}  // namespace

void Answer_ledger::answered(const QByteArray& request)
{
    last_answered = request;
}

void Answer_ledger::lost(const QByteArray& request, qint64 sent_at, qint64 now)
{
    lost_ones.erase(std::remove_if(lost_ones.begin(), lost_ones.end(), [now](const Lost& l) { return l.until <= now; }),
                    lost_ones.end());
    if (lost_ones.size() >= max_lost)
        lost_ones.erase(lost_ones.begin());
    lost_ones.push_back({request, sent_at + late_ms, now + guard_ms});
}

bool Answer_ledger::collides(const QByteArray& request, qint64 now) const
{
    if (same_shape(request, last_answered))
        return true;
    return std::any_of(lost_ones.begin(), lost_ones.end(),
                       [&](const Lost& l) { return l.until > now && same_shape(request, l.request); });
}

// A copy of the last answer cannot be waited out: it may come at any time, or never.
qint64 Answer_ledger::guard_end(const QByteArray& request, qint64 now) const
{
    qint64 end = 0;
    for (const Lost& l : lost_ones)
        if (l.until > now && l.guard_until > now && same_shape(request, l.request))
            end = std::max(end, l.guard_until);
    return end;
}

bool Answer_ledger::answers_earlier(const QByteArray& answer, qint64 now) const
{
    if (fits(last_answered, answer))
        return true;
    return std::any_of(lost_ones.begin(), lost_ones.end(),
                       [&](const Lost& l) { return l.until > now && fits(l.request, answer); });
}
