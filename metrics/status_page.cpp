// The status page on the metrics port, built as HTML from a plain copy of what a scrape reads.
#include "metrics/status_page.h"

#include "common/err.h"

#include <QDateTime>

namespace {

Tr caption_title{TR_TEXT("status_page", "Состояние программы ruvo_bridge")};
Tr caption_link{TR_TEXT("status_page", "Связь с сервером RUVO-LoRa:")};
Tr format_since{TR_TEXT("status_page", "с %1")};
Tr caption_configured{TR_TEXT("status_page", "Радиомодемов, подлежащих обслуживанию:")};
Tr caption_available{TR_TEXT("status_page", "... из них доступных для связи:")};
Tr caption_in_use{TR_TEXT("status_page", "... из них используемых клиентами:")};
Tr column_name{TR_TEXT("status_page", "Имя")};
Tr column_port{TR_TEXT("status_page", "Порт")};
Tr column_protocol{TR_TEXT("status_page", "Протокол")};
Tr column_state{TR_TEXT("status_page", "Состояние")};
Tr column_clients{TR_TEXT("status_page", "Клиентов")};
Tr column_answers{TR_TEXT("status_page", "Ответов")};
Tr column_errors{TR_TEXT("status_page", "Ошибок")};
Tr column_last_answer{TR_TEXT("status_page", "Последний ответ")};
Tr format_ago{TR_TEXT("status_page", "%1 с назад")};
Tr caption_never{TR_TEXT("status_page", "не было")};
Tr format_updated{TR_TEXT("status_page", "Обновлено %1; страница обновляется каждые %2 с.")};

QString html(const QString& text)
{
    return text.toHtmlEscaped();
}

QString local_time(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString number(double value)
{
    return QString::number(value, 'f', 0);
}

QString counters(const Page_view& view)
{
    const Tr* const captions[] = {&caption_configured, &caption_available, &caption_in_use};
    QString out = QStringLiteral("<table class=\"counts\">");
    for (int i = 0; i < 3; ++i)
        out += QStringLiteral("<tr><td>%1</td><td id=\"count%2\">%3</td></tr>")
                   .arg(html((*captions[i]).tr()))
                   .arg(i)
                   .arg(number(view.counts[i]));
    return out + QStringLiteral("</table>");
}

QString header_row()
{
    const Tr* const columns[] = {&column_name,    &column_port,    &column_protocol,
                                 &column_state,   &column_clients, &column_answers,
                                 &column_errors,  &column_last_answer};
    QString out = QStringLiteral("<tr><th>EUI</th>");
    for (const Tr* column : columns)
        out += QStringLiteral("<th>%1</th>").arg(html((*column).tr()));
    return out + QStringLiteral("</tr>");
}

QString last_answer(const Page_modem& modem, qint64 now_s)
{
    if (modem.last_answer_s <= 0)
        return caption_never.tr();
    return QString(format_ago.tr()).arg(qMax<qint64>(0, now_s - static_cast<qint64>(modem.last_answer_s)));
}

QString modem_row(const Page_modem& modem, qint64 now_s)
{
    const QString cells[] = {
        QStringLiteral("%1").arg(modem.eui, 16, 16, QLatin1Char('0')).toUpper(),
        modem.name,
        QString::number(modem.port),
        port_protocol_row(modem.protocol).caption.tr(),
        modem_status_text(modem.status),
        QString::number(modem.clients),
        number(modem.answers),
        number(modem.errors),
        last_answer(modem, now_s),
    };
    QString out = QStringLiteral("<tr class=\"%1\">").arg(QLatin1String(modem_state_name(modem.status.state)));
    for (const QString& cell : cells)
        out += QStringLiteral("<td>%1</td>").arg(html(cell));
    return out + QStringLiteral("</tr>");
}

const char style[] =
    "body{font-family:sans-serif;margin:1em}table{border-collapse:collapse}"
    "td,th{border:1px solid #bbb;padding:2px 8px;text-align:left;white-space:nowrap}"
    "td:nth-child(5){white-space:normal;min-width:12em;max-width:22em}.counts td{border:none}"
    "tr.served td:nth-child(5){color:#070}tr.port_failed td:nth-child(5){color:#b00}"
    "tr.not_known_to_server td:nth-child(5),tr.link_down td:nth-child(5){color:#a60}";

}  // namespace

QByteArray status_page(const Page_view& view)
{
    const QString title = html(caption_title.tr());
    QString out = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                                 "<meta http-equiv=\"refresh\" content=\"%1\"><title>%2</title><style>%3</style>"
                                 "</head><body><h1>%2</h1>")
                      .arg(status_page_refresh_s)
                      .arg(title, QLatin1String(style));
    out += QStringLiteral("<p>%1 <b id=\"link\">%2</b> %3</p>")
               .arg(html(caption_link.tr()), html(link_state_word(view.link)),
                    html(QString(format_since.tr()).arg(local_time(view.link_since_s))));
    out += counters(view);
    out += QStringLiteral("<table id=\"modems\">") + header_row();
    for (const Page_modem& modem : view.modems)
        out += modem_row(modem, view.now_s);
    out += QStringLiteral("</table><p>%1</p></body></html>")
               .arg(html(QString(format_updated.tr()).arg(local_time(view.now_s)).arg(status_page_refresh_s)));
    return out.toUtf8();
}
