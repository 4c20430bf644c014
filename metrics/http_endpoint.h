// The metrics port's HTTP server: one thread of its own whose event loop serves GET /metrics and
// the status page, one request per connection. Nothing a client does holds it: a request head must
// arrive whole within the request timeout, counted from the connection, and within a bounded size,
// and connections are bounded in all and per client address (a newcomer beyond them is closed at
// once).
#pragma once

#include "metrics/http_head.h"

#include <QByteArray>
#include <QHostAddress>
#include <QThread>
#include <functional>

struct Http_answer {
    QByteArray content_type;
    QByteArray body;
};

// Bounds of the endpoint.
const int http_request_timeout_ms = 3000;
// A client that does not take its answer within this long after the head is cut off.
const int http_answer_timeout_ms = 10000;
const int http_max_head_bytes = 8192;
const int http_max_connections = 64;
const int http_max_connections_per_address = 16;

class Http_server;

class Http_endpoint {
public:
    // Gives the answer to a GET of /metrics or of the page; called in the endpoint's thread.
    using Answerer = std::function<Http_answer(Http_target)>;

    explicit Http_endpoint(Answerer answerer);
    ~Http_endpoint();
    Http_endpoint(const Http_endpoint&) = delete;
    Http_endpoint& operator=(const Http_endpoint&) = delete;

    // Opens the port in the endpoint's thread, waiting for it; false with the system's reason when
    // it cannot be bound.
    bool listen(const QHostAddress& address, quint16 port, QString& why);

private:
    QThread thread;
    Http_server* server;
};

// The whole answer to a head: status line, headers and body.
QByteArray http_response(const Http_head& head, const Http_endpoint::Answerer& answerer);
