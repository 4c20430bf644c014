// Cost of reading server messages with the in-place JSON scanner against QJsonDocument:
// one "rx" message and a device list of 10,000 modems, the same fields taken from both.
#include "link/ws_fields.h"
#include "link/ws_parser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVector>
#include <cstdio>
#include <functional>

namespace {

struct Modem {
    quint64 eui = 0;
    QString name;
};

// What each reader hands back, folded into one number so that no work is optimised away.
quint64 sink = 0;

const int modems = 10000;

QString rx_message()
{
    return QStringLiteral(
        "{\"cmd\":\"rx\",\"devEui\":\"70B3D59BA0001A2F\",\"appEui\":\"70B3D59BA0000001\","
        "\"ack\":false,\"fcnt\":1234,\"port\":2,\"encdata\":\"\","
        "\"data\":\"0301000a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20212223242526272829\","
        "\"dr\":\"SF7 BW125 4/5\",\"freq\":868100000,\"rssi\":-97,\"snr\":7.25,"
        "\"gatewayInfo\":[{\"gatewayId\":\"00800000A0001234\",\"rssi\":-97,\"snr\":7.25,"
        "\"ts\":1700000000000,\"gps\":{\"lat\":55.75,\"lon\":37.61,\"alt\":156}}],"
        "\"ts\":1700000000000,\"type\":\"CONF_UP\",\"bat\":255}");
}

QString devlist_message()
{
    QString text = QStringLiteral(
        "{\"cmd\":\"get_device_appdata_resp\",\"status\":true,\"devices_list\":[");
    for (int i = 0; i < modems; ++i) {
        if (i)
            text += QLatin1Char(',');
        text += QStringLiteral(
                    "{\"devEui\":\"%1\",\"devName\":\"Счётчик воды №%2\",\"appEui\":"
                    "\"70B3D59BA0000001\",\"class\":\"C\",\"lastJoinTs\":1700000000000,"
                    "\"attributes\":{\"floor\":3,\"tags\":[\"water\",\"north\"]}}")
                    .arg(Q_UINT64_C(0x70B3D59BA0000000) + quint64(i), 16, 16, QLatin1Char('0'))
                    .arg(i);
    }
    return text + QStringLiteral("]}");
}

void scan_rx(const QString& message)
{
    Ws_parser p(message);
    p.skip_blank();
    p.req_sym('{');
    Ws_common_fields f;
    if (p.json_first_field())
        do
            f.field(p);
        while (p.json_next_field());
    sink += f.devEui + f.port + quint64(f.data.size()) + quint64(f.cmd == QLatin1String("rx"));
}

void qt_rx(const QString& message)
{
    const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
    const quint64 eui = o.value(QLatin1String("devEui")).toString().toULongLong(nullptr, 16);
    const int port = o.value(QLatin1String("port")).toInt();
    const QByteArray data =
        QByteArray::fromHex(o.value(QLatin1String("data")).toString().toLatin1());
    const bool rx = o.value(QLatin1String("cmd")).toString() == QLatin1String("rx");
    sink += eui + quint64(port) + quint64(data.size()) + quint64(rx);
}

// The modem records of one list element: devEui and devName, everything else skipped.
Modem scan_modem(Ws_parser& p)
{
    Modem m;
    bool has_eui = false;
    bool has_name = false;
    p.req_sym('{');
    if (p.json_first_field())
        do {
            if (p.json_field("devEui", has_eui))
                m.eui = p.req_json_eui();
            else if (p.json_field("devName", has_name))
                m.name = p.req_json_string();
            else
                p.skip_json_field();
        } while (p.json_next_field());
    return m;
}

// Counts the elements first, then reads them into a vector of that size, as the handler does.
QVector<Modem> scan_list(Ws_parser& p)
{
    p.req_sym('[');
    const auto position = p.position;
    const auto line_start = p.line_start;
    const auto line = p.line;
    int count = 0;
    if (p.json_first_item())
        do {
            p.skip_json_value();
            ++count;
        } while (p.json_next_item());
    p.position = position;
    p.line_start = line_start;
    p.line = line;
    QVector<Modem> list(count);
    int i = 0;
    if (p.json_first_item())
        do
            list[i++] = scan_modem(p);
        while (p.json_next_item());
    return list;
}

void scan_devlist(const QString& message)
{
    Ws_parser p(message);
    p.skip_blank();
    p.req_sym('{');
    Ws_common_fields f;
    bool has_list = false;
    QVector<Modem> list;
    if (p.json_first_field())
        do {
            if (p.json_field("devices_list", has_list))
                list = scan_list(p);
            else
                f.field(p);
        } while (p.json_next_field());
    sink += quint64(f.is_resp(p, QStringLiteral("get_device_appdata_resp"))) + list.last().eui +
            quint64(list.last().name.size());
}

void qt_devlist(const QString& message)
{
    const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
    const QJsonArray items = o.value(QLatin1String("devices_list")).toArray();
    QVector<Modem> list(items.size());
    for (int i = 0; i < items.size(); ++i) {
        const QJsonObject item = items.at(i).toObject();
        list[i].eui = item.value(QLatin1String("devEui")).toString().toULongLong(nullptr, 16);
        list[i].name = item.value(QLatin1String("devName")).toString();
    }
    const bool ok = o.value(QLatin1String("cmd")).toString() ==
                        QLatin1String("get_device_appdata_resp") &&
                    o.value(QLatin1String("status")).toBool();
    sink += quint64(ok) + list.last().eui + quint64(list.last().name.size());
}

// Nanoseconds per call: the best of seven rounds of `calls` calls (the machine is shared).
double best_ns(const std::function<void()>& work, int calls)
{
    double best = 0;
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < calls; ++i)
            work();
        const double ns = double(timer.nsecsElapsed()) / calls;
        if (round == 0 || ns < best)
            best = ns;
    }
    return best;
}

void compare(const char* what, const QString& message, void (*scan)(const QString&),
             void (*qt)(const QString&), int calls)
{
    const double scanner = best_ns([&] { scan(message); }, calls);
    const double qt_json = best_ns([&] { qt(message); }, calls);
    printf("%-34s %8d chars  scanner %12.0f ns  QJsonDocument %12.0f ns  ratio %5.1f\n", what,
           static_cast<int>(message.size()), scanner, qt_json, qt_json / scanner);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    compare("rx message", rx_message(), scan_rx, qt_rx, 20000);
    compare("device list of 10000 modems", devlist_message(), scan_devlist, qt_devlist, 10);
    printf("(checksum %llu)\n", static_cast<unsigned long long>(sink));
    return 0;
}
