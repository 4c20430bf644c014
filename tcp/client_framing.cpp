// What every framing of a port shares: the refusal of a frame too long for the modem.
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

}  // namespace

void Client_framing::refuse_oversize(Client_number client, const unsigned char* data, size_t size)
{
    log(QString(errfmt_overflow.tr()).arg(QString::number(tcp_port), QString::number(max_frame)));
    if (trace_tcp & Tcp_trace::bad_frames) {
        const QByteArray prefix = errtext_bad_frame.tr().toUtf8();
        log_data(prefix.constData(), data, size);
    }
    metrics::client_error(eui, metrics::Client_error::overflow);
    host.drop_client(client);
}
