// Everything the RUVO-LoRa server sends arrives here first: each text message goes to the current
// handler, uplink data to the TCP server of its modem, and any message that cannot be handled
// drops the link.
#include "link/ws_connection.h"

#include "core/cfg.h"
#include "core/shared.h"
#include "common/err.h"
#include "link/ws_fields.h"
#include "link/ws_parser.h"

namespace {

Tr errtext_trash_after_json{TR_TEXT("log",
                                    "после чтения из сообщения сервера RUVO-LoRa корректной структуры JSON в "
                                    "сообщении остались ещё какие-то непонятные символы.")};
Tr errtext_exception_in_frame{TR_TEXT("log", "Не удалось обработать сообщение от сервера RUVO-LoRa.")};
Tr errtext_bad_frame{TR_TEXT("log", "Сообщение сервера RUVO-LoRa, вызвавшее предыдущую ошибку: ")};
Tr errtext_binary_received{TR_TEXT("log",
                                   "Ошибка: от сервера RUVO-LoRa пришло сообщение в двоичном формате (в протоколе "
                                   "есть только текстовые сообщения).")};
Tr errtext_bad_binary_frame{TR_TEXT("log",
                                    "Сообщение сервера RUVO-LoRa, вызвавшее предыдущую ошибку (binary frame): ")};
Tr errfmt_rx_field_absent{TR_TEXT("log", "в сообщении \"rx\" отсутствует обязательное поле \"%1\".")};

const unsigned char rx_fields =
    Ws_common_fields::has_devEui | Ws_common_fields::has_port | Ws_common_fields::has_data;
// Only this LoRa port carries modem data.
const unsigned char modem_port = 2;

void log_binary(const char* prefix, const QByteArray& message)
{
    log_data(prefix, reinterpret_cast<const unsigned char*>(message.constData()),
             static_cast<size_t>(message.size()));
}

}  // namespace

// The whole message is read and the link has done with it before any port hears of it.
void Ws_connection::on_text_message(const QString& message)
{
    if (trace_ws & trace_all)
        log_utf8(QStringLiteral("from(RUVO-LoRa): "), message);
    if (read_message(message)) {
        hand_to_ports();
        return;
    }
    port_events.clear();
    // A refused login is a failed try, its message no fault.
    if ((trace_ws & trace_bad_frames) && !(flags & login_refused))
        log_utf8(errtext_bad_frame.tr(), message);
    drop_after_bad_message();
}

bool Ws_connection::read_message(const QString& message)
{
    try {
        Ws_parser p(message);
        p.skip_blank();
        (this->*handler)(p);
        p.skip_blank();
        if (*p.position)
            throw p.Error(errtext_trash_after_json.tr());
        return true;
    } catch (const Login_refused& refused) {
        log_failed_try(refused.text);
        flags |= login_refused;
    } catch (const std::exception& e) {
        log_exception(e, errtext_exception_in_frame.tr());
    } catch (...) {
        log_debug(0x0711);
    }
    return false;
}

void Ws_connection::on_binary_message(const QByteArray& message)
{
    if (trace_ws & trace_all)
        log_binary("from(RUVO-LoRa), binary frame: ", message);
    log(errtext_binary_received.tr());
    if (trace_ws & trace_bad_frames)
        log_binary(errtext_bad_binary_frame.tr().toUtf8().constData(), message);
    drop_after_bad_message();
}

void Ws_connection::drop_after_bad_message()
{
    // The abort's own socket signals are then taken as expected ones.
    leave_socket_state();
    flags &= static_cast<unsigned char>(~devlist_requested);
    socket.abort();
    rupture();
}

void Ws_connection::unexpected_message(Ws_parser&)
{
    throw Debug(0x079A);
}

void Ws_connection::unsolicited_message(Ws_parser& p)
{
    Ws_common_fields f;
    read_fields(p, f);
    unsolicited(f, p);
}

void Ws_connection::unsolicited(Ws_common_fields& f, Ws_parser& p)
{
    if (!(f.flags & Ws_common_fields::has_cmd) || f.cmd != QLatin1String("rx"))
        return;
    const unsigned char missing = rx_fields & ~f.flags;
    if (missing)
        throw p.Error(QString(errfmt_rx_field_absent.tr()).arg(f.any_field_name(missing)));
    if (f.port != modem_port)
        return;
    if (Link_port* port = port_of(f.devEui))
        port_events.push_back({port, Port_event::uplink, f.data,
                               f.flags & Ws_common_fields::has_fcnt ? std::optional<quint32>(f.fcnt) : std::nullopt});
}
