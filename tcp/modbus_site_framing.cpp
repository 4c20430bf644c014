// The site port's requests routed by unit id, or refused at once when no modem serves the unit.
#include "tcp/modbus_site_framing.h"

#include "common/err.h"
#include "metrics/metrics.h"
#include "tcp/modbus_mbap.h"

namespace {

Tr errfmt_no_route{TR_TEXT("log",
                           "Запрос Modbus к адресу %2 через порт %1 никуда не отправлен: этот адрес не связан "
                           "ни с одним обслуживаемым сейчас радиомодемом; клиенту [%3] отправлено исключение "
                           "0x0A.")};
Tr errfmt_broadcast{TR_TEXT("log",
                            "Широковещательный запрос Modbus (адрес 0) через порт %1 никуда не отправлен: на этом "
                            "порту он не относится ни к одному радиомодему.")};
Tr errfmt_no_routes{TR_TEXT("log",
                            "Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus никуда не отправлены, так как "
                            "их адреса не связаны ни с одним обслуживаемым сейчас радиомодемом. Чаще всего такие "
                            "запросы приходили с адресов: %3.")};

}  // namespace

Modbus_site_framing::Modbus_site_framing(Host& host, quint16 tcp_port, const Site_routes& routes)
    : Modbus_port_framing(host, 0, tcp_port, max_request),
      routes(routes),
      no_route([tcp_port](quint64 held, const QString& peers) {
          return QString(errfmt_no_routes.tr()).arg(QString::number(tcp_port), QString::number(held), peers);
      })
{
}

Modbus_route Modbus_site_framing::route(Client_number client, const QByteArray& request)
{
    const quint8 unit = static_cast<quint8>(request[mbap::unit_at]);
    const QString peer = peer_of(client);
    if (unit == mbap::broadcast_unit) {
        no_route.event(errfmt_broadcast.tr().arg(tcp_port), peer);
        metrics::site_request(metrics::Site_result::broadcast);
        return {};
    }
    const Site_routes::Route to = routes.find(unit);
    if (to.line) {
        metrics::site_request(metrics::Site_result::routed);
        return {to.line, to.slave};
    }
    no_route.event(errfmt_no_route.tr().arg(tcp_port).arg(unit).arg(peer), peer);
    metrics::site_request(metrics::Site_result::no_route);
    host.write_to_client(client, mbap::exception(request, mbap::gateway_path_unavailable));
    return {};
}

void Modbus_site_framing::for_each_line(const std::function<void(Modbus_line&)>& f)
{
    for (Modbus_line* line : routes.lines())
        f(*line);
}
