// The link with the RUVO-LoRa server: construction, the socket events, the timers, the recovery
// after every failure, shutdown and the fatal-error exit.
#include "link/ws_connection.h"

#include "core/cfg.h"
#include "core/exit_codes.h"
#include "core/served_devices.h"
#include "core/shared.h"
#include "common/descriptors.h"
#include "common/err.h"
#include "link/ws_tls.h"
#include "metrics/metrics.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>
#include <QMutexLocker>
#include <QTimerEvent>
#include <QUrl>

Ws_connection* Ws_connection::instance = nullptr;
Ws_connection::Window Ws_connection::window;

namespace {

Tr logtext_connected{TR_TEXT("log", "Установлено соединение с сервером RUVO-LoRa.")};
Tr errfmt_connecting_error{TR_TEXT("log",
                                   "Не удалось установить соединение с сервером RUVO-LoRa. Код ошибки = %1 («%2»).")};
Tr errfmt_connected_error{TR_TEXT("log", "Утеряно соединение с сервером RUVO-LoRa. Код ошибки = %1 («%2»).")};
Tr errfmt_answer_error{TR_TEXT("log",
                               "Соединение с сервером RUVO-LoRa утеряно во время ожидания ответа на команду «%1». "
                               "Код ошибки = %2 («%3»).")};
Tr errtext_connecting_disconnect{TR_TEXT("log", "Не удалось установить соединение с сервером RUVO-LoRa.")};
Tr errtext_connected_disconnect{TR_TEXT("log", "Утеряно соединение с сервером RUVO-LoRa.")};
Tr errfmt_answer_disconnect{TR_TEXT("log",
                                    "Соединение с сервером RUVO-LoRa утеряно во время ожидания ответа на команду "
                                    "«%1».")};
Tr errfmt_failed_tries{TR_TEXT("log",
                               "За последнюю минуту не удались ещё %1 попыток связи с сервером RUVO-LoRa. Чаще всего "
                               "причиной было: %2.")};
Tr errfmt_connect_timeout{TR_TEXT("log",
                                  "Тайм-аут установления соединения WebSocket с сервером RUVO-LoRa (ждали более %1 "
                                  "миллисекунд).")};
Tr errfmt_answer_timeout{TR_TEXT("log",
                                 "Тайм-аут ожидания ответа на команду \"%1\" (с момента начала передачи команды "
                                 "прошло более %2 миллисекунд).")};
Tr name_AUTH{TR_TEXT("proto", "авторизация пользователя")};
Tr name_DEVLIST{TR_TEXT("proto", "запрос списка устройств")};
Tr name_SDATA{TR_TEXT("proto", "добавить данные в очередь для отправки на устройство")};
Tr errtext_fatal{TR_TEXT("log", "Обнаружена ошибка в программе. Работа программы завершена.")};

// Shows the fatal-error box over the main window in the GUI thread and ends the application once
// the user has closed it. The lock is held only to read the window pointer, never across the box;
// the window, a GUI-thread object, cannot go away between the two.
void show_fatal_error_box(const QString& text)
{
    QWidget* parent;
    {
        QMutexLocker lock(&cfg_mutex);
        parent = Ws_connection::window.widget;
    }
    show_error(text, parent);
    QCoreApplication::exit(exit_internal_fault);
}

// Gives every record of a chain its not-send operation; the chain is left empty.
void release_queries(Query*& first)
{
    while (Query* q = first) {
        first = q->next;
        q->not_send(q);
    }
}

}  // namespace

Ws_connection::Ws_connection(QThread& thread)
    : thread(thread),
      socket(QString(), QWebSocketProtocol::Version13),
      devlist_query{nullptr, &Ws_connection::send_devlist_req, &Ws_connection::not_send_devlist_req, nullptr, 0, false, 0},
      handler(&Ws_connection::unexpected_message),
      failed_tries([](quint64 held, const QString& reasons) {
          return QString(errfmt_failed_tries.tr()).arg(QString::number(held), reasons);
      })
{
    if (!connect(&socket, &QWebSocket::connected, this, &Ws_connection::on_connected))
        throw Debug(0x0707);
    if (!connect(&socket, &QWebSocket::binaryMessageReceived, this, &Ws_connection::on_binary_message))
        throw Debug(0x0709);
    if (!connect(&socket, &QWebSocket::textMessageReceived, this, &Ws_connection::on_text_message))
        throw Debug(0x070A);
    if (!connect(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
                 &Ws_connection::on_error))
        throw Debug(0x0704);
    if (!connect(&socket, &QWebSocket::disconnected, this, &Ws_connection::on_disconnected))
        throw Debug(0x0708);
    set_up_ws_tls(socket, ws_tls, [this](const QString& text) { log_failed_try(text); });
    // The socket's own write notifier would send the text all the same, a turn of the loop later.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &Ws_connection::on_dispatcher_about_to_block);
    // The list of modems to serve is changed in the GUI thread; its servers follow here.
    if (!connect(&served_devices, &Served_devices::changed, this, &Ws_connection::update_servers,
                 Qt::QueuedConnection))
        throw Debug(0x0771);

    QMutexLocker lock(&cfg_mutex);
    if (instance)
        throw Debug(0x076C);
    if (ws_flags & WS_ENDING)
        throw The_end();
    instance = this;
    if (window.attach)
        window.attach(*this);
    ws_flags &= static_cast<unsigned char>(~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING));
}

Ws_connection::~Ws_connection()
{
    // Closing the socket in its destructor must not call back into a half-destroyed connection.
    disconnect(&socket, nullptr, this, nullptr);
    switch_to_offline();
    QMutexLocker lock(&cfg_mutex);
    if (instance == this)
        instance = nullptr;
    else
        log_debug(0x0770);
}

void Ws_connection::start()
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    if (!start_wait(ws_connect_timeout, 0x074E))
        return;
    state = State::connecting;
    flags |= disconnect_expected | error_expected;
    metrics::link_connecting();
    socket.open(QUrl(ws_url, QUrl::TolerantMode));
}

void Ws_connection::send(const QString& text)
{
    send(text, text);
}

void Ws_connection::send(const QString& text, const QString& traced)
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    if (trace_ws & trace_all)
        log_utf8(QStringLiteral("to(RUVO-LoRa): "), traced);
    socket.sendTextMessage(text);
    flags |= flush_pending;
}

// Handed to the kernel before the loop waits again, not once the socket reports itself writable;
// not right where the text is sent either, where a failed write would tear the link down under
// the caller's feet.
void Ws_connection::on_dispatcher_about_to_block()
{
    if (!(flags & flush_pending))
        return;
    flags &= static_cast<unsigned char>(~flush_pending);
    socket.flush();
}

bool Ws_connection::start_wait(int interval, unsigned short code)
{
    wait.start(interval, Qt::CoarseTimer, this);
    if (wait.isActive())
        return true;
    crash(debug_errtext(code));
    return false;
}

// The site port ends with the link.
void Ws_connection::release_live()
{
    retire_site();
    if (--live_count == 0)
        thread.exit(0);
}

// The last descriptors are left to the link, the log and some clients: a program that has spent
// them all on listeners could no longer reconnect to the server nor say why.
bool Ws_connection::count_port()
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    if (live_count - 1 >= listeners_within_descriptor_limit())
        return false;
    ++live_count;
    return true;
}

// The link itself may be gone by now only when the program ends: the last port then ends the loop.
void Ws_connection::release_port()
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    if (--live_count)
        return;
    bool ending;
    {
        QMutexLocker lock(&cfg_mutex);
        ending = ws_flags & WS_ENDING;
    }
    if (ending)
        thread.exit(0);
}

// Before the link is connected the window hears of the clients with the servers' next notice.
void Ws_connection::notify_clients()
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    if (connected())
        emit clients_changed();
}

Ws_connection::State Ws_connection::leave_socket_state()
{
    const State old = state;
    if (old != State::reconnect_wait)
        state = State::idle;
    return old;
}

const QString* Ws_connection::awaited_command(int* timeout) const
{
    if (handler == &Ws_connection::auth_answer) {
        *timeout = ws_auth_timeout;
        return &name_AUTH.tr();
    }
    if (handler == &Ws_connection::devlist_answer) {
        *timeout = ws_devlist_timeout;
        return &name_DEVLIST.tr();
    }
    if (handler == &Ws_connection::sdata_answer) {
        *timeout = ws_sdata_timeout;
        return &name_SDATA.tr();
    }
    return nullptr;
}

void Ws_connection::on_connected()
{
    if (state != State::connecting) {
        crash(debug_errtext(0x074F));
        return;
    }
    state = State::awaiting_login;
    // While logins are refused, the refusal alone tells of each try.
    if (!(flags & login_refused))
        log(logtext_connected.tr());
    flags &= static_cast<unsigned char>(~login_refused);
    wait.stop();
    if (flags & shutting_down) {
        socket.close(QWebSocketProtocol::CloseCodeNormal, QString());
        return;
    }
    if (!start_wait(ws_auth_timeout, 0x075D))
        return;
    unsigned char old;
    {
        QMutexLocker lock(&cfg_mutex);
        old = ws_flags;
        ws_flags |= WS_STARTING | WS_SERVERS_PENDING | WS_CLIENTS_PENDING;
        metrics::publish_state();
    }
    notify_servers(old);
    handler = &Ws_connection::auth_answer;
    send_login();
}

void Ws_connection::on_error(QAbstractSocket::SocketError e)
{
    const unsigned char old_flags = flags;
    flags &= static_cast<unsigned char>(~(devlist_requested | error_expected));
    const State old = leave_socket_state();
    const QString code = QString::number(static_cast<int>(e));
    if (old == State::connecting) {
        log_failed_try(QString(errfmt_connecting_error.tr()).arg(code, socket.errorString()));
        socket.abort();
        not_connected();
    } else if (old == State::awaiting_login || old == State::online) {
        int timeout;
        if (const QString* name = awaited_command(&timeout))
            log(QString(errfmt_answer_error.tr()).arg(*name, code, socket.errorString()));
        else if (handler == &Ws_connection::unsolicited_message)
            log(QString(errfmt_connected_error.tr()).arg(code, socket.errorString()));
        else
            log_debug(0x07B5);
        socket.abort();
        end_after_loss(old);
    } else if (!(old_flags & error_expected)) {
        crash(debug_errtext(0x077E));
    }
}

void Ws_connection::on_disconnected()
{
    const unsigned char old_flags = flags;
    flags &= static_cast<unsigned char>(~(devlist_requested | disconnect_expected));
    const State old = leave_socket_state();
    if (old == State::connecting) {
        log_connect_failure();
        not_connected();
    } else if (old == State::awaiting_login || old == State::online) {
        if (!(flags & shutting_down)) {
            int timeout;
            if (const QString* name = awaited_command(&timeout))
                log(QString(errfmt_answer_disconnect.tr()).arg(*name));
            else if (handler == &Ws_connection::unsolicited_message)
                log(errtext_connected_disconnect.tr());
            else
                log_debug(0x0796);
        }
        end_after_loss(old);
    } else if (!(old_flags & disconnect_expected)) {
        crash(debug_errtext(0x071A));
    }
}

// Qt may report a failed attempt by disconnected before error; the error it will bring is
// already known to the socket, and the later signal is then ignored as a late one.
void Ws_connection::log_connect_failure()
{
    const QAbstractSocket::SocketError e = socket.error();
    if (e == QAbstractSocket::UnknownSocketError)
        log_failed_try(errtext_connecting_disconnect.tr());
    else
        log_failed_try(
            QString(errfmt_connecting_error.tr()).arg(QString::number(static_cast<int>(e)), socket.errorString()));
}

// The entry's own text is what the summary counts, so that it names the failures seen most.
void Ws_connection::log_failed_try(const QString& text)
{
    failed_tries.event(text, text);
}

void Ws_connection::end_after_loss(State old)
{
    if (old == State::awaiting_login)
        not_connected();
    else
        rupture();
}

void Ws_connection::timerEvent(QTimerEvent* event)
{
    const int id = event->timerId();
    if (id == 0) {
        log_debug(0x0720);
    } else if (id == devlist_timer.timerId()) {
        if (!(flags & devlist_requested)) {
            flags |= devlist_requested;
            post(devlist_query);
        }
    } else if (id == wait.timerId()) {
        on_wait_timer();
    } else {
        log_debug(0x0721);
        killTimer(id);
    }
}

void Ws_connection::on_wait_timer()
{
    flags &= static_cast<unsigned char>(~devlist_requested);
    const State old = state;
    state = State::idle;
    if (old == State::connecting) {
        log_failed_try(QString(errfmt_connect_timeout.tr()).arg(ws_connect_timeout));
        socket.abort();
        not_connected();
    } else if (old == State::awaiting_login || old == State::online) {
        int timeout;
        if (const QString* name = awaited_command(&timeout))
            log(QString(errfmt_answer_timeout.tr()).arg(*name).arg(timeout));
        else
            log_debug(0x073D);
        socket.abort();
        end_after_loss(old);
    } else if (old == State::reconnect_wait) {
        wait.stop();
        start();
    } else {
        crash(debug_errtext(0x0722));
    }
}

unsigned char Ws_connection::mark_offline()
{
    const unsigned char old = ws_flags;
    ws_flags = static_cast<unsigned char>((ws_flags & ~(WS_STARTING | WS_ONLINE)) | WS_SERVERS_PENDING |
                                          WS_CLIENTS_PENDING);
    return old;
}

void Ws_connection::notify_servers(unsigned char old_ws_flags)
{
    if (!(old_ws_flags & WS_SERVERS_PENDING))
        emit servers_changed();
}

// The ports are taken out under cfg_mutex and retired after it: a retiring port closes sockets.
void Ws_connection::switch_to_offline()
{
    queue.release_all();
    metrics::queue_emptied();
    release_queries(current);
    unsigned char old;
    std::vector<Link_port*> retired;
    {
        QMutexLocker lock(&cfg_mutex);
        old = mark_offline();
        devices_on_lora.clear();
        retired = take_all_ports();
        metrics::publish_state();
    }
    for (Link_port* port : retired)
        port->retire();
    site_routes.clear();
    notify_servers(old);
}

void Ws_connection::rupture()
{
    devlist_timer.stop();
    wait.stop();
    switch_to_offline();
    after_rupture();
}

void Ws_connection::not_connected()
{
    wait.stop();
    unsigned char old;
    {
        QMutexLocker lock(&cfg_mutex);
        old = mark_offline();
    }
    notify_servers(old);
    after_rupture();
}

void Ws_connection::after_rupture()
{
    handler = &Ws_connection::unexpected_message;
    if (flags & shutting_down) {
        release_live();
        return;
    }
    metrics::link_failed();
    if (start_wait(ws_reconnect_delay, 0x075B))
        state = State::reconnect_wait;
}

void Ws_connection::on_shutdown()
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    if (flags & shutting_down)
        return;
    flags |= shutting_down;
    if (connected()) {
        socket.close(QWebSocketProtocol::CloseCodeNormal, QString());
    } else if (state != State::connecting) {
        // No new attempt may start once the program is ending.
        wait.stop();
        state = State::idle;
        release_live();
    }
}

void Ws_connection::crash(const QString& text)
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    log(text);
    flags &= static_cast<unsigned char>(~devlist_requested);
    const State old = state;
    state = State::idle;
    if (old != State::idle && old != State::reconnect_wait)
        socket.abort();
    devlist_timer.stop();
    wait.stop();
    switch_to_offline();
    handler = &Ws_connection::unexpected_message;
    const QString box_text = errtext_fatal.tr();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [box_text] { show_fatal_error_box(box_text); }, Qt::QueuedConnection);
}
