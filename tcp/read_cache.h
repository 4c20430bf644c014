// The answers a modem gave to reads, kept for a while so that an identical read of that modem is
// answered from memory instead of over the radio. A read is known by its RTU frame without CRC
// (slave, function, address, quantity); the time is the caller's.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>
#include <vector>

// Whether a request is a read that may share another's answer, merged or from memory:
// functions 1 to 4 to one slave (a broadcast is answered by none).
bool shareable_read(quint8 slave, quint8 function);

class Read_cache {
public:
    // Answers kept at most, whatever their age: the oldest goes first.
    static constexpr size_t max_entries = 128;

    // keep_ms: how long an answer is good for; 0 keeps none.
    explicit Read_cache(qint64 keep_ms) : keep_ms(keep_ms) {}

    // The answer PDU to the read if it came less than keep_ms before now; age: how long ago.
    std::optional<QByteArray> answer(const QByteArray& read, qint64 now, qint64& age) const;
    // Keeps the answer PDU to the read; an exception is never kept.
    void store(const QByteArray& read, const QByteArray& answer, qint64 now);
    // The slave's data may change: its answers go; the broadcast address takes every slave's.
    void drop_slave(quint8 slave);
    size_t size() const { return entries.size(); }

private:
    struct Entry {
        QByteArray read;
        QByteArray answer;
        qint64 at;
    };

    void drop_expired(qint64 now);

    const qint64 keep_ms;
    // Oldest first.
    std::vector<Entry> entries;
};
