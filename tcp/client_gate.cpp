// The listening socket of a modem port: connections from peers outside tcp_allow are closed as
// soon as they are accepted, counted, and logged: the first of a minute, then a summary.
#include "tcp/client_gate.h"

#include "core/cfg.h"
#include "core/client_allow_list.h"
#include "common/err.h"
#include "tcp/port_log.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

Tr errfmt_client_refused{TR_TEXT("log",
                                 "Отклонено подключение к порту TCP %1: адрес клиента не разрешён параметром "
                                 "«tcp_allow» (всего отклонено подключений: %2).")};
Tr errfmt_clients_refused{TR_TEXT("log",
                                  "Порт TCP %1: за последнюю минуту отклонено ещё %2 подключений с адресов, не "
                                  "разрешённых параметром «tcp_allow» (всего отклонено подключений: %3). Чаще всего "
                                  "подключались с адресов: %4.")};

const int accept_pause_ms = 1000;

}  // namespace

quint64 Client_gate::refused_total = 0;

Client_gate::Client_gate(QObject* parent)
    : QTcpServer(parent),
      refusals([this](quint64 held, const QString& peers) {
          return QString(errfmt_clients_refused.tr())
              .arg(QString::number(serverPort()), QString::number(held), QString::number(refused_total), peers);
      })
{
    if (!connect(this, &QTcpServer::acceptError, this, &Client_gate::on_accept_error))
        throw Debug(0x0808);
}

void Client_gate::on_accept_error(QAbstractSocket::SocketError e)
{
    port_log::accept_error(serverPort(), e, errorString(), accept_pause_ms);
    QTimer::singleShot(accept_pause_ms, this, [this] {
        if (isListening())
            resumeAccepting();
    });
}

// QTcpServer announces every accepted connection, refused ones included, so the gate announces
// its own, right after each accept as QTcpServer would.
void Client_gate::incomingConnection(qintptr handle)
{
    if (tcp_allow.is_empty()) {
        QTcpServer::incomingConnection(handle);
        emit client_waiting();
        return;
    }
    auto* s = new QTcpSocket(this);
    s->setSocketDescriptor(handle);
    if (!tcp_allow.allows(s->peerAddress())) {
        refuse(s);
        return;
    }
    addPendingConnection(s);
    emit client_waiting();
}

void Client_gate::refuse(QTcpSocket* s)
{
    ++refused_total;
    if (trace_tcp & trace_all)
        log(QStringLiteral("tcp%1(peer=[%2]:%3).refused")
                .arg(QString::number(serverPort()), s->peerAddress().toString(), QString::number(s->peerPort())));
    refusals.event(QString(errfmt_client_refused.tr()).arg(serverPort()).arg(refused_total),
                   unmapped(s->peerAddress()).toString());
    emit connection_refused();
    s->abort();
    delete s;
}
