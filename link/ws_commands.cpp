// The commands to the RUVO-LoRa server: the one-at-a-time queue, the login, the device-list request
// and the data command, and the checks on the login and data answers.
#include "link/ws_connection.h"

#include "core/cfg.h"
#include "common/err.h"
#include "common/hex.h"
#include "link/ws_fields.h"
#include "link/ws_parser.h"
#include "metrics/metrics.h"
#include "tcp/frame.h"

namespace {

Tr errtext_sdata_lacks_append_status{TR_TEXT(
    "log", "Ответ сервера RUVO-LoRa \"send_data_resp\" неправильный: в нём отсутствует обязательное поле "
           "\"append_status\".")};
Tr errfmt_sdata_mismatch{TR_TEXT("log",
                                 "неправильный ответ на нашу команду \"send_data_req\": посылали команду "
                                 "устройству с EUI=0x%1, а пришёл \"send_data_resp\" про устройство с EUI=0x%2.")};
Tr errtext_append_status_empty{TR_TEXT("log",
                                       "неправильное поле \"append_status\": посылали одну команду, но в массиве "
                                       "нет ни одного ответа.")};
Tr errtext_append_status_too_many{TR_TEXT("log",
                                          "неправильное поле \"append_status\": посылали одну команду, но в "
                                          "массиве указано два или более ответов.")};
// The same faults of an answer to a command that carried the frames of several modems.
Tr errfmt_append_status_short{TR_TEXT("log",
                                      "неправильное поле \"append_status\": посылали данные сразу нескольким "
                                      "устройствам (элементов в \"data_list\": %1), а ответов в массиве меньше "
                                      "(%2).")};
Tr errfmt_append_status_extra{TR_TEXT("log",
                                      "неправильное поле \"append_status\": посылали данные сразу нескольким "
                                      "устройствам (элементов в \"data_list\": %1), а ответов в массиве больше.")};
Tr errtext_append_status_lacks_eui{TR_TEXT("log",
                                           "в структуре \"append_status\" отсутствует обязательное поле \"devEui\".")};
Tr errtext_append_status_lacks_status{TR_TEXT(
    "log", "в структуре \"append_status\" отсутствует обязательное поле \"status\".")};

const char template_login[] = "{\"cmd\":\"auth_req\",\"login\":\"%1\",\"password\":\"%2\"}";
// What the trace shows in place of the password.
const char hidden_password[] = "***";
const char template_devlist[] = "{\"cmd\":\"get_device_appdata_req\",\"keyword\":\"no_attributes\"}";

// Configuration strings are printable, so the quote and the backslash are all that JSON needs escaped.
QString json_escaped(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
}

// Fewer elements in append_status than frames sent.
QString short_answer_text(int sent, int answered)
{
    if (sent == 1)
        return errtext_append_status_empty.tr();
    return QString(errfmt_append_status_short.tr()).arg(sent).arg(answered);
}

QString extra_answer_text(int sent)
{
    if (sent == 1)
        return errtext_append_status_too_many.tr();
    return QString(errfmt_append_status_extra.tr()).arg(sent);
}

// One element of append_status: its devEui, and its status in status.
quint64 parse_append_element(Ws_parser& p, bool& status)
{
    p.req_sym('{');
    bool has_eui = false;
    bool has_status = false;
    quint64 eui = 0;
    if (p.json_first_field())
        do
            if (p.json_field("devEui", has_eui))
                eui = p.req_json_eui();
            else if (p.json_field("status", has_status))
                status = p.req_json_bool();
            else
                p.skip_json_field();
        while (p.json_next_field());
    if (!has_eui)
        throw p.Error(errtext_append_status_lacks_eui.tr());
    if (!has_status)
        throw p.Error(errtext_append_status_lacks_status.tr());
    return eui;
}

// The element's EUI must be that of its frame; a frame sent alone whose client has gone is not
// compared, as nobody would hear of its status anyway.
void check_answer_eui(Ws_parser& p, const Query* q, quint64 eui, bool batch)
{
    if (!q || (!batch && !q->requester))
        return;
    const quint64 sent = static_cast<const Frame*>(q)->eui;
    if (eui == sent)
        return;
    const QString sent_text = buf_hex64_engine.set(sent);
    throw p.Error(QString(errfmt_sdata_mismatch.tr()).arg(sent_text, buf_hex64_engine.set(eui)));
}

}  // namespace

void Ws_connection::post_frame(Frame& frame)
{
    frame.send = &Ws_connection::send_sdata;
    frame.not_send = &Ws_connection::not_send_sdata;
    post(frame);
}

void Ws_connection::post(Query& q)
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    if (current) {
        queue.push(q);
        metrics::queued(1);
        return;
    }
    send_current(&q);
}

bool Ws_connection::has_room(const Link_port& port) const
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    return queue.count(&port) < max_queued_per_port;
}

void Ws_connection::next()
{
    metrics::answer_accepted();
    Query* q = queue.pop();
    if (!q) {
        current = nullptr;
        handler = &Ws_connection::unsolicited_message;
        return;
    }
    metrics::queued(-1);
    send_current(q);
}

void Ws_connection::send_current(Query* q)
{
    q->next = nullptr;
    current = q;
    q->send(q, *this);
}

int Ws_connection::take_back(const Link_port& port)
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    const int unsent = queue.cancel(&port);
    metrics::queued(-unsent);
    forget_port(port);
    return unsent;
}

void Ws_connection::anonymize(const Link_port& port)
{
    Q_ASSERT(QThread::currentThread() == QObject::thread());
    queue.disown(&port);
    forget_port(port);
}

void Ws_connection::forget_port(const Link_port& port)
{
    for (Query* q = current; q; q = q->next)
        if (q->requester == &port)
            q->requester = nullptr;
    for (Port_event& e : port_events)
        if (e.port == &port)
            e.port = nullptr;
}

Query* Ws_connection::end_command()
{
    wait.stop();
    Query* const done = current;
    current = nullptr;
    return done;
}

// A port told may retire another port, which is then forgotten here: each event is read afresh.
void Ws_connection::hand_to_ports()
{
    for (size_t i = 0; i < port_events.size(); ++i) {
        Link_port* const port = port_events[i].port;
        if (!port)
            continue;
        switch (port_events[i].kind) {
        case Port_event::accepted:
            port->frame_accepted();
            break;
        case Port_event::refused:
            port->frame_refused();
            break;
        case Port_event::uplink: {
            QByteArray data = std::move(port_events[i].data);
            port->uplink_packet(data, port_events[i].fcnt);
            break;
        }
        }
    }
    port_events.clear();
}

void Ws_connection::send_login()
{
    const QString login = json_escaped(ws_login);
    const QString text = QString::fromLatin1(template_login);
    send(text.arg(login, json_escaped(ws_password_hash)), text.arg(login, QLatin1String(hidden_password)));
}

void Ws_connection::send_devlist_req(Query*, Ws_connection& connection)
{
    if (!connection.start_wait(ws_devlist_timeout, 0x078D))
        return;
    connection.handler = &Ws_connection::devlist_answer;
    connection.send(QString::fromLatin1(template_devlist));
    metrics::command_sent();
}

void Ws_connection::not_send_devlist_req(Query*) {}

void Ws_connection::send_sdata(Query* q, Ws_connection& connection)
{
    Frame* first = static_cast<Frame*>(q);
    gather_batch(*first, connection.queue, ws_batch_max);
    metrics::queued(1 - batch_size(first));
    for (Query* f = first; f; f = f->next)
        metrics::frame_sent(static_cast<Frame*>(f)->eui, static_cast<Frame*>(f)->size);
    const QString text = QString::fromLatin1(sdata_command(*first));
    if (!connection.start_wait(ws_sdata_timeout, 0x07D6))
        return;
    connection.handler = &Ws_connection::sdata_answer;
    connection.send(text);
}

void Ws_connection::not_send_sdata(Query* q)
{
    Frame::free(static_cast<Frame*>(q));
}

void Ws_connection::read_fields(Ws_parser& p, Ws_common_fields& f)
{
    p.req_sym('{');
    if (p.json_first_field())
        do
            f.field(p);
        while (p.json_next_field());
}

void Ws_connection::auth_answer(Ws_parser& p)
{
    Ws_common_fields f;
    read_fields(p, f);
    const QString name = QStringLiteral("auth_resp");
    if (f.is_refusal(name))
        throw Login_refused{f.refusal(name)};
    if (!f.is_resp(p, name))
        return;
    state = State::online;
    wait.stop();
    devlist_timer.start(ws_devlist_period, Qt::CoarseTimer, this);
    if (!devlist_timer.isActive()) {
        crash(debug_errtext(0x07BE));
        return;
    }
    // The first request goes outside the queue; marked as awaited, it keeps the periodic timer
    // from sending a second one before its answer when the period is shorter than the wait.
    flags |= devlist_requested;
    send_devlist_req(&devlist_query, *this);
}

void Ws_connection::sdata_answer(Ws_parser& p)
{
    p.req_sym('{');
    Ws_common_fields f;
    bool has_append_status = false;
    Batch_status appended;
    if (p.json_first_field())
        do
            if (p.json_field("append_status", has_append_status))
                appended = parse_append_status(p);
            else
                f.field(p);
        while (p.json_next_field());
    if (!f.is_resp(p, QStringLiteral("send_data_resp"))) {
        unsolicited(f, p);
        return;
    }
    if (!has_append_status)
        throw p.Error(errtext_sdata_lacks_append_status.tr());
    Query* sent = end_command();
    for (size_t i = 0; sent; ++i) {
        Frame* frame = static_cast<Frame*>(sent);
        sent = frame->next;
        metrics::frame_answered(frame->eui, appended[i]);
        // The port hears of its frame once the link has gone on to its next command.
        if (frame->requester)
            port_events.push_back({frame->requester, appended[i] ? Port_event::accepted : Port_event::refused, {}, {}});
        Frame::free(frame);
    }
    next();
}

// One element for every frame sent, in the order sent; bit i of the result is the status of the
// i-th frame.
Batch_status Ws_connection::parse_append_status(Ws_parser& p)
{
    const int sent = batch_size(current);
    p.req_sym('[');
    if (!p.json_first_item())
        throw p.Error(short_answer_text(sent, 0));
    Batch_status statuses;
    int answered = 0;
    for (const Query* q = current;; q = q->next) {
        bool status = false;
        const quint64 eui = parse_append_element(p, status);
        statuses[static_cast<size_t>(answered++)] = status;
        const bool more = p.json_next_item();
        if (more && answered >= sent)
            throw p.Error(extra_answer_text(sent));
        check_answer_eui(p, q, eui, sent > 1);
        if (!more) {
            if (answered < sent)
                throw p.Error(short_answer_text(sent, answered));
            return statuses;
        }
    }
}
