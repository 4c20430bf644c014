// libFuzzer target: the metrics endpoint as the program sets it up, fed any request: its reading of
// the request head and its bounds (metrics/http_endpoint, metrics/http_head), the status page, the
// published link state and counters the scrape reads, and the series of every served modem. So
// each input publishes a state and a set of served modems, sends its bytes as a request and closes
// its side, then scrapes: the endpoint must have closed the fuzzed request, and the scrape must
// show exactly the state published and the series of exactly the modems served.
// Input: the link flags, three counts, a bit per modem of eight served or not; then the request.
#include "core/cfg.h"
#include "core/shared.h"
#include "metrics/metrics.h"
#include "tests/fuzz/fuzz_framing.h"

#include <QMutexLocker>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdlib>
#include <memory>
#include <sys/socket.h>

namespace {

using namespace fuzz_framing;

const int wait_ms = 5000;
const int modems = 8;
quint16 port;
std::unique_ptr<Metrics_endpoint> endpoint;
unsigned served = 0;

quint64 modem_eui(int i)
{
    return 0x0102030405060700ULL + static_cast<quint64>(i);
}

// The value of a series in the scrape; -1 when it is missing.
double value_of(const QByteArray& text, const QString& series)
{
    const QRegularExpression line(QLatin1Char('^') + QRegularExpression::escape(series) + QStringLiteral(" (\\S+)$"),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch found = line.match(QString::fromUtf8(text));
    return found.hasMatch() ? found.captured(1).toDouble() : -1;
}

// Sends the request, closes this side and reads what comes back until the endpoint closes.
bool exchange(const QByteArray& request, QByteArray& reply)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(wait_ms))
        finding("the metrics endpoint took no connection");
    socket.write(request);
    if (!request.isEmpty() && !socket.waitForBytesWritten(wait_ms))
        return false;
    shutdown(static_cast<int>(socket.socketDescriptor()), SHUT_WR);
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(wait_ms))
        reply += socket.readAll();
    reply += socket.readAll();
    return socket.state() != QAbstractSocket::ConnectedState;
}

void publish(quint8 flags, const quint8* counts)
{
    QMutexLocker lock(&cfg_mutex);
    ws_flags = flags;
    devices_in_cfg.clear();
    for (unsigned long i = 0; i < counts[0]; ++i)
        devices_in_cfg.insert(i, Device_in_cfg{51, static_cast<quint16>(4000 + i)});
    tcp_servers.clear();
    for (unsigned long i = 0; i < counts[1]; ++i)
        tcp_servers.insert(i, nullptr);
    clients_number = counts[2];
    metrics::publish_state();
}

void serve_modems(unsigned wanted)
{
    for (int i = 0; i < modems; ++i) {
        if (wanted & 1u << i && !(served & 1u << i))
            metrics::modem_added(modem_eui(i), static_cast<quint16>(5000 + i));
        else if (!(wanted & 1u << i) && served & 1u << i)
            metrics::modem_removed(modem_eui(i));
    }
    served = wanted;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    init(argc, argv);
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
    probe.close();
    metrics_listen = QStringLiteral("127.0.0.1:%1").arg(port);
    endpoint.reset(new Metrics_endpoint);
    if (!endpoint->serving())
        finding("the metrics endpoint did not start");
    // Ended while the application object still lives: left to the static destructors it would end
    // after it, its server and sockets still alive at the exit's leak check.
    atexit([] { endpoint.reset(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const quint8 counts[3] = {static_cast<quint8>(data[1] % 16), static_cast<quint8>(data[2] % 16),
                              static_cast<quint8>(data[3] % 16)};
    publish(data[0], counts);
    serve_modems(data[4]);
    QByteArray reply;
    if (!exchange(QByteArray(reinterpret_cast<const char*>(data + 5), static_cast<int>(size - 5)), reply))
        finding("the metrics endpoint held a request its client had finished");
    if (!reply.isEmpty() && !reply.startsWith("HTTP/"))
        finding("the metrics endpoint answered with no HTTP status line");

    QByteArray scrape;
    if (!exchange("GET /metrics HTTP/1.0\r\n\r\n", scrape) || !scrape.startsWith("HTTP/1.") ||
        !scrape.left(scrape.indexOf('\n')).contains(" 200 "))
        finding("a request spoilt the next scrape");
    const double link = data[0] & WS_ONLINE ? 2 : data[0] & WS_STARTING ? 1 : 0;
    if (value_of(scrape, QStringLiteral("ruvo_bridge_link_state")) != link)
        finding("the scrape shows another link state than the one published");
    static const char* const states[] = {"configured", "available", "in_use"};
    for (int i = 0; i < 3; ++i)
        if (value_of(scrape, QStringLiteral("ruvo_bridge_modems{state=\"%1\"}").arg(QLatin1String(states[i]))) !=
            counts[i])
            finding("the scrape shows other counters than the ones published");
    for (int i = 0; i < modems; ++i) {
        const QByteArray label = "eui=\"" + QByteArray::number(modem_eui(i), 16).rightJustified(16, '0').toUpper() + '"';
        if (scrape.contains(label) != bool(served & 1u << i))
            finding("the scrape shows the series of a modem not served, or lacks a served one's");
    }
    return 0;
}
