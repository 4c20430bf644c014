// The pull scanner over one JSON text message of the server: blanks, objects, arrays,
// strings, skipping of unknown values and the texts of every format violation.
#include "link/ws_parser.h"

#include "common/hex.h"

#include <QVarLengthArray>
#include <cstring>

namespace {

typedef unsigned short Unit;

Tr errfmt_main{TR_TEXT("log",
                       "Ошибка в %1-м символе %2-й строки текстового сообщения, пришедшего через соединение "
                       "WebSocket: %4")};
Tr errtext_bad_obj_start{TR_TEXT("log",
                                 "ожидается кавычка, начинающая первое поле объекта JSON, или фигурная скобка, "
                                 "завершающая объект.")};
Tr errfmt_bad_obj_next{TR_TEXT("log",
                               "ожидается запятая между полями объекта JSON, или фигурная скобка, завершающая "
                               "объект. Вместо этого обнаружен символ 0x%1.")};
Tr errtext_bad_arr_next{TR_TEXT("log",
                                "ожидается запятая, разделяющая элементы массива JSON, или квадратная скобка, "
                                "завершающая массив.")};
Tr errfmt_field_again{TR_TEXT("log", "поле \"%1\" уже есть в этой структуре JSON.")};
Tr errtext_string_expected{TR_TEXT("log", "ожидается строка в двойных кавычках.")};
Tr errtext_string_not_closed{TR_TEXT("log",
                                     "не найдена закрывающая кавычка, соответствующая этой открывающей кавычке.")};
Tr errtext_esc_eof{TR_TEXT("log",
                           "в строке JSON обнаружена неправильная escape-последовательность: сразу после символа "
                           "«\\» обнаружен конец разбираемого текста.")};
Tr errfmt_esc_hex_trash{TR_TEXT("log",
                                "в строке JSON обнаружена неправильная escape-последовательность \\uXXXX: вместо "
                                "очередной шестнадцатиричной цифры обнаружен символ с кодом 0x%1.")};
Tr errtext_esc_hex_eof{TR_TEXT("log",
                               "в строке JSON обнаружена неправильная escape-последовательность \\uXXXX: ожидается "
                               "очередная шестнадцатиричная цифра, обнаружен конец разбираемого текста.")};
Tr errfmt_esc_trash{TR_TEXT("log",
                            "неправильная escape-последовательность в строке JSON: после символа «\\» идёт "
                            "недопустимый символ с кодом 0x%1.")};
Tr errfmt_unknown_type{TR_TEXT("log",
                               "нарушение формата JSON: значение неизвестного типа (не строка, не число, не объект "
                               "и т.д.). Код первого символа значения: 0x%1.")};
Tr errtext_cannot_skip_string{TR_TEXT("log",
                                      "нарушение формата JSON: обнаружена двойная кавычка, начинающая строку, но в "
                                      "оставшейся части текста нет парной ей двойной кавычки, завершающей эту "
                                      "строку.")};
Tr errtext_minus_trash{TR_TEXT("log",
                               "нарушение формата JSON: обнаружен минус, но после него не идёт ни одной цифры.")};
Tr errtext_dot_trash{TR_TEXT("log",
                             "нарушение формата JSON: обнаружена точка, разделяющая целую и дробную части "
                             "десятичного числа, но после неё нет ни одной цифры.")};
Tr errtext_exp_trash{TR_TEXT("log",
                             "нарушение формата JSON: обнаружен символ «E», разделяющий мантиссу и порядок "
                             "десятичного числа, но после него нет ни одной цифры.")};

Tr errfmt_hex_digits{TR_TEXT("parser", "ожидается %1-значное шестнадцатиричное число.")};
Tr errtext_bool_expected{TR_TEXT("parser", "ожидается слово «true» или «false».")};

// The duplicate field of a flag set is named without the leading word.
Tr errfmt_flag_field_again{TR_TEXT("log", "\"%1\" уже есть в этой структуре JSON.")};

const int eui_digits = 16;

// The code of a character in a message: four lowercase hexadecimal digits.
QString unit_code(Unit c)
{
    return QStringLiteral("%1").arg(c, 4, 16, QLatin1Char('0'));
}

bool is_digit(Unit c)
{
    return c >= '0' && c <= '9';
}

// Tokens mostly follow one another without blanks, and every blank is at most 0x20:
// one inline test spares most calls.
inline void skip_blank_quick(Ws_parser& p)
{
    if (*p.position <= ' ')
        p.skip_blank();
}

void skip_digits(Ws_parser& p)
{
    const Unit* q = p.position;
    while (is_digit(*q))
        ++q;
    p.position = q;
}

// A number part that must begin with a digit (after a minus, a point or an exponent sign).
void req_digits(Ws_parser& p, Tr& text)
{
    if (!is_digit(*p.position))
        throw p.Error(text.tr());
    skip_digits(p);
}

// Four hexadecimal digits of \uXXXX, read as one code unit.
Unit read_hex_unit(Ws_parser& p)
{
    Unit value = 0;
    for (int i = 0; i < 4; ++i, ++p.position) {
        unsigned char digit = 0;
        const Unit c = *p.position;
        if (!c)
            throw p.Error(errtext_esc_hex_eof.tr());
        if (!unhex(c, digit))
            throw p.Error(QString(errfmt_esc_hex_trash.tr()).arg(unit_code(c)));
        value = static_cast<Unit>(value << 4 | digit);
    }
    return value;
}

// The character after a backslash in a string that is read.
Unit read_escape(Ws_parser& p)
{
    const Unit c = *p.position;
    switch (c) {
    case 0:
        throw p.Error(errtext_esc_eof.tr());
    case 'u':
        ++p.position;
        return read_hex_unit(p);
    case '"':
    case '/':
    case '\\':
        break;
    case 'b':
        ++p.position;
        return 0x08;
    case 'f':
        ++p.position;
        return 0x0C;
    case 'n':
        ++p.position;
        return 0x0A;
    case 'r':
        ++p.position;
        return 0x0D;
    case 't':
        ++p.position;
        return 0x09;
    default:
        throw p.Error(QString(errfmt_esc_trash.tr()).arg(unit_code(c)));
    }
    ++p.position;
    return c;
}

// Arrays and objects that enclose the value being skipped, one bit a level (set for an
// object): a hostile nesting depth costs a little heap, never the stack.
class Open_levels {
public:
    void push(bool object)
    {
        const size_t word = depth / 64;
        if (word == static_cast<size_t>(words.size()))
            words.append(0);
        const quint64 mask = quint64(1) << (depth % 64);
        quint64& bits = words[static_cast<int>(word)];
        bits = object ? bits | mask : bits & ~mask;
        ++depth;
    }
    void pop() { --depth; }
    bool empty() const { return depth == 0; }
    bool object_on_top() const
    {
        const size_t top = depth - 1;
        return (words[static_cast<int>(top / 64)] >> (top % 64)) & 1;
    }

private:
    QVarLengthArray<quint64, 4> words;
    size_t depth = 0;
};

}  // namespace

Ws_parser::Ws_parser(const QString& message)
{
    position = message.utf16();
    line_start = position;
    line = 1;
}

void Ws_parser::skip_blank()
{
    const Unit* p = position;
    for (;;) {
        const Unit c = *p;
        if (c == ' ' || c == '\t') {
            ++p;
        } else if (c == '\n' || c == '\r') {
            p += (c == '\r' && p[1] == '\n') ? 2 : 1;
            line_start = p;
            ++line;
        } else {
            position = p;
            return;
        }
    }
}

Err Ws_parser::Error(const QString& reason) const
{
    return Err(errfmt_main.tr().arg(QString::number(position - line_start + 1),
                                    QString::number(line), reason));
}

bool Ws_parser::json_first_field()
{
    skip_blank_quick(*this);
    if (*position == '"') {
        ++position;
        return true;
    }
    if (*position == '}') {
        ++position;
        return false;
    }
    throw Error(errtext_bad_obj_start.tr());
}

bool Ws_parser::json_next_field()
{
    skip_blank_quick(*this);
    if (*position == ',') {
        ++position;
        skip_blank_quick(*this);
        req_sym('"');
        return true;
    }
    if (*position == '}') {
        ++position;
        return false;
    }
    throw Error(QString(errfmt_bad_obj_next.tr()).arg(unit_code(*position)));
}

bool Ws_parser::json_first_item()
{
    skip_blank_quick(*this);
    if (*position == ']') {
        ++position;
        return false;
    }
    return true;
}

bool Ws_parser::json_next_item()
{
    skip_blank_quick(*this);
    if (*position == ',') {
        ++position;
        skip_blank_quick(*this);
        return true;
    }
    if (*position == ']') {
        ++position;
        return false;
    }
    throw Error(errtext_bad_arr_next.tr());
}

const unsigned short* Ws_parser::after_word(const char* word) const
{
    const Unit* p = position;
    for (; *word; ++word, ++p)
        if (*p != static_cast<unsigned char>(*word))
            return nullptr;
    return p;
}

bool Ws_parser::name_matches(const char* name) const
{
    const Unit* end = after_word(name);
    return end && *end == '"';
}

void Ws_parser::enter_field_value(const char* name)
{
    position += strlen(name) + 1;
    skip_blank_quick(*this);
    req_sym(':');
    skip_blank_quick(*this);
}

Err Ws_parser::field_again(const char* name) const
{
    return Error(QString(errfmt_flag_field_again.tr()).arg(QLatin1String(name)));
}

bool Ws_parser::json_field(const char* name, bool& seen)
{
    if (!name_matches(name))
        return false;
    if (seen)
        throw Error(QString(errfmt_field_again.tr()).arg(QLatin1String(name)));
    enter_field_value(name);
    seen = true;
    return true;
}

bool Ws_parser::get_json_string(QString& out)
{
    if (*position != '"')
        return false;
    const Unit* quote = position++;
    QString text;
    for (;;) {
        const Unit* run = position;
        while (*position && *position != '"' && *position != '\\')
            ++position;
        text.append(reinterpret_cast<const QChar*>(run), static_cast<int>(position - run));
        if (*position == '"')
            break;
        if (!*position) {
            position = quote;
            throw Error(errtext_string_not_closed.tr());
        }
        ++position;
        text.append(QChar(read_escape(*this)));
    }
    ++position;
    out = text;
    return true;
}

QString Ws_parser::req_json_string()
{
    QString text;
    if (!get_json_string(text))
        throw Error(errtext_string_expected.tr());
    return text;
}

void Ws_parser::skip_json_string()
{
    const Unit* p = position;
    for (;;) {
        Unit c = *p;
        if (c == '"') {
            position = p + 1;
            return;
        }
        if (c == '\\')
            c = *++p;
        if (!c) {
            --position;  // back to the opening quote
            throw Error(errtext_cannot_skip_string.tr());
        }
        ++p;
    }
}

void Ws_parser::skip_json_signed()
{
    if (!is_digit(*position))
        throw Error(errtext_minus_trash.tr());
    skip_json_unsigned();
}

void Ws_parser::skip_json_unsigned()
{
    skip_digits(*this);
    if (*position == '.') {
        ++position;
        req_digits(*this, errtext_dot_trash);
    }
    if (*position == 'e' || *position == 'E') {
        ++position;
        if (*position == '+' || *position == '-')
            ++position;
        req_digits(*this, errtext_exp_trash);
    }
}

void Ws_parser::skip_json_scalar()
{
    const Unit c = *position;
    if (c == '"') {
        ++position;
        skip_json_string();
        return;
    }
    if (c == '-') {
        ++position;
        skip_json_signed();
        return;
    }
    if (is_digit(c)) {
        ++position;
        skip_json_unsigned();
        return;
    }
    const char* word = c == 't' ? "true" : c == 'f' ? "false" : c == 'n' ? "null" : nullptr;
    const Unit* end = word ? after_word(word) : nullptr;
    if (!end)
        throw Error(QString(errfmt_unknown_type.tr()).arg(unit_code(c)));
    position = end;
}

void Ws_parser::skip_field_name()
{
    skip_json_string();
    skip_blank_quick(*this);
    req_sym(':');
    skip_blank_quick(*this);
}

void Ws_parser::skip_json_field()
{
    skip_field_name();
    skip_json_value();
}

// Walks nested arrays and objects with an explicit list of the open levels instead of
// recursion, so that no nesting depth in a message can exhaust the stack.
void Ws_parser::skip_json_value()
{
    Open_levels open;
    for (;;) {
        const Unit c = *position;
        if (c == '[' || c == '{') {
            ++position;
            const bool object = c == '{';
            if (object ? json_first_field() : json_first_item()) {
                open.push(object);
                if (object)
                    skip_field_name();
                continue;
            }
        } else {
            skip_json_scalar();
        }
        for (;;) {
            if (open.empty())
                return;
            if (open.object_on_top() ? json_next_field() : json_next_item())
                break;
            open.pop();
        }
        if (open.object_on_top())
            skip_field_name();
    }
}

quint64 Ws_parser::req_json_eui()
{
    req_sym('"');
    quint64 value = 0;
    for (int i = 0; i < eui_digits; ++i) {
        unsigned char digit = 0;
        if (!unhex(position[i], digit))
            throw Error(QString(errfmt_hex_digits.tr()).arg(eui_digits));
        value = value << 4 | digit;
    }
    position += eui_digits;
    req_sym('"');
    return value;
}

bool Ws_parser::req_json_bool()
{
    const Unit c = *position;
    const char* word = c == 't' ? "true" : c == 'f' ? "false" : nullptr;
    const Unit* end = word ? after_word(word) : nullptr;
    if (!end)
        throw Error(errtext_bool_expected.tr());
    position = end;
    return c == 't';
}
