// The TCP server of one modem: accepting and replacing clients, cutting a client's bytes into
// frames by pauses, and joining the modem's uplink packets into one answer for the client.
#include "tcp/tcp_server.h"

#include "core/cfg.h"
#include "common/descriptors.h"
#include "common/err.h"
#include "common/hex.h"
#include "metrics/metrics.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpSocket>
#include <QTimer>
#include <QTimerEvent>
#include <cstring>
#include <limits>
#include <new>

namespace {

Tr errfmt_cannot_listen{TR_TEXT("log", "Не удалось создать серверный сокет, слушающий порт TCP %1.")};
Tr errfmt_descriptor_limit{TR_TEXT("log",
                                   "Не хватает дескрипторов файлов: предел числа открытых файлов процесса равен %1.")};
Tr errfmt_accept_error{TR_TEXT("log",
                               "Не удалось принять соединение клиента на порту TCP %1. Код ошибки=%2 («%3»). Новые "
                               "соединения на этом порту будут приниматься снова через %4 миллисекунд.")};
Tr errtext_connect_exception{TR_TEXT("log",
                                     "Не удалось подготовиться к обмену с клиентом через установленное соединение.")};
Tr errfmt_no_mem{TR_TEXT("log", "Не удалось выделить буфер размером %1 байтов для работы с сообщениями.")};
Tr errfmt_read_error{TR_TEXT("log",
                             "Ошибка при чтении принятых от клиента данных. Код ошибки=%1 («%2»). Длина "
                             "прочитанных данных=%3.")};
Tr errfmt_overflow{TR_TEXT("log",
                           "Ошибка: от клиента на порту %1 пришло сообщение, размер которого превышает предельный "
                           "для этого клиента (%2 байтов). Предельный размер сообщения можно настроить в файле "
                           "конфигурации и в описании устройства.")};
Tr errtext_bad_frame{TR_TEXT("log", "Уже принятая часть сообщения, вызвавшего предыдущую ошибку: ")};
Tr errfmt_rx_empty_data{TR_TEXT("log",
                                "От сервера RUVO-LoRa пришло сообщение \"rx\" с пустым полем \"data\" (EUI=0x%1). "
                                "Сообщение игнорируется.")};
Tr errfmt_rx_too_short{TR_TEXT("log",
                               "Неправильный «пакет с данными от внешнего устройства, полученными по интерфейсу "
                               "RS-232 или RS-485» от радиомодема с EUI=0x%1: фактическая длина пакета равна %2 "
                               "байтов, т.е., в нём не помещается даже заголовок.")};
Tr errfmt_rx_size_mismatch{TR_TEXT("log",
                                   "Неправильный «пакет с данными от внешнего устройства, полученными по "
                                   "интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: поле «размер данных в "
                                   "данном пакете» содержит значение %2, а фактически поле «данные» имеет размер "
                                   "%3 байтов.")};
Tr errfmt_rx_shuffle{TR_TEXT("log",
                             "«Пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или "
                             "RS-485» от устройства с EUI=0x%1 пришёл с нарушением порядка: ожидается пакет №%2, а "
                             "пришёл пакет №%3.")};
Tr errfmt_rx_total_size_mismatch{TR_TEXT("log",
                                         "Неправильный «пакет с данными от внешнего устройства, полученными по "
                                         "интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: в %2-м пакете "
                                         "поле «общий размер полученных через интерфейс данных» содержало значение "
                                         "%3, а в %4-м пакете оно уже содержит значение %5.")};
Tr errfmt_rx_total_packets_mismatch{TR_TEXT("log",
                                            "Неправильный «пакет с данными от внешнего устройства, полученными по "
                                            "интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: в %2-м "
                                            "пакете поле «всего пакетов» содержало значение %3, а в %4-м пакете "
                                            "оно уже содержит значение %5.")};

// After a failed accept the listener rests, or it would be woken again at once by the same
// waiting connection.
const int accept_pause_ms = 1000;
// Read buffer of a Modbus TCP client's socket.
const qint64 modbus_read_buffer = 16 * Modbus_tcp_framing::max_request;

// Uplink packet of the modem: type, total size (2 bytes, little-endian), size of this packet's
// data, packet number, number of packets; then the data.
const unsigned char uplink_type = 3;
const int rx_header = 6;

quint16 rx_total_size(const unsigned char* p)
{
    return static_cast<quint16>(p[1] | (p[2] << 8));
}

// The limit in force is named only when a lack of descriptors is the cause.
QString with_descriptor_limit(const QString& text, bool lack_of_descriptors)
{
    if (!lack_of_descriptors)
        return text;
    return text + QLatin1Char(' ') + QString(errfmt_descriptor_limit.tr()).arg(descriptor_limit());
}

QString cannot_listen_text(quint16 port, bool lack_of_descriptors)
{
    return with_descriptor_limit(QString(errfmt_cannot_listen.tr()).arg(port), lack_of_descriptors);
}

QString packet_error(Tr& format, quint64 eui)
{
    return QString(format.tr()).arg(buf_hex64_engine.set(eui));
}

}  // namespace

Frame* Frame::alloc(size_t size, Tcp_server& server)
{
    void* p = size <= std::numeric_limits<size_t>::max() - sizeof(Frame)
                  ? ::operator new(sizeof(Frame) + size, std::nothrow)
                  : nullptr;
    if (!p)
        throw Err(QString(errfmt_no_mem.tr()).arg(size));
    Frame* f = new (p) Frame;
    f->next = nullptr;
    f->send = &Ws_connection::send_sdata;
    f->not_send = &Ws_connection::not_send_sdata;
    f->requester = &server;
    f->eui = server.eui;
    f->data_end = f->data() + size;
    f->size = 0;
    return f;
}

void Frame::free(Frame* frame)
{
    ::operator delete(frame);
}

Tcp_server::Tcp_server(Ws_connection& connection, unsigned long eui, const Device_in_cfg& cfg)
    : connection(connection),
      eui(eui),
      max_frame(cfg.max_frame),
      tcp_port(cfg.tcp_port),
      protocol(cfg.protocol),
      modbus(cfg.protocol == Port_protocol::modbus_tcp ? new Modbus_tcp_framing(tcp_port) : nullptr)
{
    if (!connect(&server, &Client_gate::client_waiting, this, &Tcp_server::on_new_connection))
        throw Debug(0x0801);
    if (!connect(&server, &QTcpServer::acceptError, this, &Tcp_server::on_accept_error))
        throw Debug(0x0808);
    // The last descriptors are left to the link, the log and some clients: a program that has
    // spent them all on listeners could no longer reconnect to the server nor say why.
    if (connection.live_count - 1 >= listeners_within_descriptor_limit())
        throw Err(cannot_listen_text(tcp_port, true));
    trace(".listen");
    if (!server.listen(tcp_listen_address, tcp_port))
        throw Err(cannot_listen_text(tcp_port, server.serverError() == QAbstractSocket::SocketResourceError));
    ++connection.live_count;
    metrics::modem_added(eui, tcp_port);
}

Tcp_server::~Tcp_server()
{
    trace(".shutdown_server_ok");
    if (--connection.live_count)
        return;
    bool ending;
    {
        QMutexLocker lock(&cfg_mutex);
        ending = ws_flags & WS_ENDING;
    }
    if (ending)
        connection.thread.exit(0);
}

void Tcp_server::trace(const char* event) const
{
    if (trace_tcp & trace_all)
        log(QStringLiteral("tcp%1%2").arg(QString::number(tcp_port), QLatin1String(event)));
}

void Tcp_server::trace_peer(QTcpSocket* s, const char* event) const
{
    if (trace_tcp & trace_all)
        log(QStringLiteral("tcp%1(peer=[%2]:%3)%4")
                .arg(QString::number(tcp_port), s->peerAddress().toString(),
                     QString::number(s->peerPort()), QLatin1String(event)));
}

void Tcp_server::trace_data(const char* event, const unsigned char* data, size_t size) const
{
    if (trace_tcp & trace_all) {
        const QByteArray prefix = "tcp" + QByteArray::number(tcp_port) + event;
        log_data(prefix.constData(), data, size);
    }
}

// Takes the next pending connection and ties its lifetime to this server; null when none.
QTcpSocket* Tcp_server::accept_next()
{
    for (;;) {
        QTcpSocket* s = server.nextPendingConnection();
        if (!s)
            return nullptr;
        trace_peer(s, ".accept");
        if (!connect(s, &QObject::destroyed, this, &Tcp_server::on_connection_destroyed)) {
            log_debug(0x0867);
            delete s;
            continue;
        }
        ++refs;
        if (!connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater)) {
            log_debug(0x0804);
            s->deleteLater();
            continue;
        }
        metrics::client_connected(eui);
        return s;
    }
}

void Tcp_server::on_accept_error(QAbstractSocket::SocketError e)
{
    log(with_descriptor_limit(QString(errfmt_accept_error.tr())
                                  .arg(QString::number(tcp_port), QString::number(static_cast<int>(e)),
                                       server.errorString(), QString::number(accept_pause_ms)),
                              e == QAbstractSocket::SocketResourceError));
    QTimer::singleShot(accept_pause_ms, this, [this] {
        if (server.isListening())
            server.resumeAccepting();
    });
}

void Tcp_server::drop_socket(QTcpSocket* s)
{
    trace_peer(s, ".shutdown");
    s->disconnectFromHost();
}

// Sets client under cfg_mutex; when a client appears or goes, counts it and raises the notice.
void Tcp_server::set_client(QTcpSocket* s)
{
    bool notify = false;
    {
        QMutexLocker lock(&cfg_mutex);
        if (!client != !s) {
            if (s)
                ++clients_number;
            else
                --clients_number;
            notify = !(ws_flags & WS_CLIENTS_PENDING);
            ws_flags |= WS_CLIENTS_PENDING;
        }
        client = s;
    }
    if (notify && (connection.flags & Ws_connection::connected))
        emit connection.clients_changed();
}

void Tcp_server::on_new_connection()
{
    QTcpSocket* s = accept_next();
    if (!s) {
        log_debug(0x0802);
        return;
    }
    while (QTcpSocket* further = accept_next()) {
        drop_socket(s);
        s = further;
    }
    QTcpSocket* old = client;
    set_client(s);
    if (old)
        replace_client(old);
    set_up_exchange(s);
}

// The newest client takes over the port: the old one's exchange is broken off. Its frame stays
// for the new client; set-up rewinds it, so the old client's unsent bytes are dropped.
void Tcp_server::replace_client(QTcpSocket* old)
{
    if (!(flags & exchange))
        return;
    connection.cancel_queries(this);
    kill_timer();
    rx_data.clear();
    if (modbus)
        modbus->reset();
    flags &= ~(confirmed | uplink);
    drop_socket(old);
}

void Tcp_server::set_up_exchange(QTcpSocket* s)
{
    try {
        if (!connect(s, &QIODevice::readyRead, this, &Tcp_server::on_ready_read))
            throw Debug(0x0803);
        if (!frame)
            frame = Frame::alloc(max_frame + 1, *this);
        // Requests beyond the waiting line stay in the kernel, so a flooding client is slowed down.
        if (modbus)
            s->setReadBufferSize(modbus_read_buffer);
        flags |= exchange;
        frame_pos = frame->data();
        return;
    } catch (const std::exception& e) {
        log_exception(e, errtext_connect_exception.tr());
    } catch (...) {
        log_debug(0x0805);
    }
    end_exchange();
    drop_socket(s);
}

// Ends the exchange on this side: no timer, no frame, no uplink state.
void Tcp_server::end_exchange()
{
    kill_timer();
    Frame::free(frame);
    frame = nullptr;
    frame_pos = nullptr;
    rx_data.clear();
    if (modbus)
        modbus->reset();
    flags &= ~(exchange | confirmed | uplink);
}

void Tcp_server::on_connection_destroyed(QObject* o)
{
    if (o == client) {
        if (flags & exchange) {
            client_gone();
            trace(".disconnected");
        } else {
            trace(".shutdown_ok");
        }
        set_client(nullptr);
    } else if (o->parent() != &server) {
        // Only accepted sockets, children of the listening socket, are connected here; the
        // type of a dying object can no longer be told, its parent still can.
        log_debug(0x0834);
        return;
    } else {
        trace(".shutdown_ok");
    }
    if (refs == 1)
        deleteLater();
    else
        --refs;
}

// The client went away by itself: its frames still go to the modem, answered to nobody,
// including the bytes it sent just before leaving.
void Tcp_server::client_gone()
{
    connection.anonymize_queries(this);
    if (frame_pos != frame->data()) {
        frame->size = static_cast<size_t>(frame_pos - frame->data());
        frame->requester = nullptr;
        connection.post(*frame);
        frame = nullptr;
    }
    end_exchange();
}

void Tcp_server::shutdown_connection()
{
    Q_ASSERT(QThread::currentThread() == thread());
    connection.cancel_queries(this);
    end_exchange();
    if (client)
        drop_socket(client);
}

void Tcp_server::shutdown_server()
{
    Q_ASSERT(QThread::currentThread() == thread());
    trace(".shutdown_server");
    metrics::modem_removed(eui);
    server.close();
    if (refs == 1) {
        delete this;
        return;
    }
    --refs;
    if (flags & exchange)
        shutdown_connection();
}

void Tcp_server::success()
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (flags & confirmed)
        return;
    flags |= confirmed;
    rx_count = 0;
}

void Tcp_server::timerEvent(QTimerEvent* e)
{
    const int id = e->timerId();
    killTimer(id);
    if (id != timer_id)
        return;
    timer_id = 0;
    (this->*timer_action)();
}

void Tcp_server::kill_timer()
{
    if (timer_id) {
        killTimer(timer_id);
        timer_id = 0;
    }
}

void Tcp_server::start_timer(int interval, Timer_action action)
{
    kill_timer();
    timer_action = action;
    timer_id = startTimer(interval, Qt::CoarseTimer);
    if (!timer_id)
        log_debug(0x0807);
}

void Tcp_server::restart_timer()
{
    start_timer(tcp_interframe_delay, &Tcp_server::frame_received);
}

void Tcp_server::on_ready_read()
{
    if (!(flags & exchange)) {
        trace(".recv ignored");
        return;
    }
    QObject* from = sender();
    if (from != client) {
        if (QTcpSocket* replaced = qobject_cast<QTcpSocket*>(from))
            trace_peer(replaced, ".recv ignored");
        else
            log_debug(0x083F);
        return;
    }
    if (modbus) {
        modbus_read();
        return;
    }
    const qint64 room = frame->data_end - frame_pos;
    const qint64 n = client->read(reinterpret_cast<char*>(frame_pos), room);
    if (n <= 0) {
        read_failed(n);
    } else if (n < room) {
        trace_data(".recv ", frame_pos, static_cast<size_t>(n));
        frame_pos += n;
        restart_timer();
    } else if (n == room) {
        overflow(frame->data(), max_frame + 1);
    } else {
        log_debug(0x0806);
        shutdown_connection();
    }
}

void Tcp_server::read_failed(qint64 result)
{
    log(QString(errfmt_read_error.tr())
            .arg(QString::number(static_cast<int>(client->error())), client->errorString(),
                 QString::number(result)));
    metrics::client_error(eui, metrics::Client_error::read);
    shutdown_connection();
}

void Tcp_server::overflow(const unsigned char* data, size_t size)
{
    log(QString(errfmt_overflow.tr()).arg(QString::number(tcp_port), QString::number(max_frame)));
    if (trace_tcp & trace_bad_frames) {
        const QByteArray prefix = errtext_bad_frame.tr().toUtf8();
        log_data(prefix.constData(), data, size);
    }
    metrics::client_error(eui, metrics::Client_error::overflow);
    shutdown_connection();
}

void Tcp_server::frame_received()
{
    Q_ASSERT(QThread::currentThread() == thread());
    Frame* done = frame;
    done->size = static_cast<size_t>(frame_pos - done->data());
    // From here the frame is the connection's: nothing of it may stay behind.
    frame = nullptr;
    frame_pos = nullptr;
    connection.post(*done);
    try {
        frame = Frame::alloc(max_frame + 1, *this);
    } catch (...) {
        shutdown_connection();
        throw;
    }
    frame_pos = frame->data();
}

void Tcp_server::rx_received(QByteArray& data)
{
    Q_ASSERT(QThread::currentThread() == thread());
    metrics::uplink_received(eui, static_cast<size_t>(data.size()));
    if (!(flags & confirmed))
        return;
    if (data.isEmpty()) {
        log(packet_error(errfmt_rx_empty_data, eui));
        return;
    }
    if (static_cast<unsigned char>(data[0]) != uplink_type)
        return;
    if (!rx_packet_fits(data)) {
        rx_error();
        return;
    }
    data.remove(0, rx_header);
    if (rx_count == 0)
        rx_data = data;
    else
        rx_data += data;
    if (++rx_count < rx_packets)
        return;
    if (modbus) {
        modbus_answered();
    } else {
        write_to_client(rx_data);
        metrics::answer_to_client(eui);
    }
    rx_count = 0;
    rx_data.clear();
}

void Tcp_server::write_to_client(const QByteArray& bytes)
{
    trace_data(".send ", reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<size_t>(bytes.size()));
    client->write(bytes);
}

// Checks one uplink packet against its own length and the answer's first packet, logging
// what is wrong; the first packet of an answer sets the answer's totals.
bool Tcp_server::rx_packet_fits(const QByteArray& data)
{
    if (data.size() < rx_header) {
        log(packet_error(errfmt_rx_too_short, eui).arg(data.size()));
        return false;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.constData());
    const int size = data.size() - rx_header;
    if (p[3] != size) {
        log(packet_error(errfmt_rx_size_mismatch, eui)
                .arg(QString::number(p[3]), QString::number(size)));
        return false;
    }
    if (p[4] != rx_count) {
        log(packet_error(errfmt_rx_shuffle, eui)
                .arg(QString::number(rx_count), QString::number(p[4])));
        return false;
    }
    const quint16 total = rx_total_size(p);
    if (rx_count == 0) {
        rx_size = total;
        rx_packets = p[5];
        flags |= uplink;
        return true;
    }
    if (total != rx_size) {
        log(packet_error(errfmt_rx_total_size_mismatch, eui)
                .arg(QString::number(rx_count - 1), QString::number(rx_size),
                     QString::number(rx_count), QString::number(total)));
        return false;
    }
    if (p[5] != rx_packets) {
        log(packet_error(errfmt_rx_total_packets_mismatch, eui)
                .arg(QString::number(rx_count - 1), QString::number(rx_packets),
                     QString::number(rx_count), QString::number(p[5])));
        return false;
    }
    return true;
}

void Tcp_server::rx_error()
{
    metrics::client_error(eui, metrics::Client_error::packet);
    if (flags & uplink) {
        shutdown_connection();
        return;
    }
    rx_count = 0;
    rx_data.clear();
}

// Reads whole requests while the waiting line has room, then sends the next one if the modem
// is free.
void Tcp_server::modbus_read()
{
    char bytes[Modbus_tcp_framing::max_request];
    while (!modbus->line_full() && client->bytesAvailable() > 0) {
        const qint64 n = client->read(bytes, sizeof bytes);
        if (n <= 0) {
            read_failed(n);
            return;
        }
        trace_data(".recv ", reinterpret_cast<const unsigned char*>(bytes), static_cast<size_t>(n));
        if (!modbus->take(bytes, static_cast<int>(n))) {
            shutdown_connection();
            return;
        }
    }
    modbus_send_next();
}

// The next request goes to the modem through the usual frame, with its own answer timeout.
void Tcp_server::modbus_send_next()
{
    const QByteArray rtu = modbus->next_rtu();
    if (rtu.isEmpty())
        return;
    const size_t size = static_cast<size_t>(rtu.size());
    if (size > max_frame) {
        overflow(reinterpret_cast<const unsigned char*>(rtu.constData()), size);
        return;
    }
    std::memcpy(frame->data(), rtu.constData(), size);
    frame_pos = frame->data() + size;
    frame_received();
    start_timer(modbus_timeout, &Tcp_server::modbus_timed_out);
}

// An answer that does not fit the awaited request is dropped; the request then times out.
void Tcp_server::modbus_answered()
{
    const QByteArray response = modbus->answer(rx_data);
    if (response.isEmpty())
        return;
    kill_timer();
    write_to_client(response);
    metrics::answer_to_client(eui);
    modbus_read();
}

void Tcp_server::modbus_timed_out()
{
    write_to_client(modbus->timeout_exception());
    modbus_read();
}
