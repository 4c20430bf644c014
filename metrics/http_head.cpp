// The metrics endpoint's reading of an HTTP request head, and its bounds on connections.
#include "metrics/http_head.h"

namespace {

// Whether the head has ended: with an empty line, CRLF or, as clients may send, a bare LF.
bool head_ended(const QByteArray& received)
{
    return received.contains("\r\n\r\n") || received.contains("\n\n");
}

Http_target target_of(const QByteArray& target)
{
    // The query, if any, changes nothing.
    const int query = target.indexOf('?');
    const QByteArray path = query < 0 ? target : target.left(query);
    if (path == "/metrics")
        return Http_target::metrics;
    return path == "/" ? Http_target::page : Http_target::not_found;
}

}  // namespace

Http_head read_http_head(const QByteArray& received, int max_bytes)
{
    // The whole head, its empty line included, fits in max_bytes.
    if (!head_ended(received.left(max_bytes)))
        return {received.size() >= max_bytes ? Http_head::too_large : Http_head::incomplete};
    const QByteArray line = received.left(received.indexOf('\n')).trimmed();
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.") || !parts[1].startsWith('/'))
        return {Http_head::bad_request};
    if (parts[0] != "GET")
        return {Http_head::bad_method};
    return {Http_head::request, target_of(parts[1])};
}

bool Connection_bounds::admit(const QHostAddress& from)
{
    int& count = by_address[from];
    if (total >= max_total || count >= max_per_address) {
        if (!count)
            by_address.remove(from);
        return false;
    }
    ++count;
    ++total;
    return true;
}

void Connection_bounds::leave(const QHostAddress& from)
{
    const auto it = by_address.find(from);
    if (it == by_address.end())
        return;
    --total;
    if (--*it == 0)
        by_address.erase(it);
}
