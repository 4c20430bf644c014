// Modbus TCP on a port: MBAP requests cut from each client's stream, each master's share of the
// lines, and the choice of the connection a newcomer replaces.
#include "tcp/modbus_port_framing.h"

#include "common/err.h"
#include "core/client_allow_list.h"
#include "metrics/metrics.h"
#include "tcp/modbus_mbap.h"

#include <QTcpSocket>
#include <algorithm>

using namespace mbap;

namespace {

Tr errfmt_bad_mbap{TR_TEXT("log",
                           "Ошибка: клиент на порту %1 прислал запрос Modbus TCP с неправильным заголовком MBAP "
                           "(идентификатор протокола %2, длина %3). Соединение с клиентом закрыто.")};
Tr errfmt_bad_mbaps{TR_TEXT("log",
                            "Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus TCP с неправильным заголовком "
                            "MBAP, соединения с клиентами закрыты. Чаще всего такие запросы приходили с адресов: %3.")};
Tr errfmt_busy{TR_TEXT("log",
                       "Очередь запросов Modbus порта %1 полна (%2 запросов); клиенту %3 отправлено исключение "
                       "0x06 (устройство занято).")};
Tr errfmt_busies{TR_TEXT("log",
                         "Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus получили исключение 0x06, так как "
                         "очередь порта была полна. Чаще всего такие запросы приходили с адресов: %3.")};

const int min_length = 2;
const int max_length = 254;
// Read buffer of a Modbus TCP client's socket.
const qint64 read_buffer = Modbus_port_framing::max_waiting_per_client * Modbus_port_framing::max_request;

}  // namespace

Modbus_port_framing::Modbus_port_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame)
    : Client_framing(host, eui, tcp_port, max_frame),
      bad_headers([tcp_port](quint64 held, const QString& peers) {
          return QString(errfmt_bad_mbaps.tr()).arg(QString::number(tcp_port), QString::number(held), peers);
      }),
      busy([tcp_port](quint64 held, const QString& peers) {
          return QString(errfmt_busies.tr()).arg(QString::number(tcp_port), QString::number(held), peers);
      })
{
}

Modbus_port_framing::Master* Modbus_port_framing::master(Client_number number)
{
    for (Master& m : masters)
        if (m.number == number)
            return &m;
    return nullptr;
}

const Modbus_port_framing::Master* Modbus_port_framing::master(Client_number number) const
{
    return const_cast<Modbus_port_framing*>(this)->master(number);
}

QString Modbus_port_framing::peer_of(Client_number client) const
{
    const Master* m = master(client);
    return m ? m->peer : QString();
}

// Nothing of it waits, is being read or is owed.
bool Modbus_port_framing::idle(const Master& m)
{
    bool work = !m.input.isEmpty();
    for_each_line([&](Modbus_line& line) { work = work || line.has_work(*this, m.number); });
    return !work;
}

int Modbus_port_framing::share() const
{
    const int each = Modbus_line::max_waiting / std::max<int>(1, static_cast<int>(masters.size()));
    return std::clamp(each, 1, max_waiting_per_client);
}

void Modbus_port_framing::begin(Client_number client, QTcpSocket& socket)
{
    socket.setReadBufferSize(read_buffer);
    masters.push_back({client, unmapped(socket.peerAddress()).toString(), QByteArray(), 0, 0});
}

// A write to the client may drop it, so the master is looked up again after each step.
void Modbus_port_framing::read(Client_number client, QIODevice& socket)
{
    char bytes[max_request];
    while (Master* m = master(client)) {
        if (!take(*m)) {
            metrics::client_error(eui, metrics::Client_error::header);
            host.drop_client(client);
            return;
        }
        m = master(client);
        if (!m || m->waiting >= share() || socket.bytesAvailable() <= 0)
            break;
        const qint64 n = socket.read(bytes, sizeof bytes);
        if (n <= 0) {
            host.read_failed(client, n);
            return;
        }
        tracer.data(".recv ", reinterpret_cast<const unsigned char*>(bytes), static_cast<size_t>(n));
        m->input.append(bytes, static_cast<int>(n));
    }
    read_all_done();
}

// A line may have something to send though no client had more to read.
void Modbus_port_framing::read_all_done()
{
    for_each_line([](Modbus_line& line) { line.send_next(); });
}

bool Modbus_port_framing::take(Master& m)
{
    while (m.waiting < share() && m.input.size() >= length_end) {
        const int protocol = word_at(m.input, 2);
        const int length = word_at(m.input, 4);
        if (protocol != 0 || length < min_length || length > max_length) {
            bad_headers.event(errfmt_bad_mbap.tr().arg(tcp_port).arg(protocol).arg(length), m.peer);
            m.input.clear();
            return false;
        }
        if (m.input.size() < length_end + length)
            break;
        const QByteArray request = m.input.left(length_end + length);
        m.input.remove(0, length_end + length);
        m.last_request = host.now_ms();
        if (!enqueue(m, request))
            break;
    }
    return true;
}

// A full line is said to the client at once: it may retry, or ask later. A master with nothing
// waiting always gets its turn. False when a write (the 0x06, or an answer from the cache) dropped
// the client.
bool Modbus_port_framing::enqueue(Master& m, const QByteArray& request)
{
    const Client_number number = m.number;
    const Modbus_route to = route(number, request);
    if (!to.line)
        return master(number) != nullptr;
    if (!to.line->full() || !m.waiting) {
        ++m.waiting;
        to.line->enqueue(*this, number, request, to.slave);
        return master(number) != nullptr;
    }
    busy.event(errfmt_busy.tr().arg(tcp_port).arg(Modbus_line::max_waiting).arg(m.peer), m.peer);
    host.write_to_client(number, exception(request, server_busy));
    return master(number) != nullptr;
}

void Modbus_port_framing::respond(Client_number client, const QByteArray& response, bool answer)
{
    if (answer)
        host.write_answer(client, response);
    else
        host.write_to_client(client, response);
}

bool Modbus_port_framing::has_client(Client_number client) const
{
    return master(client) != nullptr;
}

// A master that had used up its share may have more requests waiting unread: the port reads on
// from a later turn (the line that took the request may be another port's).
void Modbus_port_framing::left_line(Client_number client)
{
    Master* m = master(client);
    if (m && m->waiting-- >= share())
        host.read_on();
}

void Modbus_port_framing::client_left(Client_number client, int)
{
    for_each_line([&](Modbus_line& line) { line.forget(*this, client); });
    for (auto it = masters.begin(); it != masters.end(); ++it)
        if (it->number == client) {
            masters.erase(it);
            return;
        }
}

// A connection that never asked anything is most likely one that only connects and goes: the
// newest of them goes first, so that the ones that have waited longest may still ask.
Modbus_port_framing::Client_number Modbus_port_framing::to_displace(const std::vector<Client_number>& clients)
{
    const Master* never_asked = nullptr;
    const Master* longest_idle = nullptr;
    for (const Client_number number : clients) {
        const Master* m = master(number);
        if (!m || !idle(*m))
            continue;
        if (!m->last_request)
            never_asked = m;
        else if (!longest_idle || m->last_request < longest_idle->last_request)
            longest_idle = m;
    }
    const Master* chosen = never_asked ? never_asked : longest_idle;
    return chosen ? chosen->number : 0;
}
