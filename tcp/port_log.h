// The log entries of a modem port's sockets: the listener that cannot listen or accept, client
// connections that break, are taken over, cannot be read, or send or leave unread too much.
#pragma once

#include <QAbstractSocket>
#include <QString>
#include <QtGlobal>

class QTcpSocket;

namespace port_log {

QString cannot_listen(quint16 port, bool lack_of_descriptors);
void accept_error(quint16 port, QAbstractSocket::SocketError e, const QString& reason, int pause_ms);
// A client closing by itself is no news; any other end of its connection is.
void client_error(quint16 port, const QTcpSocket& s, QAbstractSocket::SocketError e);
// The text of one takeover of the port by taker, and of the takeovers held back within a minute.
QString client_replaced(quint16 port, const QTcpSocket& taker, const QTcpSocket& old);
QString clients_replaced(quint16 port, quint64 held, const QString& peers);
// The text of a newcomer turned away because all the port's clients had work in progress, and of
// those held back within a minute.
QString client_turned_away(quint16 port, const QTcpSocket& newcomer, size_t clients);
QString clients_turned_away(quint16 port, quint64 held, const QString& peers);
QString connect_exception();
void read_error(const QTcpSocket& s, qint64 result);
void queue_overflow(quint16 port, int max_queued);
void unread(quint16 port, qint64 limit);
void repeated_packet(quint16 port, quint32 fcnt);

}  // namespace port_log
