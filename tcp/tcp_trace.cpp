// The trace_tcp entries of one port: "tcp<port>" followed by the event, the peer or the bytes.
#include "tcp/tcp_trace.h"

#include "core/cfg.h"
#include "common/err.h"

#include <QAbstractSocket>
#include <QHostAddress>

void Tcp_trace::event(const char* event) const
{
    if (trace_tcp & all)
        log(QStringLiteral("tcp%1%2").arg(QString::number(tcp_port), QLatin1String(event)));
}

void Tcp_trace::peer(const QAbstractSocket& s, const char* event) const
{
    if (trace_tcp & all)
        log(QStringLiteral("tcp%1(peer=[%2]:%3)%4")
                .arg(QString::number(tcp_port), s.peerAddress().toString(), QString::number(s.peerPort()),
                     QLatin1String(event)));
}

void Tcp_trace::data(const char* event, const unsigned char* data, size_t size) const
{
    if (trace_tcp & all) {
        const QByteArray prefix = "tcp" + QByteArray::number(tcp_port) + event;
        log_data(prefix.constData(), data, size);
    }
}
