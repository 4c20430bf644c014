// Builds the simulated server's messages with the extra fields a real server adds, which clients must skip.
#include "messages.h"

#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>

namespace {

const QString gateway_id = QStringLiteral("7276FF0039030C1A");
const QString app_eui = QStringLiteral("70B3D58FF0031DE5");
// A modem that nobody serves, for noise
const QString stranger_eui = QStringLiteral("FEEDFACE00C0FFEE");

qint64 now_ms()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QJsonObject device_entry(const Virtual_device& device, int index)
{
    static const char* const kinds[] = {"echo", "modbus", "silent"};
    const Modem_desc& desc = device.desc();
    QJsonObject entry{
        {QStringLiteral("devEui"), eui_text(desc.eui)},
        {QStringLiteral("appEui"), app_eui},
        {QStringLiteral("devAddr"), QStringLiteral("%1").arg(0x26011000u + uint(index), 8, 16, QLatin1Char('0'))},
        {QStringLiteral("class"), QStringLiteral("C")},
        {QStringLiteral("fcnt_up"), 1200 + index},
        {QStringLiteral("fcnt_down"), 35},
        {QStringLiteral("adr"), true},
        {QStringLiteral("abp"), false},
        {QStringLiteral("reaction_on_ack"), QJsonValue::Null},
        {QStringLiteral("last_data_ts"), double(now_ms() - 60000)},
        {QStringLiteral("battery"), desc.kind == Device_kind::silent ? QJsonValue(QJsonValue::Null) : QJsonValue(97.5)},
        {QStringLiteral("modem_kind"), QLatin1String(kinds[int(desc.kind)])},
        {QStringLiteral("position"), QJsonObject{{QStringLiteral("longitude"), 37.6173},
                                                  {QStringLiteral("latitude"), 55.7558},
                                                  {QStringLiteral("altitude"), QJsonValue::Null}}},
        {QStringLiteral("users"), QJsonArray{QJsonObject{{QStringLiteral("login"), QStringLiteral("demo")},
                                                          {QStringLiteral("rights"), QJsonArray{"read", "write"}}}}},
        {QStringLiteral("tags"), QJsonArray()},
        {QStringLiteral("attributes"), QJsonObject()},
    };
    if (desc.name)
        entry.insert(QStringLiteral("devName"), *desc.name);
    return entry;
}

// Arrays and objects in turn, depth levels deep, around one number.
QString nested_value(int depth)
{
    QString opening;
    QString closing;
    for (int level = 0; level < depth; ++level) {
        const bool array = level % 2 == 0;
        opening += array ? QStringLiteral("[") : QStringLiteral("{\"x\":");
        closing += array ? QLatin1Char(']') : QLatin1Char('}');
    }
    std::reverse(closing.begin(), closing.end());
    return opening + QLatin1Char('0') + closing;
}

} // namespace

QString json_text(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString rejection(const QString& answer_cmd, const std::optional<QString>& err_string)
{
    QJsonObject answer{{QStringLiteral("cmd"), answer_cmd}, {QStringLiteral("status"), false}};
    if (err_string)
        answer.insert(QStringLiteral("err_string"), *err_string);
    return json_text(answer);
}

QString auth_accepted(const QString& login)
{
    return json_text(QJsonObject{
        {QStringLiteral("cmd"), QStringLiteral("auth_resp")},
        {QStringLiteral("status"), true},
        {QStringLiteral("token"), QStringLiteral("%1-%2").arg(login).arg(now_ms(), 0, 16)},
        {QStringLiteral("device_access"), QStringLiteral("SELECTED")},
        {QStringLiteral("consoleEnable"), false},
        {QStringLiteral("command_list"), QJsonArray{"get_device_appdata_req", "send_data_req", "rx"}},
        {QStringLiteral("rights"), QJsonObject{{QStringLiteral("devices"), QStringLiteral("rw")},
                                               {QStringLiteral("gateways"), QJsonValue::Null}}},
    });
}

QString devlist_answer(const QVector<Virtual_device>& modems)
{
    QJsonArray list;
    for (int n = 0; n < modems.size(); ++n)
        list.append(device_entry(modems[n], n));
    return json_text(QJsonObject{
        {QStringLiteral("cmd"), QStringLiteral("get_device_appdata_resp")},
        {QStringLiteral("status"), true},
        {QStringLiteral("devices_list"), list},
        {QStringLiteral("total"), modems.size()},
    });
}

QJsonObject append_status_element(const QString& eui, bool status)
{
    return QJsonObject{{QStringLiteral("devEui"), eui}, {QStringLiteral("status"), status}};
}

QString send_data_answer(const QJsonArray& append_status)
{
    return json_text(QJsonObject{
        {QStringLiteral("cmd"), QStringLiteral("send_data_resp")},
        {QStringLiteral("status"), true},
        {QStringLiteral("append_status"), append_status},
    });
}

QString rx_message(const QString& eui, int port, const QString& hex, quint32 fcnt)
{
    const int rssi = -71 - int(fcnt % 30);
    const double snr = 9.5 - (fcnt % 10) * 0.75;
    return json_text(QJsonObject{
        {QStringLiteral("cmd"), QStringLiteral("rx")},
        {QStringLiteral("devEui"), eui},
        {QStringLiteral("appEui"), app_eui},
        {QStringLiteral("ts"), double(now_ms())},
        {QStringLiteral("ack"), false},
        {QStringLiteral("fcnt"), double(fcnt)},
        {QStringLiteral("port"), port},
        {QStringLiteral("data"), hex},
        {QStringLiteral("freq"), 868900000},
        {QStringLiteral("dr"), QStringLiteral("SF7 BW125 4/5")},
        {QStringLiteral("rssi"), rssi},
        {QStringLiteral("snr"), snr},
        {QStringLiteral("type"), QStringLiteral("UNCONF_UP")},
        {QStringLiteral("gatewayId"), gateway_id},
        {QStringLiteral("packetStatus"), QStringLiteral("NOT_DUPLICATE")},
        {QStringLiteral("gw_info"), QJsonArray{QJsonObject{{QStringLiteral("gatewayId"), gateway_id},
                                                           {QStringLiteral("rssi"), rssi},
                                                           {QStringLiteral("snr"), snr}}}},
    });
}

QString noise_message(int step, const QVector<Virtual_device>& modems)
{
    const QString known = modems.isEmpty() ? stranger_eui : eui_text(modems[0].desc().eui);
    switch (step % 4) {
    case 0:
        return json_text(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("gw_status")},
                                     {QStringLiteral("gatewayId"), gateway_id},
                                     {QStringLiteral("active"), true},
                                     {QStringLiteral("ts"), double(now_ms())},
                                     {QStringLiteral("load"), QJsonArray{0.25, 0.5}}});
    case 1:
        return rx_message(known, 4, QStringLiteral("0301000100"), quint32(step));
    case 2:
        return rx_message(stranger_eui, 2, QStringLiteral("030300030001aabbcc"), quint32(step));
    default:
        return json_text(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("console")},
                                     {QStringLiteral("message"), QStringLiteral("Плановое обслуживание в 03:00")},
                                     {QStringLiteral("level"), QJsonValue::Null}});
    }
}

QString malformed_message()
{
    return QStringLiteral("{\"cmd\":\"rx\",\"devEui\":\"%1\",\"port\":2,\"data\":\"03").arg(stranger_eui);
}

QString trailing_message(const QString& tail)
{
    return QStringLiteral("{\"cmd\":\"gw_status\",\"active\":true}") + tail;
}

QString duplicate_field_message()
{
    return QStringLiteral("{\"cmd\":\"gw_status\",\"active\":true,\"cmd\":\"gw_status\"}");
}

QString nested_message(int depth)
{
    return QStringLiteral("{\"cmd\":\"gw_status\",\"deep\":") + nested_value(depth) + QLatin1Char('}');
}
