// What every framing of a port shares: the refusal of a frame too long for the modem, summed up
// in the log since a client can send such frames at will.
#include "tcp/client_framing.h"

#include "core/cfg.h"
#include "common/err.h"
#include "metrics/metrics.h"

namespace {

Tr errfmt_overflow{TR_TEXT("log",
                           "Ошибка: от клиента на порту %1 пришло сообщение, размер которого превышает предельный "
                           "для этого клиента (%2 байтов). Предельный размер сообщения можно настроить в файле "
                           "конфигурации и в описании устройства.")};
Tr errtext_bad_frame{TR_TEXT("log", "Уже принятая часть сообщения, вызвавшего предыдущую ошибку: ")};
Tr errfmt_overflows{TR_TEXT("log",
                            "Порт TCP %1: за последнюю минуту клиенты ещё %2 раз прислали сообщения длиннее "
                            "предельного размера (%3 байтов) и были отключены. Чаще всего такие сообщения приходили с "
                            "адресов: %4.")};

}  // namespace

Client_framing::Client_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame)
    : host(host),
      eui(eui),
      tcp_port(tcp_port),
      max_frame(max_frame),
      tracer(tcp_port),
      oversized([tcp_port, max_frame](quint64 held, const QString& peers) {
          return QString(errfmt_overflows.tr())
              .arg(QString::number(tcp_port), QString::number(held), QString::number(max_frame), peers);
      })
{
}

// The part received is traced with the entry it follows, never with one held back.
void Client_framing::refuse_oversize(Client_number client, const QString& peer, const unsigned char* data, size_t size)
{
    const bool written =
        oversized.event(QString(errfmt_overflow.tr()).arg(QString::number(tcp_port), QString::number(max_frame)), peer);
    if (written && (trace_tcp & Tcp_trace::bad_frames)) {
        const QByteArray prefix = errtext_bad_frame.tr().toUtf8();
        log_data(prefix.constData(), data, size);
    }
    metrics::client_error(eui, metrics::Client_error::overflow);
    host.drop_client(client);
}
