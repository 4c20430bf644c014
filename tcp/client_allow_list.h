// Who may connect to a modem port: strict IP address literals, the allow list of addresses and
// networks, and the listening socket that closes connections from anywhere else at once.
#pragma once

#include "common/repeated_log.h"

#include <QHostAddress>
#include <QPair>
#include <QString>
#include <QTcpServer>
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

// The listening socket of a modem port. Connections from peers outside tcp_allow are closed as
// soon as they are accepted, before they can reach the pending queue, so the current client
// never notices them; client_waiting() is raised only for connections that were let in. Each
// refusal is announced; the log gets the first of a minute and then a summary.
class Client_gate : public QTcpServer {
    Q_OBJECT
public:
    explicit Client_gate(QObject* parent = nullptr);

    // Connections refused by every gate of the program since it started.
    static quint64 refused_total;

signals:
    void client_waiting();
    void connection_refused();

protected:
    void incomingConnection(qintptr handle) override;

private slots:
    void on_new_connection();

private:
    void refuse(QTcpSocket* s);

    Repeated_log refusals;
};
