// The common fields of a server message: reading and checking each value, and the
// decision whether a message is the awaited answer and whether the server accepted the command.
#include "link/ws_fields.h"

#include "common/hex.h"
#include "link/ws_parser.h"

#include <limits>

namespace {

Tr errfmt_cmd_absent{TR_TEXT("log",
                             "в сообщении сервера RUVO-LoRa отсутствует обязательное поле \"cmd\" (ожидается "
                             "сообщение \"%1\").")};
Tr errfmt_status_absent{TR_TEXT("log", "в ответе сервера RUVO-LoRa \"%1\" отсутствует обязательное поле \"status\".")};
Tr errfmt_reject_with_err{TR_TEXT("log",
                                  "Сервер RUVO-LoRa отверг нашу команду (в ответе \"%1\" \"status\" равен "
                                  "«false»). Сообщение об ошибке (\"err_string\"): «%2».")};
Tr errfmt_reject_wo_err{TR_TEXT("log",
                                "Сервер RUVO-LoRa отверг нашу команду (в ответе \"%1\" \"status\" равен «false»).")};
Tr errfmt_unknown_field{TR_TEXT("log", "неизвестное поле (%1)")};

Tr errtext_odd_hex{TR_TEXT("parser",
                           "этот массив данных должен состоять из целого числа байтов (а значит, из чётного числа "
                           "шестнадцатиричных цифр).")};
Tr errtext_array_too_long{TR_TEXT("parser", "этот массив слишком длинный")};

const unsigned max_port = 223;
const qint64 max_hex_digits = 2147483647;

struct Field_name {
    unsigned char bit;
    const char* name;
};

// In the order in which any_field_name looks for the lowest bit.
const Field_name field_names[] = {
    {Ws_common_fields::has_cmd, "cmd"},       {Ws_common_fields::has_status, "status"},
    {Ws_common_fields::has_err_string, "err_string"}, {Ws_common_fields::has_devEui, "devEui"},
    {Ws_common_fields::has_port, "port"},     {Ws_common_fields::has_data, "data"},
};

// A string of hexadecimal digit pairs, high nibble first.
QByteArray req_hex_data(Ws_parser& p)
{
    p.req_sym('"');
    const unsigned short* first = p.position;
    const unsigned short* end = first;
    unsigned char digit = 0;
    while (unhex(*end, digit))
        ++end;
    const qint64 digits = end - first;
    if (digits % 2)
        throw p.Error(errtext_odd_hex.tr());
    if (digits > max_hex_digits)
        throw p.Error(errtext_array_too_long.tr());
    QByteArray bytes(static_cast<int>(digits / 2), Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i) {
        unsigned char high = 0;
        unsigned char low = 0;
        unhex(first[2 * i], high);
        unhex(first[2 * i + 1], low);
        bytes[i] = static_cast<char>(high << 4 | low);
    }
    p.position = end;
    p.req_sym('"');
    return bytes;
}

}  // namespace

void Ws_common_fields::field(Ws_parser& parser)
{
    switch (*parser.position) {
    case 'c':
        if (parser.json_field("cmd", flags, has_cmd)) {
            cmd = parser.req_json_string();
            return;
        }
        break;
    case 'd':
        if (parser.json_field("devEui", flags, has_devEui)) {
            devEui = parser.req_json_eui();
            return;
        }
        break;
    case 'e':
        if (parser.json_field("err_string", flags, has_err_string)) {
            err_string = parser.req_json_string();
            return;
        }
        break;
    case 'f':
        if (parser.json_field("fcnt", flags, has_fcnt)) {
            read_fcnt(parser);
            return;
        }
        break;
    case 'p':
        if (parser.json_field("port", flags, has_port)) {
            port = static_cast<unsigned char>(parser.req_dec<16>(max_port));
            return;
        }
        break;
    case 's':
        if (parser.json_field("status", flags, has_status)) {
            status = parser.req_json_bool();
            return;
        }
        break;
    }
    if (parser.json_field("data", flags, has_data))
        data = req_hex_data(parser);
    else
        parser.skip_json_field();
}

void Ws_common_fields::read_fcnt(Ws_parser& parser)
{
    const unsigned short* start = parser.position;
    quint32 value = 0;
    if (dec_from_str(parser, value, std::numeric_limits<quint32>::max()) == Dec_result::done &&
        *parser.position != '.' && *parser.position != 'e' && *parser.position != 'E') {
        fcnt = value;
        return;
    }
    parser.position = start;
    flags &= ~has_fcnt;
    parser.skip_json_value();
}

bool Ws_common_fields::is_resp(Ws_parser& parser, const QString& name)
{
    if (!(flags & has_cmd))
        throw parser.Error(QString(errfmt_cmd_absent.tr()).arg(name));
    if (cmd != name)
        return false;
    if (!(flags & has_status))
        throw parser.Error(QString(errfmt_status_absent.tr()).arg(name));
    if (status)
        return true;
    throw Err(refusal(name));
}

bool Ws_common_fields::is_refusal(const QString& name) const
{
    return (flags & has_cmd) && cmd == name && (flags & has_status) && !status;
}

QString Ws_common_fields::refusal(const QString& name) const
{
    if (flags & has_err_string)
        return errfmt_reject_with_err.tr().arg(name, err_string);
    return QString(errfmt_reject_wo_err.tr()).arg(name);
}

QString Ws_common_fields::any_field_name(unsigned char bits) const
{
    for (const Field_name& f : field_names)
        if (bits & f.bit)
            return QLatin1String(f.name);
    return QString(errfmt_unknown_field.tr()).arg(static_cast<unsigned>(bits), 0, 16);
}
