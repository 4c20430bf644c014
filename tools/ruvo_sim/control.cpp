// Control commands: faults, unsolicited messages, uplinks, the list of modems, settings, closing and quitting.
#include "control.h"

#include "messages.h"
#include "output.h"
#include "sim_server.h"

#include <QSocketNotifier>

#include <cerrno>
#include <functional>

#include <unistd.h>

namespace {

constexpr int nested_default = 1000;
constexpr int stdin_chunk = 4096;
constexpr int max_ms = 3600000;

const QString errtext_eui = QStringLiteral("an EUI is 16 hexadecimal digits");
const QString errtext_hex = QStringLiteral("bytes are an even number of hexadecimal digits");

std::optional<QByteArray> parse_hex_bytes(const QString& text)
{
    if (!is_hex_text(text) || text.size() % 2 != 0)
        return std::nullopt;
    return QByteArray::fromHex(text.toLatin1());
}

std::optional<int> parse_count(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

Control::Control(Sim_server& sim, QObject* parent) : QObject(parent), server(sim)
{
    handlers = {
        {QStringLiteral("clear"), &Control::cmd_clear},
        {QStringLiteral("fault"), &Control::cmd_fault},
        {QStringLiteral("send"), &Control::cmd_send},
        {QStringLiteral("sendbin"), &Control::cmd_sendbin},
        {QStringLiteral("send_malformed"), &Control::cmd_send_malformed},
        {QStringLiteral("send_trailing"), &Control::cmd_send_trailing},
        {QStringLiteral("send_duplicate"), &Control::cmd_send_duplicate},
        {QStringLiteral("send_nested"), &Control::cmd_send_nested},
        {QStringLiteral("rx"), &Control::cmd_rx},
        {QStringLiteral("uplink"), &Control::cmd_uplink},
        {QStringLiteral("uplink_bad"), &Control::cmd_uplink_bad},
        {QStringLiteral("packets"), &Control::cmd_packets},
        {QStringLiteral("modems"), &Control::cmd_modems},
        {QStringLiteral("add_modem"), &Control::cmd_add_modem},
        {QStringLiteral("remove_modem"), &Control::cmd_remove_modem},
        {QStringLiteral("set"), &Control::cmd_set},
        {QStringLiteral("close"), &Control::cmd_close},
        {QStringLiteral("abort"), &Control::cmd_abort},
        {QStringLiteral("quit"), &Control::cmd_quit},
    };
}

QString Control::run(const QString& line)
{
    const Command_words command(line);
    const auto handler = handlers.constFind(command.word(0));
    if (handler == handlers.constEnd())
        return QStringLiteral("unknown command: ") + command.word(0);
    return (this->**handler)(command);
}

void Control::read_stdin()
{
    stdin_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(stdin_notifier, &QSocketNotifier::activated, this, &Control::on_stdin_activated);
}

void Control::on_stdin_activated()
{
    char chunk[stdin_chunk];
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got > 0)
        stdin_pending.append(chunk, int(got));
    for (int end = stdin_pending.indexOf('\n'); end >= 0; end = stdin_pending.indexOf('\n')) {
        const QByteArray line = stdin_pending.left(end);
        stdin_pending.remove(0, end + 1);
        run_stdin_line(line);
    }
    if (got > 0)
        return;
    // End of the commands: whoever drives us has let go, but clients may still be served
    stdin_notifier->setEnabled(false);
    if (!stdin_pending.isEmpty())
        run_stdin_line(stdin_pending);
    stdin_pending.clear();
    print_note(QStringLiteral("standard input has ended; serving on until SIGTERM or SIGINT"));
}

void Control::run_stdin_line(const QByteArray& bytes)
{
    QString line = QString::fromUtf8(bytes);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.trimmed().isEmpty() || line.trimmed().startsWith('#'))
        return;
    const QString reason = run(line);
    print_event(reason.isEmpty() ? QStringLiteral("ok") : QStringLiteral("error ") + reason);
}

QString Control::cmd_clear(const Command_words&)
{
    server.faults() = Faults();
    return QString();
}

QString Control::cmd_fault(const Command_words& c)
{
    return apply_fault(server.faults(), c);
}

QString Control::cmd_send(const Command_words& c)
{
    server.send_text(c.rest(1));
    return QString();
}

QString Control::cmd_sendbin(const Command_words& c)
{
    const std::optional<QByteArray> bytes = parse_hex_bytes(c.word(1));
    if (!bytes)
        return errtext_hex;
    server.send_binary(*bytes);
    return QString();
}

QString Control::cmd_send_malformed(const Command_words&)
{
    server.send_text(malformed_message());
    return QString();
}

QString Control::cmd_send_trailing(const Command_words& c)
{
    const QString tail = c.rest(1);
    server.send_text(trailing_message(tail.isEmpty() ? QStringLiteral("x") : tail));
    return QString();
}

QString Control::cmd_send_duplicate(const Command_words&)
{
    server.send_text(duplicate_field_message());
    return QString();
}

QString Control::cmd_send_nested(const Command_words& c)
{
    const std::optional<int> depth = c.count() > 1 ? parse_count(c.word(1), 1, 10000000) : nested_default;
    if (!depth)
        return QStringLiteral("a depth of 1 to 10000000 is needed");
    server.send_text(nested_message(*depth));
    return QString();
}

QString Control::cmd_rx(const Command_words& c)
{
    const std::optional<int> port = parse_count(c.word(2), 0, 0xFFFF);
    if (!parse_eui(c.word(1)))
        return errtext_eui;
    if (!port)
        return QStringLiteral("a port number is needed");
    if (!is_hex_text(c.word(3)))
        return QStringLiteral("data are hexadecimal digits");
    server.send_rx(c.word(1), *port, c.word(3));
    return QString();
}

QString Control::cmd_uplink(const Command_words& c)
{
    const std::optional<QByteArray> bytes = parse_hex_bytes(c.word(2));
    if (!parse_eui(c.word(1)))
        return errtext_eui;
    if (!bytes)
        return errtext_hex;
    server.send_uplink(c.word(1), *bytes, Uplink_fault::none);
    return QString();
}

QString Control::cmd_uplink_bad(const Command_words& c)
{
    const std::optional<QByteArray> bytes = parse_hex_bytes(c.word(2));
    const std::optional<Uplink_fault> fault = parse_uplink_fault(c.word(3));
    if (!parse_eui(c.word(1)))
        return errtext_eui;
    if (!bytes)
        return errtext_hex;
    if (!fault)
        return QStringLiteral("the fault is out_of_order, size, total or packets");
    server.send_uplink(c.word(1), *bytes, *fault);
    return QString();
}

QString Control::cmd_packets(const Command_words& c)
{
    if (!parse_eui(c.word(1)))
        return errtext_eui;
    QVector<QByteArray> payloads;
    for (int n = 2; n < c.count(); ++n) {
        const std::optional<QByteArray> bytes = parse_hex_bytes(c.word(n));
        if (!bytes)
            return errtext_hex;
        payloads.append(*bytes);
    }
    server.send_payloads(c.word(1), payloads);
    return QString();
}

QString Control::cmd_modems(const Command_words& c)
{
    QString reason;
    const std::optional<QVector<Modem_desc>> list = parse_modem_list(c.rest(1), reason);
    if (list)
        server.set_modems(*list);
    return reason;
}

QString Control::cmd_add_modem(const Command_words& c)
{
    QString reason;
    const std::optional<Modem_desc> desc = parse_modem_desc(c.rest(1), reason);
    if (desc)
        server.add_modem(*desc);
    return reason;
}

QString Control::cmd_remove_modem(const Command_words& c)
{
    const std::optional<quint64> eui = parse_eui(c.word(1));
    if (!eui)
        return errtext_eui;
    return server.remove_modem(*eui) ? QString() : QStringLiteral("no such modem");
}

QString Control::cmd_set(const Command_words& c)
{
    Sim_settings& s = server.settings();
    const QString name = c.word(1);
    if (name == QLatin1String("login") || name == QLatin1String("password")) {
        (name == QLatin1String("login") ? s.login : s.password) = c.rest(2);
        return QString();
    }
    struct Number {
        int low;
        int high;
        std::function<void(int)> apply;
    };
    const QHash<QString, Number> numbers = {
        {QStringLiteral("radio_delay"), {0, max_ms, [&s](int v) { s.radio_delay_ms = v; }}},
        {QStringLiteral("packet_size"), {1, 255, [&s](int v) { s.packet_size = v; }}},
        {QStringLiteral("packet_gap"), {0, max_ms, [&s](int v) { s.packet_gap_ms = v; }}},
        {QStringLiteral("answer_delay"), {0, max_ms, [&s](int v) { s.answer_delay_ms = v; }}},
        {QStringLiteral("noise"), {0, max_ms, [this](int v) { server.set_noise(v); }}},
    };
    const auto number = numbers.constFind(name);
    if (number == numbers.constEnd())
        return QStringLiteral("set takes radio_delay, packet_size, packet_gap, answer_delay, noise, login or password");
    const std::optional<int> value = parse_count(c.word(2), number->low, number->high);
    if (!value)
        return QStringLiteral("%1 is %2 to %3").arg(name).arg(number->low).arg(number->high);
    number->apply(*value);
    return QString();
}

QString Control::cmd_close(const Command_words&)
{
    server.close_all();
    return QString();
}

QString Control::cmd_abort(const Command_words&)
{
    server.abort_all();
    return QString();
}

QString Control::cmd_quit(const Command_words&)
{
    emit quit_requested();
    return QString();
}

QString Control::commands_help()
{
    return QStringLiteral(R"(
Standard output, one line per event, flushed at once:
  listening PORT          first line, once the server listens
  connected               a WebSocket client connected
  disconnected CODE       a client went away (its close code; 1006 when the connection broke off)
  recv TEXT               every text message received, exactly as received (newlines written as \n)
  recvbin HEX             every binary message received
  sent TEXT               every text message sent (newlines written as \n)
  sentbin HEX             every binary message sent
  ok | error REASON       the answer to each control command read from standard input
Notes for people (not part of the line protocol) go to standard error.

Control commands, one per line on standard input, also accepted by --fault
(blank lines and lines starting with # are skipped; the end of standard input is not the end of the service):
  clear                                   drop all faults
  fault close_after N                     close the connection that brings the Nth next message (normal close),
                                          without answering that message; fires once
  fault abort_after N                     the same, but the connection is broken off (no close handshake)
  fault no_answer CMD                     never answer CMD (auth_req | get_device_appdata_req | send_data_req)
  fault delay CMD MS                      answer CMD after MS ms
  fault reject_login [ERR_STRING]         auth_resp with status false (and err_string if given)
  fault reject CMD [ERR_STRING]           answer CMD with status false (and err_string if given)
  fault append_status MODE                every send_data_resp from now on: false (status false), wrong_eui,
                                          two (two elements), empty (empty array), missing (no field), none;
                                          while a mode is set, the data do not reach the device
  fault batch_answer MODE                 every send_data_resp to a command of several elements: short (the last
                                          element left out), reordered (the first two swapped), none; such a
                                          command's data do not reach the devices; one element is answered as usual
  fault uplink_bad MODE                   spoil the packets of every device answer: out_of_order, size, total,
                                          packets (see uplink_bad below), none
  fault modem_delay EUI MS                the device behind EUI takes MS ms more to answer; 0 ends it
  fault repeat_next EUI [MS]              every packet of that modem's next answer comes again MS ms later
  fault lose_next EUI N                   packet N (from 0) of that modem's next answer is not sent
  fault copy_next EUI MS                  that modem's next answer comes again MS ms after its last packet, as new
                                          uplinks (the next fcnt values)
  fault replay_next EUI [MS]              all packets of that modem's next answer come again, in order, MS ms after
                                          its last one, with the same fcnt values
  fault lose_every EUI N                  every Nth answer of that modem from now on is not sent; 0 ends it
  send TEXT                               send TEXT (the rest of the line, as it is) to every client
  sendbin HEX                             send a binary message to every client
  send_malformed                          send a message whose JSON breaks off inside a string
  send_trailing [TEXT]                    send a valid JSON object followed by TEXT (default x)
  send_duplicate                          send an object that has the field "cmd" twice
  send_nested [N]                         send an object with a value nested N levels deep (default 1000)
  rx EUI PORT [HEX]                       send {"cmd":"rx","devEui":EUI,"port":PORT,"data":HEX,...}; EUI and HEX
                                          are sent as written (any case; HEX may be empty or odd)
  uplink EUI HEX                          the device behind EUI answers HEX: cut into type-3 packets as usual
  uplink_bad EUI HEX MODE                 the same with a fault: out_of_order (the last two packets swapped; a lone
                                          packet is numbered 1), size (the last packet's data size is one more),
                                          total (the last packet's total size is one more), packets (the last
                                          packet's number of packets is one more)
  packets EUI HEX...                      send the given raw payloads as rx messages on port 2, in order
  modems EUI:KIND[:NAME],...              replace the list of virtual modems (an empty list is allowed)
  add_modem EUI:KIND[:NAME]               add a modem (or replace the one with that EUI)
  remove_modem EUI                        remove a modem
  set radio_delay|packet_size|packet_gap|answer_delay|noise VALUE    change a setting of the command line
  set login|password TEXT                 change the accepted login or password
  close                                   close all client connections (normal close)
  abort                                   break off all client connections
  quit                                    close all connections and end
Uplink packets of the modems (type 3): type u8 = 3, total size u16 little-endian, size of this packet's data u8,
packet number u8 from 0, total packets u8, then the data.
)");
}
