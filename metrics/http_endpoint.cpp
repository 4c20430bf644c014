// The metrics port's HTTP server: one thread of its own, event-driven, one request per connection.
#include "metrics/http_endpoint.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>

// Made by the endpoint's owner and moved at once, before it listens, to the endpoint's thread, where
// it is used and deleted.
class Http_server : public QObject {
public:
    explicit Http_server(Http_endpoint::Answerer answerer)
        : answerer(std::move(answerer)), bounds(http_max_connections, http_max_connections_per_address)
    {
        server.setParent(this);
        connect(&server, &QTcpServer::newConnection, this, &Http_server::on_server_new_connection);
    }

    bool listen(const QHostAddress& address, quint16 port, QString& why)
    {
        if (server.listen(address, port))
            return true;
        why = server.errorString();
        return false;
    }

private:
    void on_server_new_connection()
    {
        while (QTcpSocket* s = server.nextPendingConnection())
            take(s);
    }

    void take(QTcpSocket* s)
    {
        const QHostAddress from = s->peerAddress();
        if (!bounds.admit(from)) {
            s->abort();
            s->deleteLater();
            return;
        }
        connect(s, &QObject::destroyed, this, [this, from] { bounds.leave(from); });
        connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater);
        // What the head may take, kept in the socket's own buffer until the head is whole.
        s->setReadBufferSize(http_max_head_bytes + 1);
        auto* deadline = new QTimer(s);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, s, [s] {
            s->abort();
            s->deleteLater();
        });
        deadline->start(http_request_timeout_ms);
        connect(s, &QIODevice::readyRead, this, [this, s, deadline] { on_socket_ready_read(s, deadline); });
    }

    void on_socket_ready_read(QTcpSocket* s, QTimer* deadline)
    {
        const Http_head head = read_http_head(s->peek(http_max_head_bytes + 1), http_max_head_bytes);
        if (head.verdict == Http_head::incomplete)
            return;
        disconnect(s, &QIODevice::readyRead, this, nullptr);
        deadline->start(http_answer_timeout_ms);
        // Whatever follows the head is read and dropped until the client, its answer taken, closes:
        // closing with bytes unread would reset the connection and might lose the answer.
        s->readAll();
        connect(s, &QIODevice::readyRead, s, [s] { s->readAll(); });
        connect(s, &QIODevice::bytesWritten, s, [s] {
            if (!s->bytesToWrite())
                shutdown(static_cast<int>(s->socketDescriptor()), SHUT_WR);
        });
        s->write(http_response(head, answerer));
        // Handed to the system at once: a client that ended its side after the request (as `nc`
        // does) is closed by Qt as soon as it reads that end, and an answer still waiting in the
        // socket's buffer would then be lost.
        s->flush();
    }

    const Http_endpoint::Answerer answerer;
    // Before the server, so that its sockets, deleted with it, still find the bounds to leave.
    Connection_bounds bounds;
    QTcpServer server;
};

namespace {

QByteArray status_line(const Http_head& head)
{
    switch (head.verdict) {
    case Http_head::request:
        return head.target == Http_target::not_found ? "404 Not Found" : "200 OK";
    case Http_head::bad_method:
        return "405 Method Not Allowed";
    case Http_head::too_large:
        return "431 Request Header Fields Too Large";
    case Http_head::bad_request:
    case Http_head::incomplete:
        break;
    }
    return "400 Bad Request";
}

}  // namespace

QByteArray http_response(const Http_head& head, const Http_endpoint::Answerer& answerer)
{
    const QByteArray status = status_line(head);
    Http_answer answer{"text/plain; charset=utf-8", status + '\n'};
    if (head.verdict == Http_head::request && head.target != Http_target::not_found)
        answer = answerer(head.target);
    QByteArray out = "HTTP/1.1 " + status + "\r\nContent-Type: " + answer.content_type +
                     "\r\nContent-Length: " + QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n";
    if (head.verdict == Http_head::bad_method)
        out += "Allow: GET\r\n";
    return out + "\r\n" + answer.body;
}

Http_endpoint::Http_endpoint(Answerer answerer) : server(new Http_server(std::move(answerer)))
{
    thread.setObjectName(QStringLiteral("metrics"));
    server->moveToThread(&thread);
    thread.start();
}

Http_endpoint::~Http_endpoint()
{
    // The server and its sockets go in their own thread, before its loop ends.
    QMetaObject::invokeMethod(server, [this] { delete server; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

bool Http_endpoint::listen(const QHostAddress& address, quint16 port, QString& why)
{
    bool bound = false;
    QMetaObject::invokeMethod(server, [&] { bound = server->listen(address, port, why); },
                              Qt::BlockingQueuedConnection);
    return bound;
}
