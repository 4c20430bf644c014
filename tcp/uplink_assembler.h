// The modem's uplink packets of one port checked and joined into the answer they carry.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

class Uplink_assembler {
public:
    enum Verdict {
        incomplete,  // a packet of the answer is kept; more are to come
        complete,    // the answer is whole: take_answer() gives it
        ignored,     // not a packet of an answer; error() may say why
        broken,      // the packet does not fit: error() says why, the answer is dropped
        repeated,    // the frame counter and bytes of a recent packet: a repeat, dropped
    };

    explicit Uplink_assembler(quint64 eui) : eui(eui) {}

    // Takes the data of one "rx" message; its header is cut off in place. With the message's
    // frame counter, a packet with the counter and the bytes of one of the last recent_kept
    // packets is a repeat (the bytes too: a modem that starts counting afresh may give a new
    // packet an old counter).
    Verdict take(QByteArray& packet, std::optional<quint32> fcnt = std::nullopt);
    QByteArray take_answer();
    const QString& error() const { return error_text; }
    // After a broken packet: packets of the answer it broke had been joined, so answer bytes
    // were lost; a broken packet that would have begun an answer breaks nothing joined.
    bool joined_before() const { return broke_joined; }
    // The next packet starts a new answer; what was joined so far is dropped.
    void restart() { count = 0; }

    static constexpr size_t recent_kept = 32;

private:
    // A packet as remembered against repeats: its counter and a 64-bit hash of its bytes (kept
    // instead of the bytes; a false match, at odds of one in 2^64, would drop one packet).
    struct Seen {
        quint32 fcnt;
        size_t hash;
        bool operator==(const Seen& o) const { return fcnt == o.fcnt && hash == o.hash; }
    };

    // False when the packet was seen among the recent ones; remembers it otherwise.
    bool first_seen(const QByteArray& packet, quint32 fcnt);
    bool fits(const unsigned char* p, int size);

    const quint64 eui;
    QByteArray answer;
    QString error_text;
    quint8 count = 0;
    quint8 packets = 0;
    quint16 total = 0;
    bool broke_joined = false;
    // The last packets with a counter, at most recent_kept, the oldest overwritten first at
    // next_seen. Every port has an assembler and most are idle or raw: the vector holds no
    // memory until a packet with a counter comes.
    std::vector<Seen> recent;
    quint8 next_seen = 0;
};
