// Tests of the UTF-8 scanner: blanks, line ends, comments, numbers, assignments, string
// literals with their escapes and UTF-8 checks, the error positions, and whole-file loading.
#include "tests/test_util.h"
#include "text/file_load.h"
#include "text/utf8_parser.h"

#include <QTemporaryDir>
#include <QtTest>
#include <climits>
#include <functional>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

typedef std::function<void(Utf8_file_parser&)> Action;

QString framed(const QString& file, int column, int line, const QString& reason)
{
    return QStringLiteral("Ошибка в %1-м символе %2-й строки файла «%3»: %4")
        .arg(QString::number(column), QString::number(line), file, reason);
}

// Stops the scan where it stands, so that the message shows the position.
const QString here = QStringLiteral("здесь");

const QString not_utf8 = QStringLiteral("разбираемый текст не является текстом в кодировке UTF-8. ");

// Lets file permissions bind this thread for the life of the object, even when it runs as the
// superuser (as in CI): the capabilities that override them leave the effective set and come back after.
class Permissions_bind {
public:
    Permissions_bind()
    {
        dropped = syscall(SYS_capget, &header, saved) == 0;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        dropped = dropped && syscall(SYS_capset, &header, reduced) == 0;
    }
    ~Permissions_bind()
    {
        if (dropped)
            syscall(SYS_capset, &header, saved);
    }
    bool dropped = false;

private:
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
};

}  // namespace

class Test_parser : public QObject {
    Q_OBJECT

    Temp_log temp_log;
    QTemporaryDir dir;

    QString path(const char* name) const { return dir.path() + QLatin1Char('/') + QLatin1String(name); }

    // Writes the text to a file, scans it with the action and returns the error message, or "".
    QString run(const QByteArray& text, const Action& action)
    {
        const QString name = path("t.cfg");
        write_file(name, text);
        try {
            Utf8_file_parser parser(name);
            action(parser);
        } catch (const Err& e) {
            return e.message();
        }
        return QString();
    }

    static void skip_and_stop(Utf8_file_parser& p)
    {
        p.skip_blank();
        throw p.Error(here);
    }

    static void read_literal(Utf8_file_parser& p) { p.req_printable_utf8_string(); }

private slots:
    void blanks_and_lines_data();
    void blanks_and_lines();
    void blank_errors_data();
    void blank_errors();
    void comment_on_last_line_ends_text();
    void crlf_lines_before_a_value();
    void decimal_numbers();
    void decimal_limits();
    void assignment();
    void literals_data();
    void literals();
    void literal_errors_data();
    void literal_errors();
    void joined_literal_counts_lines_once();
    void column_after_cyrillic_literal();
    void plain_utf16_keeps_controls();
    void missing_literal();
    void load_missing_file();
    void load_checks();
    void load_size_limit();
    void load_unreadable();
    void load_not_random_access();
};

void Test_parser::blanks_and_lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("line");

    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFk") << 1 << 1;
    QTest::newRow("space and tab") << QByteArray(" \tk") << 3 << 1;
    QTest::newRow("no-break space is two bytes") << QByteArray("\xC2\xA0k") << 3 << 1;
    QTest::newRow("LF") << QByteArray("\n  k") << 3 << 2;
    QTest::newRow("CR LF is one line end") << QByteArray("\r\n\r\nk") << 1 << 3;
    QTest::newRow("CR CR are two") << QByteArray("\r\rk") << 1 << 3;
    QTest::newRow("VT and FF") << QByteArray("\x0B\x0Ck") << 1 << 3;
    QTest::newRow("NEL") << QByteArray("\xC2\x85k") << 1 << 2;
    QTest::newRow("line and paragraph separators") << QByteArray("\xE2\x80\xA8\xE2\x80\xA9k") << 1 << 3;
    QTest::newRow("hash comment") << QByteArray("# comment\nk") << 1 << 2;
    QTest::newRow("slash comment") << QByteArray("// comment\r\n  k") << 3 << 2;
    QTest::newRow("single slash is a token") << QByteArray("  /k") << 3 << 1;
    QTest::newRow("comment skips bad bytes") << QByteArray("#\xFF\xC0\x01\xE2\x80\nk") << 1 << 2;
    QTest::newRow("comment ends at NEL") << QByteArray("# a\xC2\x85k") << 1 << 2;
    QTest::newRow("wide blanks") << QByteArray("\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xAF\xE2\x81\x9F\xE2\x81\xA0"
                                               "\xE3\x80\x80\xEF\xBB\xBFk")
                                 << 22 << 1;
}

void Test_parser::blanks_and_lines()
{
    QFETCH(QByteArray, text);
    QFETCH(int, column);
    QFETCH(int, line);
    QCOMPARE(run(text, skip_and_stop), framed(path("t.cfg"), column, line, here));
}

void Test_parser::blank_errors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");

    const QString wrong_encoding =
        QStringLiteral("неправильная кодировка. Текст должен быть в кодировке UTF-8 (или ASCII).");
    const QString byte = QStringLiteral("неожиданный байт 0x%1 (ожидаются пробельные символы или первый символ лексемы).");
    const QString two = QStringLiteral(
        "неожиданный символ UTF-8: 0x%1 0x%2 (ожидаются пробельные символы или первый символ лексемы).");
    const QString three = QStringLiteral(
        "неожиданный символ UTF-8: 0x%1 0x%2 0x%3 (ожидаются пробельные символы или первый символ лексемы).");

    QTest::newRow("UTF-16 LE mark") << QByteArray("\xFF\xFEk") << 1 << 1 << wrong_encoding;
    QTest::newRow("UTF-16 BE mark") << QByteArray("\xFE\xFF") << 1 << 1 << wrong_encoding;
    QTest::newRow("control byte") << QByteArray("\n \x01") << 2 << 2 << byte.arg("01");
    QTest::newRow("DEL") << QByteArray("\x7F") << 1 << 1 << byte.arg("7f");
    QTest::newRow("continuation byte") << QByteArray(" \x80") << 2 << 1 << byte.arg("80");
    QTest::newRow("letter outside ASCII") << QByteArray("\xD0\x96") << 1 << 1 << byte.arg("d0");
    QTest::newRow("zero width space") << QByteArray("\xE2\x80\x8B") << 3 << 1 << three.arg("e2", "80", "8b");
    QTest::newRow("C2 at the end")
        << QByteArray("  \xC2") << 3 << 1
        << QStringLiteral("нарушение формата UTF-8: байт 0xc2, и за ним сразу конец разбираемого текста.");
    QTest::newRow("C2 41") << QByteArray("\xC2\x41") << 2 << 1 << two.arg("c2", "41");
    QTest::newRow("euro sign") << QByteArray("\xE2\x82\xAC") << 2 << 1 << two.arg("e2", "82");
    QTest::newRow("E2 80 at the end")
        << QByteArray("\xE2\x80") << 1 << 1
        << QStringLiteral(
               "нарушение формата UTF-8: последовательность байтов 0xe2 0x80, и за ней сразу конец разбираемого "
               "текста.");
    QTest::newRow("EF BB BE") << QByteArray("\xEF\xBB\xBE") << 3 << 1 << three.arg("ef", "bb", "be");
}

void Test_parser::blank_errors()
{
    QFETCH(QByteArray, text);
    QFETCH(int, column);
    QFETCH(int, line);
    QFETCH(QString, reason);
    QCOMPARE(run(text, skip_and_stop), framed(path("t.cfg"), column, line, reason));
}

void Test_parser::comment_on_last_line_ends_text()
{
    for (const char* text : {"# last\xC2", "// last", "# a\xE2\x80"}) {
        const QString message = run(text, [](Utf8_file_parser& p) {
            p.skip_blank();
            if (*p.position == 0)
                throw p.Error(QStringLiteral("конец"));
        });
        QVERIFY2(message.endsWith(QStringLiteral("-й строки файла «%1»: конец").arg(path("t.cfg"))),
                 qPrintable(message));
    }
}

void Test_parser::crlf_lines_before_a_value()
{
    const QString message = run("# one\r\n# two\r\nkey = 5", [](Utf8_file_parser& p) {
        bool seen = false;
        p.skip_blank();
        QVERIFY(p.is_assignment("key", seen));
        throw p.Error(here);
    });
    QCOMPARE(message, framed(path("t.cfg"), 7, 3, here));
}

void Test_parser::decimal_numbers()
{
    const QString big = QStringLiteral("число слишком большое (должно быть не более %1)");
    const QString small = QStringLiteral("число слишком маленькое (должно быть не менее %1).");
    auto dec16 = [](Utf8_file_parser& p) { throw p.Error(QString::number(p.req_dec<16>(60000))); };
    auto dec32 = [](Utf8_file_parser& p) { throw p.Error(QString::number(p.req_dec<32>(1, 9999))); };
    const QString file = path("t.cfg");

    QCOMPARE(run("60000", dec16), framed(file, 6, 1, "60000"));
    QCOMPARE(run("007 ", dec16), framed(file, 4, 1, "7"));
    QCOMPARE(run("60001", dec16), framed(file, 5, 1, big.arg(60000)));
    QCOMPARE(run("x", dec16), framed(file, 1, 1, QStringLiteral("ожидается десятичное число")));
    QCOMPARE(run("9999)", dec32), framed(file, 5, 1, "9999"));
    QCOMPARE(run("1", dec32), framed(file, 2, 1, "1"));
    QCOMPARE(run("000", dec32), framed(file, 1, 1, small.arg(1)));
    QCOMPARE(run("10000", dec32), framed(file, 5, 1, big.arg(9999)));
    QCOMPARE(run("-1", dec32), framed(file, 1, 1, QStringLiteral("ожидается десятичное число.")));
}

void Test_parser::decimal_limits()
{
    struct Text_source {
        const char* position;
    };
    unsigned long value = 0;
    auto read = [&value](const char* text, unsigned long max) {
        static const char* const results[] = {"no number", "too big", "done"};
        Text_source source{text};
        const Dec_result result = dec_from_str(source, value, max);
        return QStringLiteral("%1 at %2").arg(QLatin1String(results[static_cast<int>(result)]))
            .arg(source.position - text);
    };
    QCOMPARE(read("18446744073709551615", ULONG_MAX), QStringLiteral("done at 20"));
    QCOMPARE(value, ULONG_MAX);
    QCOMPARE(read("18446744073709551616", ULONG_MAX), QStringLiteral("too big at 19"));
    QCOMPARE(read("184467440737095516150", ULONG_MAX), QStringLiteral("too big at 20"));
    QCOMPARE(read("65535x", 65535), QStringLiteral("done at 5"));
    QCOMPARE(value, 65535ul);
    QCOMPARE(read("65536", 65535), QStringLiteral("too big at 4"));
    QCOMPARE(read("+1", 65535), QStringLiteral("no number at 0"));
}

void Test_parser::assignment()
{
    const QString file = path("t.cfg");
    auto assign = [](bool seen_before) {
        return [seen_before](Utf8_file_parser& p) {
            bool seen = seen_before;
            if (!p.is_assignment("key", seen))
                throw p.Error(QStringLiteral("нет"));
            QVERIFY(seen);
            throw p.Error(here);
        };
    };
    QCOMPARE(run("key \t=  1", assign(false)), framed(file, 9, 1, here));
    QCOMPARE(run("key=1", assign(true)),
             framed(file, 4, 1, QStringLiteral("параметр «key» уже определён выше по тексту.")));
    QCOMPARE(run("key_2 = 1", assign(false)), framed(file, 4, 1, QStringLiteral("ожидается символ «=».")));
    QCOMPARE(run("ke = 1", assign(false)), framed(file, 1, 1, QStringLiteral("нет")));
    QCOMPARE(run("key # comment\n = 1", assign(false)), framed(file, 4, 2, here));
}

void Test_parser::literals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("value");

    QTest::newRow("empty") << QByteArray("\"\"") << QString();
    QTest::newRow("numeric escapes") << QByteArray("\"\\u0041\\x41\\101\"") << QStringLiteral("AAA");
    QTest::newRow("escaped punctuation") << QByteArray("\"\\\"\\'\\/\\?\\\\\"") << QStringLiteral("\"'/?\\");
    QTest::newRow("long x with leading zeros") << QByteArray("\"\\x000000000041z\"") << QStringLiteral("Az");
    QTest::newRow("octal takes three digits") << QByteArray("\"\\1234\\61\\618\"") << QStringLiteral("S4118");
    QTest::newRow("8-digit escape") << QByteArray("\"\\U0001F600\"") << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("raw 4-byte character") << QByteArray("\"\xF0\x9F\x98\x80!\"")
                                          << QString::fromUtf8("\xF0\x9F\x98\x80!");
    QTest::newRow("Cyrillic and no-break space") << QByteArray("\"Жук\xC2\xA0ёж\"")
                                                 << QString::fromUtf8("Жук\xC2\xA0ёж");
    QTest::newRow("largest 3-byte") << QByteArray("\"\xEF\xBF\xBF\xE0\xA0\x80\"") << QString::fromUtf8("\xEF\xBF\xBF\xE0\xA0\x80");
    QTest::newRow("joined over comments")
        << QByteArray("\"abc\" # first\n// second\r\n  \"\" \"def\"") << QStringLiteral("abcdef");
}

void Test_parser::literals()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, value);
    QString result = QStringLiteral("untouched");
    const QString message = run(text, [&result](Utf8_file_parser& p) {
        QVERIFY(p.get_printable_utf8_string(result));
        QCOMPARE(*p.position, '\0');
    });
    QCOMPARE(message, QString());
    QCOMPARE(result, value);
}

void Test_parser::literal_errors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("reason");

    const QString u16_byte = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\uHHHH: вместо %1-й шестнадцатиричной "
        "цифры кода символа обнаружен байт 0x%2.");
    const QString u16_end = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\uHHHH: вместо %1-й шестнадцатиричной "
        "цифры кода символа обнаружен конец разбираемого текста.");
    const QString u32_byte = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\UHHHHHHHH: вместо %1-й шестнадцатиричной "
        "цифры кода символа обнаружен байт 0x%2.");
    const QString surrogate = QStringLiteral(
        "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ невозможно перевести в "
        "кодировку UTF-16 - в ней он используется для кодирования суррогатных пар).");
    const QString too_big = QStringLiteral(
        "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ невозможно перевести в "
        "кодировку UTF-16 - его код слишком большой).");
    const QString control = QStringLiteral(
        "в строке обнаружен недопустимый символ с кодом 0x%1 (эта строка не должна содержать управляющие "
        "символы).");
    const QString line_feed =
        QStringLiteral("ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен перевод строки (0x%1).");
    const QString overlong = QStringLiteral(
        "%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: %2 (стандарт UTF-8 не "
        "допускает кодирование символа избыточным количеством байтов).");

    QTest::newRow("end of text") << QByteArray("\"abc") << 5
                                 << QStringLiteral("ожидается двойная кавычка, закрывающая строку, вместо неё "
                                                   "обнаружен конец разбираемого текста.");
    QTest::newRow("end of text in a second piece")
        << QByteArray("\"a\" \"b") << 7
        << QStringLiteral("ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен конец "
                          "разбираемого текста.");
    QTest::newRow("LF") << QByteArray("\"ab\ncd\"") << 4 << line_feed.arg("0a");
    QTest::newRow("CR") << QByteArray("\"ab\rcd\"") << 4 << line_feed.arg("0d");
    QTest::newRow("NEL") << QByteArray("\"\xC2\x85\"") << 2
                         << QStringLiteral("ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен "
                                           "перевод строки (U+85).");
    QTest::newRow("line separator")
        << QByteArray("\"\xE2\x80\xA8\"") << 2
        << QStringLiteral("ожидается двойная кавычка, закрывающая строку, обнаружен перевод строки (U+2028).");
    QTest::newRow("x without digits")
        << QByteArray("\"a\\x\"") << 3
        << QStringLiteral("в строке обнаружена неправильная escape-последовательность \\xHH...H: вместо первой "
                          "шестнадцатиричной цифры кода символа обнаружен байт 0x22.");
    QTest::newRow("x at the end")
        << QByteArray("\"\\x") << 2
        << QStringLiteral("в строке обнаружена неправильная escape-последовательность \\xHH...H: вместо первой "
                          "шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.");
    QTest::newRow("x over 32 bits")
        << QByteArray("\"\\x100000000\"") << 2
        << QStringLiteral("в строке обнаружена неправильная escape-последовательность \\xHH...H: код символа "
                          "слишком большой (не влезает в 32 бита).");
    QTest::newRow("x of 32 bits") << QByteArray("\"\\xFFFFFFFF\"") << 2 << too_big.arg("ffffffff");
    QTest::newRow("u with three digits") << QByteArray("\"\\u004\"") << 2 << u16_byte.arg("4", "22");
    QTest::newRow("u at the end") << QByteArray("\"\\u00") << 2 << u16_end.arg(3);
    QTest::newRow("U with seven digits") << QByteArray("\"\\U0011000\"") << 2 << u32_byte.arg("8", "22");
    QTest::newRow("U with a letter") << QByteArray("\"\\U0g\"") << 2 << u32_byte.arg("2", "67");
    QTest::newRow("escaped surrogate") << QByteArray("\"\\ud800\"") << 2 << surrogate.arg("d800");
    QTest::newRow("escaped code too big") << QByteArray("\"\\U00110000\"") << 2 << too_big.arg("110000");
    QTest::newRow("unknown escape")
        << QByteArray("\"\\q\"") << 2
        << QStringLiteral("в строке обнаружена неправильная escape-последовательность: после escape-символа «\\» "
                          "идёт байт 0x71.");
    QTest::newRow("escape at the end")
        << QByteArray("\"\\") << 2
        << QStringLiteral("в строке обнаружена неправильная escape-последовательность: сразу после escape-символа "
                          "«\\» обнаружен конец разбираемого текста.");
    QTest::newRow("raw tab") << QByteArray("\"a\tb\"") << 3 << control.arg("09");
    QTest::newRow("escaped tab") << QByteArray("\"\\t\"") << 2 << control.arg("09");
    QTest::newRow("octal zero") << QByteArray("\"\\0\"") << 2 << control.arg("00");
    QTest::newRow("C1 control") << QByteArray("\"\xC2\x9F\"") << 2 << control.arg("9f");
    QTest::newRow("DEL") << QByteArray("\"\x7F\"") << 2 << control.arg("7f");
    QTest::newRow("overlong 2") << QByteArray("\"\xC0\x80\"") << 2 << overlong.arg(not_utf8, "0xc0 0x80");
    QTest::newRow("overlong 3") << QByteArray("\"\xE0\x9F\xBF\"") << 2 << overlong.arg(not_utf8, "0xe0 0x9f 0xbf");
    QTest::newRow("overlong 4") << QByteArray("\"\xF0\x8F\xBF\xBF\"") << 2
                                << overlong.arg(not_utf8, "0xf0 0x8f 0xbf 0xbf");
    QTest::newRow("encoded surrogate") << QByteArray("\"\xED\xA0\x80\"") << 2 << surrogate.arg("d800");
    QTest::newRow("encoded code too big") << QByteArray("\"\xF4\x90\x80\x80\"") << 2 << too_big.arg("110000");
    QTest::newRow("F7 lead") << QByteArray("\"\xF7\xBF\xBF\xBF\"") << 2 << too_big.arg("1fffff");
    QTest::newRow("lone continuation")
        << QByteArray("\"ab\x80\"") << 4
        << not_utf8 + QStringLiteral("Внутри строкового литерала обнаружен байт 0x80 (который, согласно UTF-8, "
                                     "должен быть последующим байтом многобайтного символа), хотя перед ним не "
                                     "было первого байта многобайтного символа.");
    QTest::newRow("F8") << QByteArray("\"\xF8\"") << 2
                        << not_utf8 + QStringLiteral("Внутри строкового литерала обнаружен байт 0xf8 (запрещённый "
                                                     "текущей версией формата UTF-8).");
    QTest::newRow("truncated 2")
        << QByteArray("\"\xD0") << 2
        << not_utf8 + QStringLiteral("Внутри строкового литерала, после байта 0xd0 (первый байт многобайтного "
                                     "символа, согласно UTF-8) обнаружен конец разбираемого текста (вместо "
                                     "второго байта многобайтного символа).");
    QTest::newRow("bad second")
        << QByteArray("\"\xD0\"") << 2
        << not_utf8 + QStringLiteral("Внутри строкового литерала, после байта 0xd0 (первый байт многобайтного "
                                     "символа, согласно UTF-8) обнаружен байт 0x22 (не являющийся вторым байтом "
                                     "многобайтного символа).");
    QTest::newRow("truncated 3")
        << QByteArray("\"\xE2\x82") << 2
        << not_utf8 + QStringLiteral("Внутри строкового литерала, после байтов 0xe2 и 0x82 (первый и второй байты "
                                     "не менее чем трёхбайтного символа, согласно UTF-8) обнаружен конец "
                                     "разбираемого текста (вместо третьего байта символа).");
    QTest::newRow("bad third")
        << QByteArray("\"\xE2\x82z\"") << 2
        << not_utf8 + QStringLiteral("Внутри строкового литерала, после байтов 0xe2 и 0x82 (первый и второй байты "
                                     "не менее чем трёхбайтного символа, согласно UTF-8) обнаружен байт 0x7a (не "
                                     "являющийся третьим байтом символа).");
    QTest::newRow("truncated 4")
        << QByteArray("\"\xF0\x9F\x98") << 2
        << not_utf8 + QStringLiteral("Внутри строкового литерала, после байтов 0xf0, 0x9f и 0x98 (первый, второй и "
                                     "третий байты четырёхбайтного символа, согласно UTF-8) обнаружен конец "
                                     "разбираемого текста (вместо четвёртого байта символа).");
    QTest::newRow("bad fourth")
        << QByteArray("\"\xF0\x9F\x98\xC0\"") << 2
        << not_utf8 + QStringLiteral("Внутри строкового литерала, после байтов 0xf0, 0x9f и 0x98 (первый, второй и "
                                     "третий байты четырёхбайтного символа, согласно UTF-8) обнаружен байт 0xc0 "
                                     "(не являющийся четвёртым байтом символа).");
    QTest::newRow("after Cyrillic letters") << QByteArray("\"Жук\x01\"") << 5 << control.arg("01");
    QTest::newRow("zero width space after the literal")
        << QByteArray("\"a\"\xE2\x80\x8B") << 6
        << QStringLiteral("неожиданный символ UTF-8: 0xe2 0x80 0x8b (ожидаются пробельные символы или первый "
                          "символ лексемы).");
}

void Test_parser::literal_errors()
{
    QFETCH(QByteArray, text);
    QFETCH(int, column);
    QFETCH(QString, reason);
    QCOMPARE(run(text, read_literal), framed(path("t.cfg"), column, 1, reason));
}

void Test_parser::joined_literal_counts_lines_once()
{
    const QString message = run("\"ab\" # c\n\r\n \"cd\" \n x", [](Utf8_file_parser& p) {
        QCOMPARE(p.req_printable_utf8_string(), QStringLiteral("abcd"));
        QCOMPARE(p.line, 3u);
        QCOMPARE(*p.position, ' ');
        p.skip_blank();
        throw p.Error(here);
    });
    QCOMPARE(message, framed(path("t.cfg"), 2, 4, here));
}

void Test_parser::column_after_cyrillic_literal()
{
    const QString message = run("# x\nv = \"Жук\" !", [](Utf8_file_parser& p) {
        bool seen = false;
        p.skip_blank();
        QVERIFY(p.is_assignment("v", seen));
        QCOMPARE(p.req_printable_utf8_string(), QStringLiteral("Жук"));
        p.skip_blank();
        throw p.Error(here);
    });
    QCOMPARE(message, framed(path("t.cfg"), 11, 2, here));
}

void Test_parser::plain_utf16_keeps_controls()
{
    QString result;
    const QString message = run("\"\\t\\0\\x7F\\a\"", [&result](Utf8_file_parser& p) {
        Dst_utf16 dst(p, result);
        QVERIFY(p.get_utf8_string(dst));
        QCOMPARE(dst.fill, dst.end);
    });
    QCOMPARE(message, QString());
    QCOMPARE(result, QString(QChar(9)) + QChar(0) + QChar(0x7F) + QChar(7));
}

void Test_parser::missing_literal()
{
    QString out = QStringLiteral("untouched");
    const QString message = run("abc", [&out](Utf8_file_parser& p) {
        QVERIFY(!p.get_printable_utf8_string(out));
        QCOMPARE(*p.position, 'a');
        p.req_printable_utf8_string();
    });
    QCOMPARE(out, QStringLiteral("untouched"));
    QCOMPARE(message, framed(path("t.cfg"), 1, 1, QStringLiteral("здесь должна быть строка в двойных кавычках.")));
}

void Test_parser::load_missing_file()
{
    const QString name = path("absent.cfg");
    QByteArray data("old");
    QVERIFY(!load_file_if(name, data));
    QVERIFY(!load_text_file_if(name, data));
    QCOMPARE(data, QByteArray("old"));
    try {
        load_text_file(name, data);
        QFAIL("a missing file was loaded");
    } catch (const Err& e) {
        QCOMPARE(e.message(), QStringLiteral("Не найден файл «%1».").arg(name));
    }
    QCOMPARE(run("", skip_and_stop), framed(path("t.cfg"), 1, 1, here));
}

void Test_parser::load_checks()
{
    const QString name = path("data.bin");
    QByteArray data("old");
    write_file(name, QByteArray());
    QVERIFY(load_text_file_if(name, data));
    QVERIFY(data.isEmpty());

    const QByteArray with_zero("ab\0cd", 5);
    write_file(name, with_zero);
    QVERIFY(load_file_if(name, data));
    QCOMPARE(data, with_zero);
    try {
        load_text_file(name, data);
        QFAIL("a text with a zero byte was loaded");
    } catch (const Err& e) {
        QCOMPARE(e.message(), QStringLiteral("Файл «%1» не может быть текстовым: он содержит нулевые байты.").arg(name));
        QVERIFY(data.isEmpty());
    }
}

void Test_parser::load_size_limit()
{
    const QString name = path("big.bin");
    {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(max_loaded_file_size));
    }
    QByteArray data;
    QVERIFY(load_file_if(name, data));
    QCOMPARE(data.size(), 67108864);
    data.clear();
    QVERIFY(QFile(name).resize(max_loaded_file_size + 1));
    try {
        load_file_if(name, data);
        QFAIL("a file over the limit was loaded");
    } catch (const Err& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Файл «%1» слишком большой (должен быть не длиннее 67108864 байтов).").arg(name));
    }
    QFile::remove(name);
}

void Test_parser::load_unreadable()
{
    const QString folder = dir.path();
    QByteArray data;
    try {
        load_file_if(folder, data);
        QFAIL("a folder was loaded");
    } catch (const Err& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Ошибка при попытке открыть файл «%1»: error=5, errorString=«")
                                            .arg(folder)),
                 qPrintable(e.message()));
    }
    const QString name = path("locked.cfg");
    write_file(name, "a = 1");
    QVERIFY(QFile::setPermissions(name, QFileDevice::Permissions()));
    const Permissions_bind bind;
    QVERIFY(bind.dropped);
    try {
        load_text_file(name, data);
        QFAIL("a file without read permission was loaded");
    } catch (const Err& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Ошибка при попытке открыть файл «%1»: error=5").arg(name)),
                 qPrintable(e.message()));
    }
}

void Test_parser::load_not_random_access()
{
    const QString fifo = path("pipe");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& name : {fifo, QStringLiteral("/dev/null")}) {
        QByteArray data;
        try {
            load_text_file(name, data);
            QFAIL("a sequential device was loaded");
        } catch (const Err& e) {
            QCOMPARE(e.message(), QStringLiteral("Файл «%1» не является обычным (random-access) файлом - не умею "
                                                 "работать с такими файлами.")
                                      .arg(name));
        }
    }
}

QTEST_GUILESS_MAIN(Test_parser)
#include "test_parser.moc"
