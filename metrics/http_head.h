// The metrics endpoint's reading of an HTTP request head, and its bounds on connections: pure
// units, so that what a client can make the endpoint do is decided without a socket.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>

// What the endpoint serves.
enum class Http_target { metrics, page, not_found };

struct Http_head {
    enum Verdict {
        incomplete,    // the head has not ended yet: wait for more
        request,       // a GET of target
        bad_method,    // a whole request line with another method than GET
        bad_request,   // not an HTTP request line
        too_large,     // more than the bound and still no end of the head
    };
    Verdict verdict;
    Http_target target = Http_target::not_found;
};

// Reads what a client has sent so far; a head longer than max_bytes, its empty line included, is
// too large.
Http_head read_http_head(const QByteArray& received, int max_bytes);

// Counts the open connections in all and per client address; a newcomer beyond either bound is
// refused.
class Connection_bounds {
public:
    Connection_bounds(int max_total, int max_per_address) : max_total(max_total), max_per_address(max_per_address) {}

    // Counts the connection in when there is room for it.
    bool admit(const QHostAddress& from);
    void leave(const QHostAddress& from);
    int open() const { return total; }

private:
    const int max_total;
    const int max_per_address;
    int total = 0;
    QHash<QHostAddress, int> by_address;
};
