// The common fields of a server message and the test whether it is the awaited answer.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class Ws_parser;

struct Ws_common_fields {
    // Mark bits of flags: which fields were seen.
    enum : unsigned char {
        has_cmd = 0x01,
        has_status = 0x02,
        has_err_string = 0x04,
        has_devEui = 0x08,
        has_port = 0x10,
        has_data = 0x20,
        has_fcnt = 0x40,
    };

    unsigned char flags = 0;
    QString cmd;
    bool status = false;
    QString err_string;
    quint64 devEui = 0;
    unsigned char port = 0;
    QByteArray data;
    // The frame counter of an "rx" message; optional, and skipped when it is not a plain number.
    quint32 fcnt = 0;

    // Reads one field of the current object (position just after the opening quote of its name):
    // one of the common fields is checked and stored, any other is skipped.
    void field(Ws_parser& parser);
    // After the whole object: is it the answer `name`, and did the server accept the command?
    bool is_resp(Ws_parser& parser, const QString& name);
    // Whether it is the answer `name` with the server's refusal of the command, and the text of it.
    bool is_refusal(const QString& name) const;
    QString refusal(const QString& name) const;
    void read_fcnt(Ws_parser& parser);
    // The JSON name of the lowest mark bit set in bits.
    QString any_field_name(unsigned char bits) const;
};
