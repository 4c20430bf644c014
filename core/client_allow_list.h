// Who may connect to a modem port: strict IP address literals and the allow list of addresses and
// networks given by the "tcp_allow" key.
#pragma once

#include <QHostAddress>
#include <QPair>
#include <QString>
#include <QVector>

// Reads one IPv4 literal (four decimal parts) or IPv6 literal (an optional %scope allowed);
// false for anything else, including the shorthand forms QHostAddress also takes.
bool parse_ip_literal(const QString& text, QHostAddress& address);
// An IPv4-mapped IPv6 address (::ffff:a.b.c.d) stands for its IPv4 address.
QHostAddress unmapped(const QHostAddress& address);

class Client_allow_list {
public:
    // Reads "10.1.0.0/16, 192.168.5.7, ::1, fd00::/8"; false with the offending entry in bad_entry
    // (empty when the list holds no entry at all). The list is left unchanged on failure.
    bool parse(const QString& text, QString& bad_entry);
    // An empty list lets everyone in: the key was not given.
    bool is_empty() const { return networks.isEmpty(); }
    bool allows(QHostAddress peer) const;

private:
    QVector<QPair<QHostAddress, int>> networks;
};
