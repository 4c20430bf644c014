// A modem's recent answers to reads, found by the read's frame, expired by age and bounded in
// number.
#include "tcp/read_cache.h"

#include <algorithm>

namespace {

const quint8 broadcast = 0;
const quint8 exception_flag = 0x80;

}  // namespace

bool shareable_read(quint8 slave, quint8 function)
{
    return slave != broadcast && function >= 1 && function <= 4;
}

std::optional<QByteArray> Read_cache::answer(const QByteArray& read, qint64 now, qint64& age) const
{
    for (const Entry& e : entries)
        if (e.read == read && now - e.at < keep_ms) {
            age = now - e.at;
            return e.answer;
        }
    return std::nullopt;
}

void Read_cache::store(const QByteArray& read, const QByteArray& answer, qint64 now)
{
    if (keep_ms <= 0 || answer.isEmpty() || static_cast<quint8>(answer[0]) & exception_flag)
        return;
    drop_expired(now);
    entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.read == read; }),
                  entries.end());
    if (entries.size() >= max_entries)
        entries.erase(entries.begin());
    entries.push_back({read, answer, now});
}

void Read_cache::drop_slave(quint8 slave)
{
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) {
                                     return slave == broadcast || static_cast<quint8>(e.read[0]) == slave;
                                 }),
                  entries.end());
}

// Entries are stored in the order of their time, so the expired ones lead.
void Read_cache::drop_expired(qint64 now)
{
    const auto fresh =
        std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return now - e.at < keep_ms; });
    entries.erase(entries.begin(), fresh);
}
