// The configuration file: the program's global settings, read once at start.
#include "core/cfg.h"

#include "common/err.h"
#include "core/device_limits.h"
#include "text/utf8_parser.h"

#include <QHostAddress>
#include <algorithm>

const char default_cfg_fname[] = "ruvo_bridge.cfg";
const char* cfg_fname = default_cfg_fname;
const QString DEFAULT_DEVICES_FNAME = QStringLiteral("devices.cfg");

QString ws_url;
QString ws_login;
QString ws_password_hash;
int ws_connect_timeout = 10000;
int ws_auth_timeout = 3000;
int ws_reconnect_delay = 3000;
int ws_devlist_period = 10000;
int ws_devlist_timeout = 3000;
int ws_sdata_timeout = 3000;
QString devices_fname;
unsigned default_max_frame = default_max_frame_value;
int tcp_interframe_delay = 15;
int modbus_timeout = 15000;
const char* const trace_level_words[3] = {"err", "bad_frames", "all"};
unsigned char trace_ws = trace_bad_frames;
unsigned char trace_tcp = trace_bad_frames;
QString cfg_language;
int ws_batch_max = 1;
QHostAddress tcp_listen_address = QHostAddress(QHostAddress::Any);
Client_allow_list tcp_allow;
Ws_tls_settings ws_tls;
QString metrics_listen;

namespace {

Tr errtext_unknown_key{TR_TEXT("parser",
                               "неизвестный параметр. Знаю только параметры «ws_url», «ws_login», «ws_password», "
                               "«ws_connect_timeout», «ws_auth_timeout», «ws_reconnect_delay», "
                               "«ws_devlist_period», «ws_devlist_timeout», «ws_data_timeout», «devices_file», "
                               "«default_max_frame», «interframe_delay», «trace_ws» и «trace_tcp».")};
// Keys added since the list above was written, named in a sentence of their own after it.
Tr errtext_unknown_key_added{TR_TEXT("parser",
                                     "Знаю также параметры «tcp_listen_address», «tcp_allow», «ws_ca_file», "
                                     "«ws_client_cert», «ws_client_key», «metrics_listen», «modbus_timeout», "
                                     "«ws_batch_max» и «language».")};
Tr errtext_bad_listen_address{TR_TEXT("parser",
                                      "неправильное значение параметра «tcp_listen_address»: ожидается адрес IPv4 "
                                      "или IPv6 (например, «127.0.0.1» или «::1»).")};
Tr errfmt_bad_allow_entry{TR_TEXT("parser",
                                  "неправильный элемент «%1» в значении параметра «tcp_allow»: ожидается адрес "
                                  "IPv4 или IPv6 либо сеть вида адрес/длина префикса (например, «10.1.0.0/16» или "
                                  "«fd00::/8»).")};
Tr errtext_empty_allow_entry{TR_TEXT("parser",
                                     "пустой элемент в значении параметра «tcp_allow»: ожидается список адресов и "
                                     "сетей через запятую.")};
Tr errtext_client_pair{TR_TEXT("parser", "параметры «ws_client_cert» и «ws_client_key» задаются только вместе.")};
Tr errfmt_key_mismatch{TR_TEXT("parser",
                               "закрытый ключ из файла «%1» (параметр «ws_client_key») не подходит к сертификату "
                               "из файла «%2» (параметр «ws_client_cert»).")};
Tr errtext_bad_metrics_listen{TR_TEXT("parser",
                                      "неправильное значение параметра «metrics_listen»: ожидается адрес IPv4 и "
                                      "порт TCP, например «127.0.0.1:9464» или «0.0.0.0:9464».")};
Tr errtext_bad_trace_ws{TR_TEXT("parser",
                                "неправильное значение параметра «trace_ws»: знаю только значения «err», "
                                "«bad_frames» и «all».")};
Tr errtext_bad_trace_tcp{TR_TEXT("parser",
                                 "неправильное значение параметра «trace_tcp»: знаю только значения «err», "
                                 "«bad_frames» и «all».")};
Tr errtext_bad_language{TR_TEXT("parser",
                                "неправильное значение параметра «language»: знаю только значения «en» и «ru».")};
Tr errtext_end_of_line{TR_TEXT("parser", "ожидается конец строки.")};
Tr errtext_no_ws_url{TR_TEXT("parser", "не определён обязательный параметр «ws_url».")};
Tr errtext_no_ws_login{TR_TEXT("parser", "не определён обязательный параметр «ws_login».")};
Tr errtext_no_ws_password{TR_TEXT("parser", "не определён обязательный параметр «ws_password».")};

const unsigned max_timing = 60000;
const int default_interframe_delay = 15;

// Which keys the file has defined so far; each may appear once.
struct Seen {
    bool ws_url = false;
    bool ws_login = false;
    bool ws_password = false;
    bool connect_timeout = false;
    bool auth_timeout = false;
    bool reconnect_delay = false;
    bool devlist_period = false;
    bool devlist_timeout = false;
    bool data_timeout = false;
    bool devices_file = false;
    bool max_frame = false;
    bool interframe_delay = false;
    bool trace_ws = false;
    bool trace_tcp = false;
    bool modbus_timeout = false;
    bool batch_max = false;
    bool listen_address = false;
    bool allow = false;
    bool ca_file = false;
    bool client_cert = false;
    bool client_key = false;
    bool metrics_listen = false;
    bool language = false;
};

bool string_key(Utf8_file_parser& p, const char* name, bool& seen, QString& value)
{
    if (!p.is_assignment(name, seen))
        return false;
    value = p.req_printable_utf8_string();
    return true;
}

// A timing of the link, in milliseconds, 0 to 60000.
bool timing_key(Utf8_file_parser& p, const char* name, bool& seen, int& value)
{
    if (!p.is_assignment(name, seen))
        return false;
    value = static_cast<int>(p.req_dec<16>(max_timing));
    return true;
}

template <class V>
bool bounded_key(Utf8_file_parser& p, const char* name, bool& seen, unsigned min, unsigned max, V& value)
{
    if (!p.is_assignment(name, seen))
        return false;
    value = static_cast<V>(p.req_dec<32>(min, max));
    return true;
}

bool trace_key(Utf8_file_parser& p, const char* name, bool& seen, Tr& errtext_bad, unsigned char& value)
{
    if (!p.is_assignment(name, seen))
        return false;
    for (unsigned char level = trace_err; level <= trace_all; ++level)
        if (p.get_word(trace_level_words[level])) {
            value = level;
            return true;
        }
    throw p.Error(errtext_bad.tr());
}

// The language of the texts after the configuration is read, "en" or "ru".
QString language_error(const QString& value)
{
    cfg_language = value;
    return is_language(value) ? QString() : errtext_bad_language.tr();
}

// A string value checked once read (check gives "" or the reason); a bad one is reported at its
// opening quote.
template <class Check>
bool checked_key(Utf8_file_parser& p, const char* name, bool& seen, Check check)
{
    if (!p.is_assignment(name, seen))
        return false;
    const char* const position = p.position;
    const char* const line_start = p.line_start;
    const quint32 line = p.line;
    const QString reason = check(p.req_printable_utf8_string());
    if (reason.isEmpty())
        return true;
    p.position = position;
    p.line_start = line_start;
    p.line = line;
    throw p.Error(reason);
}

QString listen_address_error(const QString& value)
{
    return parse_ip_literal(value, tcp_listen_address) ? QString() : errtext_bad_listen_address.tr();
}

QString allow_list_error(const QString& value)
{
    QString bad_entry;
    if (tcp_allow.parse(value, bad_entry))
        return QString();
    return bad_entry.isEmpty() ? errtext_empty_allow_entry.tr() : QString(errfmt_bad_allow_entry.tr()).arg(bad_entry);
}

// "ADDRESS:PORT" with an IPv4 address in full and a port from 1 to 65535. The HTTP server of
// Debian's prometheus-cpp (civetweb) is built without IPv6.
bool is_metrics_address(const QString& text)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    const QString host = text.left(colon);
    const QString port = text.mid(colon + 1);
    const bool dotted_quad = host.count(QLatin1Char('.')) == 3;
    const bool digits_only = !port.isEmpty() && port.size() <= 5 &&
                             std::all_of(port.begin(), port.end(), [](QChar c) { return c >= '0' && c <= '9'; });
    const uint value = port.toUInt();
    return QHostAddress(host).protocol() == QAbstractSocket::IPv4Protocol && dotted_quad && digits_only &&
           value >= 1 && value <= 65535;
}

QString metrics_listen_error(const QString& value)
{
    if (!is_metrics_address(value))
        return errtext_bad_metrics_listen.tr();
    metrics_listen = value;
    return QString();
}

bool security_key(Utf8_file_parser& p, Seen& seen)
{
    return checked_key(p, "tcp_listen_address", seen.listen_address, listen_address_error) ||
           checked_key(p, "tcp_allow", seen.allow, allow_list_error) ||
           checked_key(p, "ws_ca_file", seen.ca_file, [](const QString& v) { return ws_tls.read_ca_file(v); }) ||
           checked_key(p, "ws_client_cert", seen.client_cert,
                       [](const QString& v) { return ws_tls.read_client_cert(v); }) ||
           checked_key(p, "ws_client_key", seen.client_key, [](const QString& v) { return ws_tls.read_client_key(v); });
}

QString unknown_key_text()
{
    return errtext_unknown_key.tr() + QLatin1Char(' ') + errtext_unknown_key_added.tr();
}

void read_statement(Utf8_file_parser& p, Seen& seen)
{
    if (string_key(p, "ws_url", seen.ws_url, ws_url) || string_key(p, "ws_login", seen.ws_login, ws_login) ||
        string_key(p, "ws_password", seen.ws_password, ws_password_hash) ||
        timing_key(p, "ws_connect_timeout", seen.connect_timeout, ws_connect_timeout) ||
        timing_key(p, "ws_auth_timeout", seen.auth_timeout, ws_auth_timeout) ||
        timing_key(p, "ws_reconnect_delay", seen.reconnect_delay, ws_reconnect_delay) ||
        timing_key(p, "ws_devlist_period", seen.devlist_period, ws_devlist_period) ||
        timing_key(p, "ws_devlist_timeout", seen.devlist_timeout, ws_devlist_timeout) ||
        timing_key(p, "ws_data_timeout", seen.data_timeout, ws_sdata_timeout) ||
        string_key(p, "devices_file", seen.devices_file, devices_fname) ||
        bounded_key(p, "default_max_frame", seen.max_frame, min_max_frame, max_max_frame, default_max_frame) ||
        bounded_key(p, "interframe_delay", seen.interframe_delay, 1, 60000, tcp_interframe_delay) ||
        trace_key(p, "trace_ws", seen.trace_ws, errtext_bad_trace_ws, trace_ws) ||
        trace_key(p, "trace_tcp", seen.trace_tcp, errtext_bad_trace_tcp, trace_tcp) ||
        bounded_key(p, "ws_batch_max", seen.batch_max, 1, ws_batch_max_limit, ws_batch_max) ||
        security_key(p, seen) ||
        checked_key(p, "metrics_listen", seen.metrics_listen, metrics_listen_error))
        return;
    if (bounded_key(p, "modbus_timeout", seen.modbus_timeout, 1, max_timing, modbus_timeout) ||
        checked_key(p, "language", seen.language, language_error))
        return;
    throw p.Error(unknown_key_text());
}

// After a value only blanks and a comment may follow on its line.
void end_statement(Utf8_file_parser& p)
{
    const char* const value_end = p.position;
    const quint32 line = p.line;
    p.skip_blank();
    if (p.line != line || *p.position == 0)
        return;
    p.position = value_end;
    throw p.Error(errtext_end_of_line.tr());
}

void check_mandatory(Utf8_file_parser& p, const Seen& seen)
{
    if (!seen.ws_url)
        throw p.Error(errtext_no_ws_url.tr());
    if (!seen.ws_login)
        throw p.Error(errtext_no_ws_login.tr());
    if (!seen.ws_password)
        throw p.Error(errtext_no_ws_password.tr());
}

// The client certificate and its key come as a pair, and the key must be the certificate's.
void check_client_pair(Utf8_file_parser& p, const Seen& seen)
{
    if (seen.client_cert != seen.client_key)
        throw p.Error(errtext_client_pair.tr());
    if (seen.client_cert && !ws_tls.key_matches_cert())
        throw p.Error(QString(errfmt_key_mismatch.tr()).arg(ws_tls.key_file, ws_tls.cert_file));
}

void apply_defaults(const Seen& seen)
{
    if (!seen.devices_file)
        devices_fname = DEFAULT_DEVICES_FNAME;
    if (!seen.max_frame)
        default_max_frame = default_max_frame_value;
    if (!seen.interframe_delay)
        tcp_interframe_delay = default_interframe_delay;
    if (!seen.language)
        cfg_language.clear();
}

}  // namespace

bool is_language(const QString& code)
{
    return code == QLatin1String("en") || code == QLatin1String("ru");
}

void load_cfg(const QString& file_name)
{
    Utf8_file_parser p(file_name);
    Seen seen;
    p.skip_blank();
    while (*p.position) {
        read_statement(p, seen);
        end_statement(p);
    }
    check_mandatory(p, seen);
    check_client_pair(p, seen);
    apply_defaults(seen);
}
