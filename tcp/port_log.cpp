// The log entries of a modem port's sockets, in the program's words.
#include "tcp/port_log.h"

#include "core/client_allow_list.h"
#include "common/descriptors.h"
#include "common/err.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

Tr errfmt_cannot_listen{TR_TEXT("log", "Не удалось создать серверный сокет, слушающий порт TCP %1.")};
Tr errfmt_client_replaced{TR_TEXT("log",
                                  "Порт TCP %1 занят новым клиентом [%2]:%3; прежний клиент [%4]:%5 отключён.")};
Tr errfmt_clients_replaced{TR_TEXT("log",
                                   "Порт TCP %1: за последнюю минуту новые клиенты заняли порт ещё %2 раз, отключив "
                                   "прежних. Чаще всего новые клиенты подключались с адресов: %3.")};
Tr errfmt_client_turned_away{TR_TEXT("log",
                                     "Новый клиент [%2]:%3 порта TCP %1 отключён: все %4 клиентов порта ждут ответов "
                                     "на свои запросы.")};
Tr errfmt_clients_turned_away{TR_TEXT("log",
                                      "Порт TCP %1: за последнюю минуту ещё %2 новых клиентов отключены, так как все "
                                      "клиенты порта ждали ответов на свои запросы. Чаще всего новые клиенты "
                                      "подключались с адресов: %3.")};
Tr errfmt_descriptor_limit{TR_TEXT("log",
                                   "Не хватает дескрипторов файлов: предел числа открытых файлов процесса равен %1.")};
Tr errfmt_accept_error{TR_TEXT("log",
                               "Не удалось принять соединение клиента на порту TCP %1. Код ошибки=%2 («%3»). Новые "
                               "соединения на этом порту будут приниматься снова через %4 миллисекунд.")};
Tr errtext_connect_exception{TR_TEXT("log",
                                     "Не удалось подготовиться к обмену с клиентом через установленное соединение.")};
Tr errfmt_queue_overflow{TR_TEXT("log",
                                 "Ошибка: клиент на порту %1 прислал больше сообщений, чем может ждать отправки "
                                 "радиомодему (%2), не дожидаясь ответов на них. Соединение с клиентом разорвано.")};
Tr errfmt_unread{TR_TEXT("log",
                         "Клиент на порту %1 не читает ответы: их непереданный остаток превысил %2 байтов. "
                         "Соединение с клиентом разорвано.")};
Tr errfmt_client_error{TR_TEXT("log", "Соединение с клиентом на порту %1 ([%2]:%3) разорвано: %4.")};
Tr errfmt_read_error{TR_TEXT("log",
                             "Ошибка при чтении принятых от клиента данных. Код ошибки=%1 («%2»). Длина "
                             "прочитанных данных=%3.")};
Tr errfmt_repeated{TR_TEXT("log",
                           "Повторный пакет от радиомодема порта %1 (счётчик кадров fcnt=%2) отброшен.")};

// The limit in force is named only when a lack of descriptors is the cause.
QString with_descriptor_limit(const QString& text, bool lack_of_descriptors)
{
    if (!lack_of_descriptors)
        return text;
    return text + QLatin1Char(' ') + QString(errfmt_descriptor_limit.tr()).arg(descriptor_limit());
}

}  // namespace

namespace port_log {

QString cannot_listen(quint16 port, bool lack_of_descriptors)
{
    return with_descriptor_limit(QString(errfmt_cannot_listen.tr()).arg(port), lack_of_descriptors);
}

void accept_error(quint16 port, QAbstractSocket::SocketError e, const QString& reason, int pause_ms)
{
    log(with_descriptor_limit(QString(errfmt_accept_error.tr())
                                  .arg(QString::number(port), QString::number(static_cast<int>(e)), reason,
                                       QString::number(pause_ms)),
                              e == QAbstractSocket::SocketResourceError));
}

void client_error(quint16 port, const QTcpSocket& s, QAbstractSocket::SocketError e)
{
    if (e == QAbstractSocket::RemoteHostClosedError)
        return;
    log(QString(errfmt_client_error.tr())
            .arg(QString::number(port), s.peerAddress().toString(), QString::number(s.peerPort()), s.errorString()));
}

QString client_replaced(quint16 port, const QTcpSocket& taker, const QTcpSocket& old)
{
    return QString(errfmt_client_replaced.tr())
        .arg(QString::number(port), unmapped(taker.peerAddress()).toString(), QString::number(taker.peerPort()),
             unmapped(old.peerAddress()).toString(), QString::number(old.peerPort()));
}

QString clients_replaced(quint16 port, quint64 held, const QString& peers)
{
    return QString(errfmt_clients_replaced.tr()).arg(QString::number(port), QString::number(held), peers);
}

QString client_turned_away(quint16 port, const QTcpSocket& newcomer, size_t clients)
{
    return QString(errfmt_client_turned_away.tr())
        .arg(QString::number(port), unmapped(newcomer.peerAddress()).toString(), QString::number(newcomer.peerPort()),
             QString::number(clients));
}

QString clients_turned_away(quint16 port, quint64 held, const QString& peers)
{
    return QString(errfmt_clients_turned_away.tr()).arg(QString::number(port), QString::number(held), peers);
}

QString connect_exception()
{
    return errtext_connect_exception.tr();
}

void read_error(const QTcpSocket& s, qint64 result)
{
    log(QString(errfmt_read_error.tr())
            .arg(QString::number(static_cast<int>(s.error())), s.errorString(), QString::number(result)));
}

void queue_overflow(quint16 port, int max_queued)
{
    log(QString(errfmt_queue_overflow.tr()).arg(QString::number(port), QString::number(max_queued)));
}

void unread(quint16 port, qint64 limit)
{
    log(QString(errfmt_unread.tr()).arg(QString::number(port), QString::number(limit)));
}

void repeated_packet(quint16 port, quint32 fcnt)
{
    log(QString(errfmt_repeated.tr()).arg(QString::number(port), QString::number(fcnt)));
}

}  // namespace port_log
