// The configuration file: the program's global settings, read once at start; each key is one row
// of a table that gives its parsing, its default and its place in the unknown-key text.
#include "core/cfg.h"

#include "common/err.h"
#include "core/device_limits.h"
#include "text/utf8_parser.h"

#include <QHostAddress>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstring>

const char default_cfg_fname[] = "ruvo_bridge.cfg";
const char* cfg_fname = default_cfg_fname;

// Defaults are given by the key table below, as the program is loaded and for every key a file
// leaves out.
QString ws_url;
QString ws_login;
QString ws_password_hash;
int ws_connect_timeout;
int ws_auth_timeout;
int ws_reconnect_delay;
int ws_devlist_period;
int ws_devlist_timeout;
int ws_sdata_timeout;
QString devices_fname;
unsigned default_max_frame;
int tcp_interframe_delay;
int modbus_timeout;
int tcp_keepalive;
int modbus_max_clients;
quint16 modbus_site_port;
const char* const trace_level_words[3] = {"err", "bad_frames", "all"};
unsigned char trace_ws;
unsigned char trace_tcp;
QString cfg_language;
int ws_batch_max;
QHostAddress tcp_listen_address;
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
Tr errfmt_unknown_key_added{TR_TEXT("parser", "Знаю также параметры %1.")};
Tr errfmt_key_name{TR_TEXT("parser", "«%1»")};
Tr errfmt_last_of_list{TR_TEXT("parser", "%1 и %2")};
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

// The language of the texts after the configuration is read, "en" or "ru".
QString language_error(const QString& value)
{
    cfg_language = value;
    return is_language(value) ? QString() : errtext_bad_language.tr();
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

// "ADDRESS:PORT" with an IPv4 address in full and a port from 1 to 65535, the form the key's error
// text describes.
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

// How a key's value is read.
enum class Kind : unsigned char {
    text,     // a printable string, stored as it is
    timing,   // a timing of the link in milliseconds, 0 to max_timing
    bounded,  // a number from min to max
    level,    // a trace level, one of trace_level_words
    checked,  // a string that check judges and stores; a bad one is reported at its opening quote
};

// One key of the configuration file, which may give each key once, with the value it has when the
// file does not give it.
struct Cfg_key {
    const char* name;
    Kind kind;
    QString* text;                           // text: where the value goes
    void (*store)(quint32 value);            // timing, bounded, level: where the value goes
    quint32 min;                             // bounded
    quint32 max;                             // bounded
    QString (*check)(const QString& value);  // checked: "" or the reason the value is bad
    Tr* bad_level;                           // level: the text for a word that is not a level
    Tr* missing;                             // a mandatory key: the text when it is not given
    quint32 default_value;                   // timing, bounded, level
    const char* default_text;                // text
    void (*set_default)();                   // checked; null when another key's gives it
};

Cfg_key text_key(const char* name, QString& target, Tr* missing, const char* default_text = "")
{
    return {name, Kind::text, &target, nullptr, 0, 0, nullptr, nullptr, missing, 0, default_text, nullptr};
}

Cfg_key timing_key(const char* name, void (*store)(quint32), quint32 default_value)
{
    return {name, Kind::timing, nullptr, store, 0, max_timing, nullptr, nullptr, nullptr, default_value, nullptr,
            nullptr};
}

Cfg_key bounded_key(const char* name, quint32 min, quint32 max, void (*store)(quint32), quint32 default_value)
{
    return {name, Kind::bounded, nullptr, store, min, max, nullptr, nullptr, nullptr, default_value, nullptr, nullptr};
}

Cfg_key level_key(const char* name, Tr& bad_level, void (*store)(quint32), Trace_level default_value)
{
    return {name, Kind::level, nullptr, store, 0, 0, nullptr, &bad_level, nullptr, default_value, nullptr, nullptr};
}

Cfg_key checked_key(const char* name, QString (*check)(const QString&), void (*set_default)())
{
    return {name, Kind::checked, nullptr, nullptr, 0, 0, check, nullptr, nullptr, 0, nullptr, set_default};
}

// Every key. The first ones are those the unknown-key text names; the rest, in the order of the
// added sentence, come after first_added_key. No name is the beginning of another, so the order
// does not change which key a statement sets.
const Cfg_key keys[] = {
    text_key("ws_url", ws_url, &errtext_no_ws_url),
    text_key("ws_login", ws_login, &errtext_no_ws_login),
    text_key("ws_password", ws_password_hash, &errtext_no_ws_password),
    timing_key("ws_connect_timeout", [](quint32 v) { ws_connect_timeout = static_cast<int>(v); }, 10000),
    timing_key("ws_auth_timeout", [](quint32 v) { ws_auth_timeout = static_cast<int>(v); }, 3000),
    timing_key("ws_reconnect_delay", [](quint32 v) { ws_reconnect_delay = static_cast<int>(v); }, 3000),
    timing_key("ws_devlist_period", [](quint32 v) { ws_devlist_period = static_cast<int>(v); }, 10000),
    timing_key("ws_devlist_timeout", [](quint32 v) { ws_devlist_timeout = static_cast<int>(v); }, 3000),
    timing_key("ws_data_timeout", [](quint32 v) { ws_sdata_timeout = static_cast<int>(v); }, 3000),
    text_key("devices_file", devices_fname, nullptr, "devices.cfg"),
    bounded_key("default_max_frame", min_max_frame, max_max_frame, [](quint32 v) { default_max_frame = v; },
                default_max_frame_value),
    bounded_key("interframe_delay", 1, max_timing, [](quint32 v) { tcp_interframe_delay = static_cast<int>(v); },
                15),
    level_key("trace_ws", errtext_bad_trace_ws, [](quint32 v) { trace_ws = static_cast<unsigned char>(v); },
              trace_bad_frames),
    level_key("trace_tcp", errtext_bad_trace_tcp, [](quint32 v) { trace_tcp = static_cast<unsigned char>(v); },
              trace_bad_frames),
    checked_key("tcp_listen_address", listen_address_error,
                [] { tcp_listen_address = QHostAddress(QHostAddress::Any); }),
    checked_key("tcp_allow", allow_list_error, [] { tcp_allow = Client_allow_list(); }),
    checked_key("ws_ca_file", [](const QString& v) { return ws_tls.read_ca_file(v); },
                [] { ws_tls = Ws_tls_settings(); }),
    // The TLS settings are one object, which the key before gives its default.
    checked_key("ws_client_cert", [](const QString& v) { return ws_tls.read_client_cert(v); }, nullptr),
    checked_key("ws_client_key", [](const QString& v) { return ws_tls.read_client_key(v); }, nullptr),
    checked_key("metrics_listen", metrics_listen_error, [] { metrics_listen.clear(); }),
    bounded_key("modbus_timeout", 1, max_timing, [](quint32 v) { modbus_timeout = static_cast<int>(v); }, 15000),
    bounded_key("ws_batch_max", 1, ws_batch_max_limit, [](quint32 v) { ws_batch_max = static_cast<int>(v); }, 1),
    checked_key("language", language_error, [] { cfg_language.clear(); }),
    bounded_key("tcp_keepalive", 0, 86400, [](quint32 v) { tcp_keepalive = static_cast<int>(v); }, 120),
    bounded_key("modbus_max_clients", 1, max_modbus_max_clients,
                [](quint32 v) { modbus_max_clients = static_cast<int>(v); }, 8),
    // Absent: no site port, which no port number given in the file can mean.
    bounded_key("modbus_site_port", min_tcp_port, max_tcp_port,
                [](quint32 v) { modbus_site_port = static_cast<quint16>(v); }, 0),
};
const size_t key_count = sizeof(keys) / sizeof(keys[0]);
const size_t first_added_key = 14;

// Which keys of the table the file has given so far.
typedef std::array<bool, key_count> Seen;

bool was_given(const Seen& seen, const char* name)
{
    for (size_t i = 0; i < key_count; ++i)
        if (strcmp(keys[i].name, name) == 0)
            return seen[i];
    return false;
}

void read_level(Utf8_file_parser& p, const Cfg_key& key)
{
    for (quint32 level = trace_err; level <= trace_all; ++level)
        if (p.get_word(trace_level_words[level])) {
            key.store(level);
            return;
        }
    const Tr& bad_level = *key.bad_level;
    throw p.Error(bad_level.tr());
}

void read_checked(Utf8_file_parser& p, const Cfg_key& key)
{
    const Utf8_file_parser::Place value = p.place();
    const QString reason = key.check(p.req_printable_utf8_string());
    if (reason.isEmpty())
        return;
    p.go_back(value);
    throw p.Error(reason);
}

void read_value(Utf8_file_parser& p, const Cfg_key& key)
{
    switch (key.kind) {
    case Kind::text:
        *key.text = p.req_printable_utf8_string();
        return;
    case Kind::timing:
        key.store(static_cast<quint32>(p.req_dec<16>(key.max)));
        return;
    case Kind::bounded:
        key.store(static_cast<quint32>(p.req_dec<32>(key.min, key.max)));
        return;
    case Kind::level:
        read_level(p, key);
        return;
    case Kind::checked:
        read_checked(p, key);
        return;
    }
}

// The unknown-key text as it always was, and the sentence naming the keys added since.
QString unknown_key_text()
{
    QStringList added;
    for (size_t i = first_added_key; i < key_count; ++i)
        added << QString(errfmt_key_name.tr()).arg(QString::fromUtf8(keys[i].name));
    const QString last = added.takeLast();
    const QString list = QString(errfmt_last_of_list.tr()).arg(added.join(QStringLiteral(", ")), last);
    return errtext_unknown_key.tr() + QLatin1Char(' ') + QString(errfmt_unknown_key_added.tr()).arg(list);
}

void read_statement(Utf8_file_parser& p, Seen& seen)
{
    for (size_t i = 0; i < key_count; ++i)
        if (p.is_assignment(keys[i].name, seen[i])) {
            read_value(p, keys[i]);
            return;
        }
    throw p.unknown_name_error(unknown_key_text());
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
    for (size_t i = 0; i < key_count; ++i)
        if (keys[i].missing && !seen[i]) {
            const Tr& missing = *keys[i].missing;
            throw p.Error(missing.tr());
        }
}

// The client certificate and its key come as a pair, and the key must be the certificate's.
void check_client_pair(Utf8_file_parser& p, const Seen& seen)
{
    const bool cert = was_given(seen, "ws_client_cert");
    if (cert != was_given(seen, "ws_client_key"))
        throw p.Error(errtext_client_pair.tr());
    if (cert && !ws_tls.key_matches_cert())
        throw p.Error(QString(errfmt_key_mismatch.tr()).arg(ws_tls.key_file, ws_tls.cert_file));
}

void give_default(const Cfg_key& key)
{
    switch (key.kind) {
    case Kind::text:
        *key.text = QString::fromUtf8(key.default_text);
        return;
    case Kind::timing:
    case Kind::bounded:
    case Kind::level:
        key.store(key.default_value);
        return;
    case Kind::checked:
        if (key.set_default)
            key.set_default();
        return;
    }
}

// Before a file is read every key has its default, which the file's statements then replace.
void give_defaults()
{
    for (const Cfg_key& key : keys)
        give_default(key);
}

// The globals hold their defaults from the start, for whatever reads them before or without a file.
const struct Defaults_at_start {
    Defaults_at_start() { give_defaults(); }
} defaults_at_start;

}  // namespace

bool is_language(const QString& code)
{
    return code == QLatin1String("en") || code == QLatin1String("ru");
}

void load_cfg(const QString& file_name)
{
    Utf8_file_parser p(file_name);
    give_defaults();
    Seen seen{};
    p.skip_blank();
    while (*p.position) {
        read_statement(p, seen);
        end_statement(p);
    }
    check_mandatory(p, seen);
    check_client_pair(p, seen);
}
