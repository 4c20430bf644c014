// The UTF-8 scanners of the configuration and devices files: blanks, line ends, comments,
// double-quoted string literals, and the scanner that owns the whole text of one file.
#include "text/utf8_parser.h"

#include "common/hex.h"
#include "text/file_load.h"

#include <cstring>
#include <limits>

namespace {

Tr errtext_wrong_encoding{TR_TEXT("parser",
                                  "неправильная кодировка. Текст должен быть в кодировке UTF-8 (или ASCII).")};
Tr errfmt_unexpected_byte{TR_TEXT("parser",
                                  "неожиданный байт 0x%1 (ожидаются пробельные символы или первый символ лексемы).")};
Tr errfmt_byte_then_end{TR_TEXT("parser",
                                "нарушение формата UTF-8: байт 0x%1, и за ним сразу конец разбираемого текста.")};
Tr errfmt_unexpected_2{TR_TEXT("parser",
                               "неожиданный символ UTF-8: 0x%1 0x%2 (ожидаются пробельные символы или первый "
                               "символ лексемы).")};
Tr errfmt_bytes_then_end{TR_TEXT("parser",
                                 "нарушение формата UTF-8: последовательность байтов 0x%1 0x%2, и за ней сразу "
                                 "конец разбираемого текста.")};
Tr errfmt_unexpected_3{TR_TEXT("parser",
                               "неожиданный символ UTF-8: 0x%1 0x%2 0x%3 (ожидаются пробельные символы или первый "
                               "символ лексемы).")};
Tr errfmt_file_error{TR_TEXT("parser", "Ошибка в %1-м символе %2-й строки файла «%3»: %4")};

Tr errfmt_name_given{TR_TEXT("parser", "Указано имя «%1».")};
// An unknown name is quoted up to this many bytes, so that a stray line does not fill the message.
const int max_quoted_name = 64;
Tr errtext_string_expected{TR_TEXT("parser", "здесь должна быть строка в двойных кавычках.")};
Tr errfmt_room_left{TR_TEXT("parser",
                            "Ошибка в программе: неправильно выделено место под строку-результат. Выделили %1 "
                            "16-битных ячеек, осталось %2 лишних ячеек.")};
Tr errtext_literal_end{TR_TEXT("parser",
                               "ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен конец "
                               "разбираемого текста.")};
Tr errfmt_literal_line_feed{TR_TEXT("parser",
                                    "ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен перевод "
                                    "строки (0x%1).")};
Tr errtext_literal_nel{TR_TEXT("parser",
                               "ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен перевод строки "
                               "(U+85).")};
Tr errfmt_literal_separator{TR_TEXT("parser",
                                    "ожидается двойная кавычка, закрывающая строку, обнаружен перевод строки "
                                    "(U+%1).")};
Tr errtext_escape_end{TR_TEXT("parser",
                              "в строке обнаружена неправильная escape-последовательность: сразу после "
                              "escape-символа «\\» обнаружен конец разбираемого текста.")};
Tr errfmt_escape_byte{TR_TEXT("parser",
                              "в строке обнаружена неправильная escape-последовательность: после escape-символа "
                              "«\\» идёт байт 0x%1.")};
Tr errfmt_u16_byte{TR_TEXT("parser",
                           "в строке обнаружена неправильная escape-последовательность \\uHHHH: вместо %1-й "
                           "шестнадцатиричной цифры кода символа обнаружен байт 0x%2.")};
Tr errfmt_u16_end{TR_TEXT("parser",
                          "в строке обнаружена неправильная escape-последовательность \\uHHHH: вместо %1-й "
                          "шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.")};
Tr errfmt_u32_byte{TR_TEXT("parser",
                           "в строке обнаружена неправильная escape-последовательность \\UHHHHHHHH: вместо %1-й "
                           "шестнадцатиричной цифры кода символа обнаружен байт 0x%2.")};
Tr errfmt_u32_end{TR_TEXT("parser",
                          "в строке обнаружена неправильная escape-последовательность \\UHHHHHHHH: вместо %1-й "
                          "шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.")};
Tr errfmt_x_byte{TR_TEXT("parser",
                         "в строке обнаружена неправильная escape-последовательность \\xHH...H: вместо первой "
                         "шестнадцатиричной цифры кода символа обнаружен байт 0x%1.")};
Tr errtext_x_end{TR_TEXT("parser",
                         "в строке обнаружена неправильная escape-последовательность \\xHH...H: вместо первой "
                         "шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.")};
Tr errtext_x_too_big{TR_TEXT("parser",
                             "в строке обнаружена неправильная escape-последовательность \\xHH...H: код символа "
                             "слишком большой (не влезает в 32 бита).")};

Tr errtext_not_utf8{TR_TEXT("parser", "разбираемый текст не является текстом в кодировке UTF-8. ")};
Tr errfmt_lone_continuation{TR_TEXT("parser",
                                    "%1Внутри строкового литерала обнаружен байт 0x%2 (который, согласно UTF-8, "
                                    "должен быть последующим байтом многобайтного символа), хотя перед ним не было "
                                    "первого байта многобайтного символа.")};
Tr errfmt_forbidden_byte{TR_TEXT("parser",
                                 "%1Внутри строкового литерала обнаружен байт 0x%2 (запрещённый текущей версией "
                                 "формата UTF-8).")};
Tr errfmt_second_end{TR_TEXT("parser",
                             "%1Внутри строкового литерала, после байта 0x%2 (первый байт многобайтного символа, "
                             "согласно UTF-8) обнаружен конец разбираемого текста (вместо второго байта "
                             "многобайтного символа).")};
Tr errfmt_second_bad{TR_TEXT("parser",
                             "%1Внутри строкового литерала, после байта 0x%2 (первый байт многобайтного символа, "
                             "согласно UTF-8) обнаружен байт 0x%3 (не являющийся вторым байтом многобайтного "
                             "символа).")};
Tr errfmt_third_end{TR_TEXT("parser",
                            "%1Внутри строкового литерала, после байтов 0x%2 и 0x%3 (первый и второй байты не "
                            "менее чем трёхбайтного символа, согласно UTF-8) обнаружен конец разбираемого текста "
                            "(вместо третьего байта символа).")};
Tr errfmt_third_bad{TR_TEXT("parser",
                            "%1Внутри строкового литерала, после байтов 0x%2 и 0x%3 (первый и второй байты не "
                            "менее чем трёхбайтного символа, согласно UTF-8) обнаружен байт 0x%4 (не являющийся "
                            "третьим байтом символа).")};
Tr errfmt_fourth_end{TR_TEXT("parser",
                             "%1Внутри строкового литерала, после байтов 0x%2, 0x%3 и 0x%4 (первый, второй и "
                             "третий байты четырёхбайтного символа, согласно UTF-8) обнаружен конец разбираемого "
                             "текста (вместо четвёртого байта символа).")};
Tr errfmt_fourth_bad{TR_TEXT("parser",
                             "%1Внутри строкового литерала, после байтов 0x%2, 0x%3 и 0x%4 (первый, второй и "
                             "третий байты четырёхбайтного символа, согласно UTF-8) обнаружен байт 0x%5 (не "
                             "являющийся четвёртым байтом символа).")};
Tr errfmt_overlong_2{TR_TEXT("parser",
                             "%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: 0x%2 "
                             "0x%3 (стандарт UTF-8 не допускает кодирование символа избыточным количеством байтов).")};
Tr errfmt_overlong_3{TR_TEXT("parser",
                             "%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: 0x%2 "
                             "0x%3 0x%4 (стандарт UTF-8 не допускает кодирование символа избыточным количеством "
                             "байтов).")};
Tr errfmt_overlong_4{TR_TEXT("parser",
                             "%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: 0x%2 "
                             "0x%3 0x%4 0x%5 (стандарт UTF-8 не допускает кодирование символа избыточным "
                             "количеством байтов).")};

Tr errfmt_surrogate{TR_TEXT("parser",
                            "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ "
                            "невозможно перевести в кодировку UTF-16 - в ней он используется для кодирования "
                            "суррогатных пар).")};
Tr errfmt_code_too_big{TR_TEXT("parser",
                               "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ "
                               "невозможно перевести в кодировку UTF-16 - его код слишком большой).")};
Tr errtext_literal_too_long{TR_TEXT("parser", "Слишком длинный строковый литерал.")};
Tr errfmt_control_char{TR_TEXT("parser",
                               "в строке обнаружен недопустимый символ с кодом 0x%1 (эта строка не должна "
                               "содержать управляющие символы).")};
Tr errfmt_overflow_pair{TR_TEXT("parser",
                                "переполнение строки-результата при добавлении символа U+%1 (в виде суррогатной "
                                "пары). Под строку было зарезервировано %2 16-битных ячеек. Не хватает %3 ячеек.")};
Tr errfmt_overflow{TR_TEXT("parser",
                           "переполнение строки-результата при добавлении символа U+%1. Под строку было "
                           "зарезервировано %2 16-битных ячеек.")};

QString hex(unsigned long value, int width)
{
    return QStringLiteral("%1").arg(static_cast<qulonglong>(value), width, 16, QLatin1Char('0'));
}

// A byte in parser messages: two lowercase hexadecimal digits.
QString hex_byte(unsigned char byte)
{
    return hex(byte, 2);
}

bool is_continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the line end at p: LF, VT, FF, CR (CR LF as one), NEL, LINE and PARAGRAPH SEPARATOR; 0 if none.
int line_end_length(const unsigned char* p)
{
    if (p[0] >= 0x0A && p[0] <= 0x0C)
        return 1;
    if (p[0] == 0x0D)
        return p[1] == 0x0A ? 2 : 1;
    if (p[0] == 0xC2 && p[1] == 0x85)
        return 2;
    if (p[0] == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9))
        return 3;
    return 0;
}

// The first two bytes of the three-byte blanks and separators.
bool is_blank_prefix(unsigned char b0, unsigned char b1)
{
    return (b0 == 0xE2 && (b1 == 0x80 || b1 == 0x81)) || (b0 == 0xE3 && b1 == 0x80) || (b0 == 0xEF && b1 == 0xBB);
}

// U+2000 to U+200A, U+202F, U+205F, U+2060, U+3000 and U+FEFF.
bool is_blank_3(unsigned char b0, unsigned char b1, unsigned char b2)
{
    if (b0 == 0xE2 && b1 == 0x80)
        return (b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xAF;
    if (b0 == 0xE2 && b1 == 0x81)
        return b2 == 0x9F || b2 == 0xA0;
    if (b0 == 0xE3)
        return b2 == 0x80;
    return b2 == 0xBF;
}

}  // namespace

void Utf8_text_parser::init(const char* text)
{
    position = line_start = text;
    line = 1;
    const auto p = reinterpret_cast<const unsigned char*>(text);
    if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        position = line_start = text + 3;
    else if (p[0] == 0xFE || p[0] == 0xFF)
        throw Error(errtext_wrong_encoding.tr());
}

void Utf8_text_parser::new_line(const char* next)
{
    ++line;
    position = line_start = next;
}

void Utf8_text_parser::skip_blank()
{
    for (;;) {
        const unsigned char b = static_cast<unsigned char>(*position);
        if (b == ' ' || b == '\t')
            ++position;
        else if (b >= 0x0A && b <= 0x0D)
            new_line(position + line_end_length(reinterpret_cast<const unsigned char*>(position)));
        else if (b == '#') {
            ++position;
            skip_line();
        } else if (b == '/' && position[1] == '/') {
            position += 2;
            skip_line();
        } else if (b == 0 || (b >= 0x21 && b <= 0x7E))
            return;
        else
            skip_multibyte_blank();
    }
}

// Steps over one multi-byte blank or line end, or throws naming the bytes that are neither.
void Utf8_text_parser::skip_multibyte_blank()
{
    const auto p = reinterpret_cast<const unsigned char*>(position);
    if (p[0] != 0xC2 && p[0] != 0xE2 && p[0] != 0xE3 && p[0] != 0xEF)
        throw Error(errfmt_unexpected_byte.tr().arg(hex_byte(p[0])));
    if (p[1] == 0)
        throw Error(errfmt_byte_then_end.tr().arg(hex_byte(p[0])));
    if (p[0] == 0xC2 && p[1] == 0xA0) {
        position += 2;
        return;
    }
    if (const int length = line_end_length(p)) {
        new_line(position + length);
        return;
    }
    if (p[0] == 0xC2 || !is_blank_prefix(p[0], p[1])) {
        ++position;
        throw Error(errfmt_unexpected_2.tr().arg(hex_byte(p[0]), hex_byte(p[1])));
    }
    if (p[2] == 0)
        throw Error(errfmt_bytes_then_end.tr().arg(hex_byte(p[0]), hex_byte(p[1])));
    if (!is_blank_3(p[0], p[1], p[2])) {
        position += 2;
        throw Error(errfmt_unexpected_3.tr().arg(hex_byte(p[0]), hex_byte(p[1]), hex_byte(p[2])));
    }
    position += 3;
}

void Utf8_text_parser::skip_line()
{
    for (;;) {
        const auto p = reinterpret_cast<const unsigned char*>(position);
        if (*p == 0)
            return;
        if (const int length = line_end_length(p)) {
            new_line(position + length);
            return;
        }
        ++position;
    }
}

bool Utf8_text_parser::get_word(const char* word)
{
    const char* p = position;
    for (; *word; ++word, ++p)
        if (*p != *word)
            return false;
    position = p;
    return true;
}

bool Utf8_text_parser::get_utf8_string(Dst& dst)
{
    if (*position != '"')
        return false;
    const char* const start = ++position;
    const char* const start_line_start = line_start;
    const quint32 start_line = line;
    const unsigned pieces = measure_literal(dst);
    position = start;
    line_start = start_line_start;
    line = start_line;
    dst.allocate();
    fill_literal(dst, pieces);
    return true;
}

// The checking pass; returns the number of adjacent pieces that make up the literal.
unsigned Utf8_text_parser::measure_literal(Dst& dst)
{
    unsigned pieces = 1;
    for (;;) {
        if (*position != '"') {
            const char* end;
            dst.consider(literal_char(end));
            step_over_char(end);
            continue;
        }
        ++position;
        skip_blank();
        if (*position != '"')
            return pieces;
        ++position;
        ++pieces;
    }
}

// The storing pass over text the checking pass has accepted, so its reads cannot fail.
void Utf8_text_parser::fill_literal(Dst& dst, unsigned pieces)
{
    for (;;) {
        if (*position != '"') {
            const char* end;
            dst.put(literal_char(end));
            step_over_char(end);
            continue;
        }
        ++position;
        if (--pieces == 0)
            return;
        skip_blank();
        ++position;
    }
}

// A multi-byte character counts as one column in later messages about the same line.
void Utf8_text_parser::step_over_char(const char* end)
{
    if (static_cast<unsigned char>(*position) >= 0x80)
        line_start += end - position - 1;
    position = end;
}

// The code of the character or escape at the position (not the closing quote) and where it ends.
unsigned long Utf8_text_parser::literal_char(const char*& end) const
{
    const unsigned char b = static_cast<unsigned char>(*position);
    if (b == 0)
        throw Error(errtext_literal_end.tr());
    if (b >= 0x0A && b <= 0x0D)
        throw Error(errfmt_literal_line_feed.tr().arg(hex_byte(b)));
    if (b == '\\')
        return escape(end);
    if (b >= 0x80)
        return utf8_char(end);
    end = position + 1;
    return b;
}

unsigned long Utf8_text_parser::escape(const char*& end) const
{
    const unsigned char c = static_cast<unsigned char>(position[1]);
    end = position + 2;
    switch (c) {
    case 0:
        throw Error(errtext_escape_end.tr());
    case '"':
    case '\'':
    case '/':
    case '?':
    case '\\':
        return c;
    case 'a':
        return 0x07;
    case 'b':
        return 0x08;
    case 'f':
        return 0x0C;
    case 'n':
        return 0x0A;
    case 'r':
        return 0x0D;
    case 't':
        return 0x09;
    case 'v':
        return 0x0B;
    case 'u':
        end = position + 6;
        return req_escape_u16();
    case 'U':
        end = position + 10;
        return req_escape_u32();
    case 'x':
        return req_escape_x(end);
    default:
        break;
    }
    unsigned long value;
    if (get_octal_escape(value, end))
        return value;
    throw Error(errfmt_escape_byte.tr().arg(hex_byte(c)));
}

// Exactly `digits` hexadecimal digits after the backslash and the letter.
unsigned long Utf8_text_parser::escape_digits(int digits, Tr& errfmt_byte, Tr& errfmt_end) const
{
    unsigned long value = 0;
    const char* p = position + 2;
    for (int i = 1; i <= digits; ++i, ++p) {
        unsigned char d;
        if (!unhex(*p, d)) {
            if (*p == 0)
                throw Error(errfmt_end.tr().arg(i));
            throw Error(errfmt_byte.tr().arg(QString::number(i), hex_byte(static_cast<unsigned char>(*p))));
        }
        value = value << 4 | d;
    }
    return value;
}

unsigned long Utf8_text_parser::req_escape_u16() const
{
    return escape_digits(4, errfmt_u16_byte, errfmt_u16_end);
}

unsigned long Utf8_text_parser::req_escape_u32() const
{
    return escape_digits(8, errfmt_u32_byte, errfmt_u32_end);
}

unsigned long Utf8_text_parser::req_escape_x(const char*& end) const
{
    const char* p = position + 2;
    unsigned char d;
    if (!unhex(*p, d)) {
        if (*p == 0)
            throw Error(errtext_x_end.tr());
        throw Error(errfmt_x_byte.tr().arg(hex_byte(static_cast<unsigned char>(*p))));
    }
    unsigned long value = 0;
    for (; unhex(*p, d); ++p) {
        if (value > 0xFFFFFFFul)
            throw Error(errtext_x_too_big.tr());
        value = value << 4 | d;
    }
    end = p;
    return value;
}

bool Utf8_text_parser::get_octal_escape(unsigned long& value, const char*& end) const
{
    const char* p = position + 1;
    if (*p < '0' || *p > '7')
        return false;
    unsigned long v = 0;
    for (int i = 0; i < 3 && *p >= '0' && *p <= '7'; ++i, ++p)
        v = v * 8 + static_cast<unsigned long>(*p - '0');
    value = v;
    end = p;
    return true;
}

// One strictly checked UTF-8 sequence at the position.
unsigned long Utf8_text_parser::utf8_char(const char*& end) const
{
    const auto p = reinterpret_cast<const unsigned char*>(position);
    const QString& not_utf8 = errtext_not_utf8.tr();
    const QString b0 = hex_byte(p[0]);
    if (p[0] < 0xC0)
        throw Error(errfmt_lone_continuation.tr().arg(not_utf8, b0));
    if (p[0] >= 0xF8)
        throw Error(errfmt_forbidden_byte.tr().arg(not_utf8, b0));
    if (p[1] == 0)
        throw Error(errfmt_second_end.tr().arg(not_utf8, b0));
    const QString b1 = hex_byte(p[1]);
    if (!is_continuation(p[1]))
        throw Error(errfmt_second_bad.tr().arg(not_utf8, b0, b1));
    if (p[0] < 0xE0) {
        const unsigned long code = (p[0] & 0x1Ful) << 6 | (p[1] & 0x3Ful);
        if (code == 0x85)
            throw Error(errtext_literal_nel.tr());
        if (code < 0x80)
            throw Error(errfmt_overlong_2.tr().arg(not_utf8, b0, b1));
        end = position + 2;
        return code;
    }
    if (p[2] == 0)
        throw Error(errfmt_third_end.tr().arg(not_utf8, b0, b1));
    const QString b2 = hex_byte(p[2]);
    if (!is_continuation(p[2]))
        throw Error(errfmt_third_bad.tr().arg(not_utf8, b0, b1, b2));
    if (p[0] < 0xF0) {
        const unsigned long code = (p[0] & 0x0Ful) << 12 | (p[1] & 0x3Ful) << 6 | (p[2] & 0x3Ful);
        if (code == 0x2028 || code == 0x2029)
            throw Error(errfmt_literal_separator.tr().arg(hex(code, 4)));
        if (code < 0x800)
            throw Error(errfmt_overlong_3.tr().arg(not_utf8, b0, b1, b2));
        end = position + 3;
        return code;
    }
    if (p[3] == 0)
        throw Error(errfmt_fourth_end.tr().arg(not_utf8, b0, b1, b2));
    const QString b3 = hex_byte(p[3]);
    if (!is_continuation(p[3]))
        throw Error(errfmt_fourth_bad.tr().arg(not_utf8, b0, b1, b2, b3));
    const unsigned long code =
        (p[0] & 0x07ul) << 18 | (p[1] & 0x3Ful) << 12 | (p[2] & 0x3Ful) << 6 | (p[3] & 0x3Ful);
    if (code <= 0xFFFF)
        throw Error(errfmt_overlong_4.tr().arg(not_utf8, b0, b1, b2, b3));
    end = position + 4;
    return code;
}

bool Utf8_text_parser::get_printable_utf8_string(QString& out)
{
    QString result;
    Dst_printable_utf16 dst(*this, result);
    if (!get_utf8_string(dst))
        return false;
    if (dst.fill != dst.end)
        throw Err(errfmt_room_left.tr().arg(QString::number(dst.size), QString::number(dst.end - dst.fill)));
    out = std::move(result);
    return true;
}

QString Utf8_text_parser::req_printable_utf8_string()
{
    QString result;
    if (!get_printable_utf8_string(result))
        throw Error(errtext_string_expected.tr());
    return result;
}

void Dst_utf16::consider(unsigned long code)
{
    if (code >= 0xD800 && code <= 0xDFFF)
        throw parser.Error(errfmt_surrogate.tr().arg(hex(code, 4)));
    if (code > 0x10FFFF)
        throw parser.Error(errfmt_code_too_big.tr().arg(hex(code, 0)));
    const qint32 units = code > 0xFFFF ? 2 : 1;
    if (size > std::numeric_limits<qint32>::max() - units)
        throw parser.Error(errtext_literal_too_long.tr());
    size += units;
}

void Dst_utf16::allocate()
{
    result.resize(size);
    fill = result.data();
    end = fill + size;
}

void Dst_utf16::put(unsigned long code)
{
    if (code > 0xFFFF) {
        if (end - fill < 2)
            throw Err(errfmt_overflow_pair.tr().arg(hex(code, 6), QString::number(size),
                                                    QString::number(2 - (end - fill))));
        const unsigned long offset = code - 0x10000;
        *fill++ = QChar(static_cast<ushort>(0xD800 + (offset >> 10)));
        *fill++ = QChar(static_cast<ushort>(0xDC00 + (code & 0x3FF)));
        return;
    }
    if (fill == end)
        throw Err(errfmt_overflow.tr().arg(hex(code, 4), QString::number(size)));
    *fill++ = QChar(static_cast<ushort>(code));
}

void Dst_printable_utf16::consider(unsigned long code)
{
    if (code <= 0x1F || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
        throw parser.Error(errfmt_control_char.tr().arg(hex(code, 2)));
    Dst_utf16::consider(code);
}

Utf8_file_parser::Utf8_file_parser(const QString& file_name) : file_name(file_name)
{
    load_text_file(file_name, text);
    init(text.constData());
}

// The name runs to a blank, the assignment, a separator or the end of the line; a missing name
// (a parenthesis after a comma) is not quoted.
Err Utf8_file_parser::unknown_name_error(const QString& reason) const
{
    int size = 0;
    while (size < max_quoted_name && position[size] != 0 && !std::strchr(" \t\r\n=,);", position[size]))
        ++size;
    if (size == 0)
        return Error(reason);
    return Error(reason + QLatin1Char(' ') + errfmt_name_given.tr().arg(QString::fromUtf8(position, size)));
}

Err Utf8_file_parser::Error(const QString& reason) const
{
    return Err(errfmt_file_error.tr().arg(QString::number(position - line_start + 1), QString::number(line),
                                          file_name, reason));
}
