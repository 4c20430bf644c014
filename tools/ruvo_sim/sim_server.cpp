// The simulated RUVO-LoRa server: answers the login, device-list and data commands and carries modem traffic.
#include "sim_server.h"

#include "messages.h"
#include "output.h"
#include "uplink.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QWebSocket>

#include <algorithm>

namespace {

const QString cmd_auth = QStringLiteral("auth_req");
const QString cmd_devlist = QStringLiteral("get_device_appdata_req");
const QString cmd_data = QStringLiteral("send_data_req");
constexpr int lora_port_data = 2;
constexpr int abnormal_close = 1006;
constexpr int stop_grace_ms = 1000;

// The answer's name: "auth_req" → "auth_resp"; other names get "_resp" appended.
QString answer_name(const QString& cmd)
{
    return cmd.endsWith(QLatin1String("_req")) ? cmd.left(cmd.size() - 4) + QStringLiteral("_resp")
                                               : cmd + QStringLiteral("_resp");
}

// One element of data_list: a devEui of 16 hex digits, port 2 and hex bytes after the payload type 04.
QString check_data_element(const QJsonObject& element, Data_element& out)
{
    const std::optional<quint64> value = parse_eui(element.value(QStringLiteral("devEui")).toString());
    if (!value)
        return QStringLiteral("devEui must be 16 hexadecimal digits");
    const QJsonValue port = element.value(QStringLiteral("port"));
    if (!port.isDouble() || port.toDouble() != lora_port_data)
        return QStringLiteral("modem data goes on port 2");
    const QString data = element.value(QStringLiteral("data")).toString();
    if (!is_hex_text(data) || data.size() % 2 != 0 || !data.startsWith(QLatin1String("04")))
        return QStringLiteral("data must be hexadecimal bytes beginning with the payload type 04");
    out.eui = *value;
    out.message = QByteArray::fromHex(data.mid(2).toLatin1());
    return QString();
}

// The answer to several elements, spoiled as told; one element is left alone.
QJsonArray spoiled_batch(QJsonArray statuses, Batch_fault fault)
{
    if (statuses.size() < 2)
        return statuses;
    if (fault == Batch_fault::short_answer)
        statuses.removeLast();
    else if (fault == Batch_fault::reordered)
        statuses.insert(1, statuses.takeAt(0));
    return statuses;
}

// The value of a one-shot fault of the modem, if set, which is then spent.
std::optional<int> take_once(QHash<quint64, int>& table, quint64 eui)
{
    const auto found = table.find(eui);
    if (found == table.end())
        return std::nullopt;
    const int value = *found;
    table.erase(found);
    return value;
}

} // namespace

Sim_server::Sim_server(const Sim_settings& settings, QObject* parent)
    : QObject(parent), config(settings),
      server(QStringLiteral("ruvo_sim"), settings.tls ? QWebSocketServer::SecureMode : QWebSocketServer::NonSecureMode)
{
    if (config.tls)
        server.setSslConfiguration(*config.tls);
    connect(&server, &QWebSocketServer::sslErrors, this, &Sim_server::on_server_ssl_errors);
    connect(&server, &QWebSocketServer::newConnection, this, &Sim_server::on_server_new_connection);
    connect(&noise_timer, &QTimer::timeout, this, &Sim_server::on_noise_timer_timeout);
}

bool Sim_server::listen(const QHostAddress& address, quint16 port)
{
    return server.listen(address, port);
}

void Sim_server::set_noise(int period_ms)
{
    if (period_ms > 0)
        noise_timer.start(period_ms);
    else
        noise_timer.stop();
}

void Sim_server::set_modems(const QVector<Modem_desc>& descs)
{
    modems.clear();
    for (const Modem_desc& desc : descs)
        add_modem(desc);
}

void Sim_server::add_modem(const Modem_desc& desc)
{
    const Virtual_device device(desc, config.modbus_registers);
    for (Virtual_device& present : modems)
        if (present.desc().eui == desc.eui) {
            present = device;
            return;
        }
    modems.append(device);
}

bool Sim_server::remove_modem(quint64 eui)
{
    for (int n = 0; n < modems.size(); ++n)
        if (modems[n].desc().eui == eui) {
            modems.remove(n);
            return true;
        }
    return false;
}

Virtual_device* Sim_server::find_modem(quint64 eui)
{
    for (Virtual_device& device : modems)
        if (device.desc().eui == eui)
            return &device;
    return nullptr;
}

quint32 Sim_server::next_fcnt(const QString& eui)
{
    const std::optional<quint64> value = parse_eui(eui);
    Virtual_device* device = value ? find_modem(*value) : nullptr;
    return device ? device->next_fcnt() : stray_fcnt++;
}

Sim_server::Targets Sim_server::all_clients() const
{
    Targets targets;
    for (QWebSocket* socket : clients.keys())
        targets.append(socket);
    return targets;
}

void Sim_server::on_server_new_connection()
{
    while (QWebSocket* socket = server.nextPendingConnection()) {
        clients.insert(socket, false);
        connect(socket, &QWebSocket::textMessageReceived, this, &Sim_server::on_client_text_message);
        connect(socket, &QWebSocket::binaryMessageReceived, this, &Sim_server::on_client_binary_message);
        connect(socket, &QWebSocket::aboutToClose, this, &Sim_server::on_client_about_to_close);
        connect(socket, &QWebSocket::disconnected, this, &Sim_server::on_client_disconnected);
        print_event(QStringLiteral("connected"));
    }
}

void Sim_server::on_server_ssl_errors(const QList<QSslError>& errors)
{
    for (const QSslError& e : errors)
        print_note(QStringLiteral("TLS: ") + e.errorString());
}

void Sim_server::on_client_about_to_close()
{
    closing.insert(qobject_cast<QWebSocket*>(sender()));
}

void Sim_server::on_client_disconnected()
{
    auto* socket = qobject_cast<QWebSocket*>(sender());
    if (!clients.remove(socket))
        return;
    // Without a close handshake the connection simply broke off
    const bool handshake = closing.remove(socket);
    const bool aborted = broken.remove(socket);
    const int code = handshake && !aborted ? int(socket->closeCode()) : abnormal_close;
    print_event(QStringLiteral("disconnected %1").arg(code));
    socket->deleteLater();
    if (stopping && clients.isEmpty())
        emit stopped();
}

bool Sim_server::counts_to_close(QWebSocket* socket)
{
    if (fault_set.close_after == 0 || --fault_set.close_after > 0)
        return false;
    print_note(QStringLiteral("closing the connection as told"));
    if (fault_set.close_by_abort)
        break_off(socket);
    else
        socket->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("closed by the simulator"));
    return true;
}

void Sim_server::on_client_text_message(const QString& text)
{
    auto* socket = qobject_cast<QWebSocket*>(sender());
    print_event("recv", text);
    record_message("recv", text);
    if (!counts_to_close(socket))
        handle_request(socket, text);
}

void Sim_server::on_client_binary_message(const QByteArray& bytes)
{
    auto* socket = qobject_cast<QWebSocket*>(sender());
    const QString hex = QString::fromLatin1(bytes.toHex());
    print_event("recvbin", hex);
    record_message("recvbin", hex);
    if (!counts_to_close(socket))
        print_note(QStringLiteral("a binary message is not part of the protocol; ignored"));
}

void Sim_server::handle_request(QWebSocket* socket, const QString& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (!document.isObject()) {
        print_note(QStringLiteral("not a JSON object (%1); no answer").arg(error.errorString()));
        return;
    }
    const QJsonObject request = document.object();
    const QString cmd = request.value(QStringLiteral("cmd")).toString();
    if (cmd.isEmpty()) {
        print_note(QStringLiteral("a message without \"cmd\"; no answer"));
        return;
    }
    dispatch(socket, cmd, request);
}

void Sim_server::dispatch(QWebSocket* socket, const QString& cmd, const QJsonObject& request)
{
    const auto rejected = fault_set.reject.constFind(cmd);
    if (rejected != fault_set.reject.constEnd())
        answer(socket, cmd, rejection(answer_name(cmd), *rejected));
    else if (cmd == cmd_auth)
        handle_auth(socket, request);
    else if (!clients.value(socket))
        answer(socket, cmd, rejection(answer_name(cmd), QStringLiteral("not logged in")));
    else if (cmd == cmd_devlist)
        answer(socket, cmd, devlist_answer(modems));
    else if (cmd == cmd_data)
        handle_send_data(socket, request);
    else
        answer(socket, cmd, rejection(answer_name(cmd), QStringLiteral("unknown command: ") + cmd));
}

void Sim_server::handle_auth(QWebSocket* socket, const QJsonObject& request)
{
    const QString login = request.value(QStringLiteral("login")).toString();
    const bool accepted = login == config.login
        && request.value(QStringLiteral("password")).toString() == config.password;
    clients.insert(socket, accepted);
    answer(socket, cmd_auth, accepted ? auth_accepted(login)
                                      : rejection(answer_name(cmd_auth), QStringLiteral("Неверный логин или пароль")));
}

QString Sim_server::check_data_list(const QJsonObject& request, QVector<Data_element>& elements)
{
    const QJsonArray list = request.value(QStringLiteral("data_list")).toArray();
    if (list.isEmpty())
        return QStringLiteral("data_list must hold at least one element");
    for (int n = 0; n < list.size(); ++n) {
        Data_element element;
        const QString reason = check_data_element(list[n].toObject(), element);
        if (!reason.isEmpty())
            return QStringLiteral("data_list[%1]: %2").arg(n).arg(reason);
        element.known = find_modem(element.eui) != nullptr;
        elements.append(element);
    }
    return QString();
}

QJsonObject Sim_server::append_status_of(const Data_element& element) const
{
    switch (fault_set.append_status) {
    case Append_fault::refused:
        return append_status_element(eui_text(element.eui), false);
    case Append_fault::wrong_eui:
        return append_status_element(eui_text(element.eui ^ 0xFF), true);
    default:
        return append_status_element(eui_text(element.eui), element.known);
    }
}

QString Sim_server::data_answer(const QVector<Data_element>& elements) const
{
    if (fault_set.append_status == Append_fault::missing)
        return json_text(QJsonObject{{QStringLiteral("cmd"), answer_name(cmd_data)}, {QStringLiteral("status"), true}});
    QJsonArray statuses;
    if (fault_set.append_status != Append_fault::empty)
        for (const Data_element& element : elements)
            statuses.append(append_status_of(element));
    if (fault_set.append_status == Append_fault::two)
        statuses.append(statuses.last());
    return send_data_answer(spoiled_batch(statuses, fault_set.batch_answer));
}

bool Sim_server::answer_spoiled(int elements) const
{
    return fault_set.append_status != Append_fault::none
        || (elements > 1 && fault_set.batch_answer != Batch_fault::none);
}

void Sim_server::handle_send_data(QWebSocket* socket, const QJsonObject& request)
{
    QVector<Data_element> elements;
    const QString reason = check_data_list(request, elements);
    if (!reason.isEmpty()) {
        answer(socket, cmd_data, rejection(answer_name(cmd_data), reason));
        return;
    }
    answer(socket, cmd_data, data_answer(elements));
    if (answer_spoiled(elements.size()))
        return;
    const int delay = fault_set.delay_ms.value(cmd_data, config.answer_delay_ms) + config.radio_delay_ms;
    const QPointer<QWebSocket> requester(socket);
    for (const Data_element& element : elements)
        if (element.known)
            QTimer::singleShot(delay + fault_set.modem_delay_ms.value(element.eui), this,
                               [this, requester, element] { deliver(requester, element.eui, element.message); });
}

void Sim_server::answer(QWebSocket* socket, const QString& cmd, const QString& text)
{
    if (fault_set.no_answer.contains(cmd)) {
        print_note(QStringLiteral("no answer to %1, as told").arg(cmd));
        return;
    }
    const int delay = fault_set.delay_ms.value(cmd, config.answer_delay_ms);
    if (delay <= 0) {
        send_to(socket, text);
        return;
    }
    const QPointer<QWebSocket> target(socket);
    QTimer::singleShot(delay, this, [this, target, text] {
        if (target)
            send_to(target, text);
    });
}

void Sim_server::deliver(const QPointer<QWebSocket>& socket, quint64 eui, const QByteArray& message)
{
    Virtual_device* device = find_modem(eui);
    if (!socket || !device)
        return;
    const std::optional<QByteArray> reply = device->answer(message);
    if (!reply)
        return;
    if (answer_lost(eui)) {
        print_note(QStringLiteral("the answer of %1 is not sent, as told").arg(eui_text(eui)));
        return;
    }
    send_answer(Targets{socket}, eui, lose_packet(eui, cut_uplink(*reply, config.packet_size, fault_set.uplink)));
}

// Counts the modem's answers while lose_every is set; true for every Nth.
bool Sim_server::answer_lost(quint64 eui)
{
    const int every = fault_set.lose_every.value(eui);
    return every > 0 && ++fault_set.answers_counted[eui] % every == 0;
}

// The one-shot loss of a packet of the modem's next answer.
QVector<QByteArray> Sim_server::lose_packet(quint64 eui, QVector<QByteArray> payloads)
{
    const std::optional<int> lost = take_once(fault_set.lose_next, eui);
    if (lost && *lost < payloads.size())
        payloads.remove(*lost);
    return payloads;
}

// The answer's packets, then whatever copies of them the modem's one-shot faults ask for.
void Sim_server::send_answer(const Targets& targets, quint64 eui, const QVector<QByteArray>& payloads)
{
    const QString name = eui_text(eui);
    const QStringList texts = rx_texts(name, payloads);
    const int last_ms = std::max(0, int(texts.size()) - 1) * config.packet_gap_ms;
    send_texts(targets, texts, 0);
    if (const std::optional<int> ms = take_once(fault_set.repeat_next, eui))
        send_texts(targets, texts, *ms);
    if (const std::optional<int> ms = take_once(fault_set.replay_next, eui))
        send_texts(targets, texts, last_ms + *ms);
    if (const std::optional<int> ms = take_once(fault_set.copy_next, eui))
        run_after(last_ms + *ms, [this, targets, name, payloads] { send_payloads_to(targets, name, payloads); });
}

void Sim_server::send_payloads_to(const Targets& targets, const QString& eui, const QVector<QByteArray>& payloads)
{
    send_texts(targets, rx_texts(eui, payloads), 0);
}

QStringList Sim_server::rx_texts(const QString& eui, const QVector<QByteArray>& payloads)
{
    QStringList texts;
    for (const QByteArray& payload : payloads)
        texts.append(rx_message(eui, lora_port_data, QString::fromLatin1(payload.toHex()), next_fcnt(eui)));
    return texts;
}

void Sim_server::send_texts(const Targets& targets, const QStringList& texts, int first_ms)
{
    for (int n = 0; n < texts.size(); ++n)
        run_after(first_ms + n * config.packet_gap_ms, [this, targets, text = texts[n]] {
            for (const QPointer<QWebSocket>& socket : targets)
                if (socket)
                    send_to(socket, text);
        });
}

void Sim_server::run_after(int ms, const std::function<void()>& work)
{
    if (ms > 0)
        QTimer::singleShot(ms, this, work);
    else
        work();
}

void Sim_server::send_to(QWebSocket* socket, const QString& text)
{
    socket->sendTextMessage(text);
    print_event("sent", text);
}

void Sim_server::send_text(const QString& text)
{
    for (QWebSocket* socket : clients.keys())
        send_to(socket, text);
}

void Sim_server::send_binary(const QByteArray& bytes)
{
    for (QWebSocket* socket : clients.keys()) {
        socket->sendBinaryMessage(bytes);
        print_event("sentbin", QString::fromLatin1(bytes.toHex()));
    }
}

void Sim_server::send_rx(const QString& eui, int port, const QString& hex)
{
    send_text(rx_message(eui, port, hex, next_fcnt(eui)));
}

void Sim_server::send_uplink(const QString& eui, const QByteArray& reply, Uplink_fault fault)
{
    send_payloads_to(all_clients(), eui, cut_uplink(reply, config.packet_size, fault));
}

void Sim_server::send_payloads(const QString& eui, const QVector<QByteArray>& payloads)
{
    send_payloads_to(all_clients(), eui, payloads);
}

void Sim_server::close_all()
{
    for (QWebSocket* socket : clients.keys())
        socket->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("closed by the simulator"));
}

void Sim_server::abort_all()
{
    for (QWebSocket* socket : clients.keys())
        break_off(socket);
}

void Sim_server::break_off(QWebSocket* socket)
{
    broken.insert(socket);
    socket->abort();
}

void Sim_server::stop()
{
    stopping = true;
    server.close();
    noise_timer.stop();
    if (clients.isEmpty()) {
        emit stopped();
        return;
    }
    for (QWebSocket* socket : clients.keys())
        socket->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("the simulator stops"));
    QTimer::singleShot(stop_grace_ms, this, &Sim_server::stopped);
}

void Sim_server::on_noise_timer_timeout()
{
    send_text(noise_message(noise_step++, modems));
}
