// ruvo_sim: a stand-in for the RUVO-LoRa server with virtual modems, for tests, demonstrations and commissioning.
#include "control.h"
#include "output.h"
#include "sim_server.h"
#include "stop_signals.h"
#include "tls_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const description =
    "A stand-in for the RUVO-LoRa network server: it takes WebSocket clients, answers auth_req,\n"
    "get_device_appdata_req and send_data_req, passes each accepted message (the bytes after the payload\n"
    "type 04) to the virtual device behind the modem after the radio delay, and sends the device's answer\n"
    "back as \"rx\" messages of type-3 packets. Virtual devices: echo (answers the same bytes), modbus\n"
    "(a Modbus RTU slave, address 1 or ADDR, functions 03, 04, 06, 16 over a block of registers where holding\n"
    "register N starts at N and input register N at 1000 + N; a bad CRC or another address gets no answer),\n"
    "silent (never answers). Several clients may connect; each is served alike and gets the answers to\n"
    "its own commands. Commands other than auth_req need a successful login on the same connection.\n"
    "Example:\n"
    "  ruvo_sim --listen 127.0.0.1:8002 --login demo --password demo \\\n"
    "           --modem 0102030405060701:echo:\"Счётчик 1\" --modem 0102030405060702:modbus@17";

[[noreturn]] void fail(const QString& reason)
{
    print_note(reason);
    std::exit(2);
}

int number_option(const QCommandLineParser& parser, const QString& name, int low, int high)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < low || value > high)
        fail(QStringLiteral("--%1 takes %2 to %3").arg(name).arg(low).arg(high));
    return value;
}

void parse_listen(const QString& text, QHostAddress& address, quint16& port)
{
    const int colon = text.lastIndexOf(':');
    QString host = text.left(colon);
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (host == QLatin1String("localhost"))
        address = QHostAddress::LocalHost;
    else if (host == QLatin1String("*"))
        address = QHostAddress::Any;
    else
        address = QHostAddress(host);
    if (colon < 0 || !ok || number > 0xFFFF || address.isNull())
        fail(QStringLiteral("--listen takes ADDRESS:PORT, for example 127.0.0.1:8002: ") + text);
    port = quint16(number);
}

QVector<Modem_desc> modem_options(const QCommandLineParser& parser)
{
    QVector<Modem_desc> modems;
    for (const QString& text : parser.values(QStringLiteral("modem"))) {
        QString reason;
        const std::optional<Modem_desc> desc = parse_modem_desc(text, reason);
        if (!desc)
            fail(QStringLiteral("--modem: ") + reason);
        modems.append(*desc);
    }
    return modems;
}

std::optional<QSslConfiguration> tls_option(const QCommandLineParser& parser)
{
    const QString cert = parser.value(QStringLiteral("tls-cert"));
    const QString key = parser.value(QStringLiteral("tls-key"));
    const QString client_ca = parser.value(QStringLiteral("tls-client-ca"));
    if (cert.isEmpty() != key.isEmpty() || (cert.isEmpty() && !client_ca.isEmpty()))
        fail(QStringLiteral("--tls-cert and --tls-key go together, and --tls-client-ca needs them"));
    if (cert.isEmpty())
        return std::nullopt;
    QString reason;
    const std::optional<QSslConfiguration> tls = server_tls(cert, key, client_ca, reason);
    if (!tls)
        fail(reason);
    return tls;
}

Sim_settings settings_options(const QCommandLineParser& parser)
{
    constexpr int max_ms = 3600000;
    Sim_settings settings;
    settings.login = parser.value(QStringLiteral("login"));
    settings.password = parser.value(QStringLiteral("password"));
    settings.radio_delay_ms = number_option(parser, QStringLiteral("radio-delay"), 0, max_ms);
    settings.packet_size = number_option(parser, QStringLiteral("packet-size"), 1, 255);
    settings.packet_gap_ms = number_option(parser, QStringLiteral("packet-gap"), 0, max_ms);
    settings.answer_delay_ms = number_option(parser, QStringLiteral("answer-delay"), 0, max_ms);
    settings.modbus_registers = number_option(parser, QStringLiteral("modbus-registers"), 1, 65536);
    settings.tls = tls_option(parser);
    return settings;
}

void add_options(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and the control commands.")},
        {QStringLiteral("listen"), QStringLiteral("Address and port to listen on; port 0 picks a free one (default 127.0.0.1:8002)."),
         QStringLiteral("ADDR:PORT"), QStringLiteral("127.0.0.1:8002")},
        {QStringLiteral("login"), QStringLiteral("The login that auth_req must carry (default demo)."), QStringLiteral("L"),
         QStringLiteral("demo")},
        {QStringLiteral("password"), QStringLiteral("The password that auth_req must carry (default demo)."), QStringLiteral("P"),
         QStringLiteral("demo")},
        {QStringLiteral("modem"),
         QStringLiteral("A virtual modem (repeatable): EUI of 16 hex digits, KIND echo | modbus | modbus@ADDR | silent, "
                        "and an optional name (it may hold colons); a modem without a name has no devName."),
         QStringLiteral("EUI:KIND[:NAME]")},
        {QStringLiteral("radio-delay"), QStringLiteral("From an accepted send_data_req to the device's answer (default 200)."),
         QStringLiteral("MS"), QStringLiteral("200")},
        {QStringLiteral("packet-size"), QStringLiteral("Data bytes per uplink packet, 1 to 255 (default 45)."), QStringLiteral("N"),
         QStringLiteral("45")},
        {QStringLiteral("packet-gap"), QStringLiteral("Pause between the uplink packets of one answer (default 0)."),
         QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("answer-delay"), QStringLiteral("Pause before every answer, as a busy server (default 0)."),
         QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("noise"),
         QStringLiteral("Every MS ms send unsolicited noise (other cmds, rx on other ports, rx for unknown modems); "
                        "0 = off (default)."),
         QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("modbus-registers"), QStringLiteral("Registers in each block of a Modbus slave (default 100)."),
         QStringLiteral("N"), QStringLiteral("100")},
        {QStringLiteral("fault"), QStringLiteral("A control command (below) applied at start; repeatable."),
         QStringLiteral("COMMAND")},
        {QStringLiteral("record"), QStringLiteral("Also write every received message to FILE, one a line."),
         QStringLiteral("FILE")},
        {QStringLiteral("tls-cert"), QStringLiteral("Serve wss:// with this PEM certificate (chain); needs --tls-key."),
         QStringLiteral("FILE")},
        {QStringLiteral("tls-key"), QStringLiteral("The unencrypted PEM private key of --tls-cert."), QStringLiteral("FILE")},
        {QStringLiteral("tls-client-ca"),
         QStringLiteral("Demand a client certificate issued by a CA of this PEM file (with --tls-cert)."),
         QStringLiteral("FILE")},
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ruvo_sim"));
    QCommandLineParser parser;
    add_options(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs((parser.helpText() + Control::commands_help()).toUtf8().constData(), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument: ") + parser.positionalArguments().first());

    QHostAddress address;
    quint16 port = 0;
    parse_listen(parser.value(QStringLiteral("listen")), address, port);
    Sim_server server(settings_options(parser));
    server.set_modems(modem_options(parser));
    server.set_noise(number_option(parser, QStringLiteral("noise"), 0, 3600000));
    Control control(server);
    for (const QString& fault : parser.values(QStringLiteral("fault"))) {
        const QString reason = control.run(fault);
        if (!reason.isEmpty())
            fail(QStringLiteral("--fault %1: %2").arg(fault, reason));
    }
    const QString record = parser.value(QStringLiteral("record"));
    if (!record.isEmpty() && !open_record(record))
        fail(QStringLiteral("cannot write the record file ") + record);
    if (!server.listen(address, port))
        fail(QStringLiteral("cannot listen on %1: %2").arg(parser.value(QStringLiteral("listen")), server.listen_error()));

    print_event(QStringLiteral("listening %1").arg(server.port()));
    Stop_signals stop_signals;
    QObject::connect(&stop_signals, &Stop_signals::stop_requested, &server, &Sim_server::stop);
    QObject::connect(&control, &Control::quit_requested, &server, &Sim_server::stop);
    QObject::connect(&server, &Sim_server::stopped, &app, &QCoreApplication::quit);
    control.read_stdin();
    return app.exec();
}
