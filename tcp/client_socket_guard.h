// Limits that keep one client socket from holding the program: keepalive that finds a peer gone
// without a word, a bound on the data written to a client and not yet taken by it, and a short
// grace for a closing socket to drain before it is cut off.
#pragma once

#include <QtGlobal>

class QTcpSocket;

// Answers of a port's largest size that one client may leave unread before it is dropped.
const int unsent_answers_limit = 4;
// How long a closing client socket may take to hand over its unsent data.
const int close_grace_ms = 2000;

// The kernel's keepalive settings that find a silent dead peer within a given time.
struct Keepalive_times {
    int idle_s;        // silence before the first probe
    int interval_s;    // between probes
    int probes;        // unanswered probes that end the connection
    int user_timeout_ms;  // unacknowledged data ends the connection after this long too
};

// The settings for a dead peer found within seconds (at least a few); seconds 0 turns keepalive off.
Keepalive_times keepalive_times(int seconds);

// Turns on keepalive on an accepted client socket as tcp_keepalive asks; false when the system refused.
bool set_keepalive(QTcpSocket& s);

// Keepalive finds a client of the port whose network went away; the error that then ends it is
// logged.
void guard_client(QTcpSocket& s, quint16 port);

// Closes the socket once the peer has taken all data written to it, cutting it off (with a reset)
// when that has not happened within the grace.
void close_with_grace(QTcpSocket& s);

// Whether the client has left: its socket is closed, or its peer ended the connection and the
// socket has not yet read that end (a newcomer may be accepted first in the same turn of the loop).
bool client_has_left(const QTcpSocket& s);
