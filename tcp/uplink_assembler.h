// The modem's uplink packets of one port checked and joined into the answer they carry.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

class Uplink_assembler {
public:
    enum Verdict {
        incomplete,  // a packet of the answer is kept; more are to come
        complete,    // the answer is whole: take_answer() gives it
        ignored,     // not a packet of an answer; error() may say why
        broken,      // the packet does not fit: error() says why, the answer is dropped
        repeated,    // the same frame counter as the packet before: a repeat, dropped
    };

    explicit Uplink_assembler(quint64 eui) : eui(eui) {}

    // Takes the data of one "rx" message; its header is cut off in place. With the message's
    // frame counter, a packet with the counter and the bytes of the one before it is a repeat
    // (a modem that starts counting afresh may give a new packet the counter of the last one).
    Verdict take(QByteArray& packet, std::optional<quint32> fcnt = std::nullopt);
    QByteArray take_answer();
    const QString& error() const { return error_text; }
    // A packet was accepted before: a later broken one means lost answer bytes.
    bool joined_before() const { return joined_any; }
    // The next packet starts a new answer; what was joined so far is dropped.
    void restart() { count = 0; }

private:
    bool fits(const unsigned char* p, int size);

    const quint64 eui;
    QByteArray answer;
    QString error_text;
    quint8 count = 0;
    quint8 packets = 0;
    quint16 total = 0;
    bool joined_any = false;
    std::optional<quint32> last_fcnt;
    QByteArray last_packet;
};
