// Tests of the JSON scanner of server messages and of the common message fields:
// positions and texts of every format violation, skipping, deep nesting.
#include "link/ws_fields.h"
#include "link/ws_parser.h"
#include "test_util.h"

#include <QtTest>
#include <functional>

namespace {

typedef std::function<void(Ws_parser&)> Scan;

const char json_frame[] =
    "Ошибка в %1-м символе %2-й строки текстового сообщения, пришедшего через соединение "
    "WebSocket: ";
const char text_quote_expected[] = "ожидается символ «\"».";
const char text_colon_expected[] = "ожидается символ «:».";
const char text_unknown_type[] =
    "нарушение формата JSON: значение неизвестного типа (не строка, не число, не объект и т.д.). "
    "Код первого символа значения: 0x%1.";
const char text_bad_obj_next[] =
    "ожидается запятая между полями объекта JSON, или фигурная скобка, завершающая объект. Вместо "
    "этого обнаружен символ 0x%1.";
const char text_hex16[] = "ожидается 16-значное шестнадцатиричное число.";

QString framed(int column, int line, const QString& reason)
{
    return QString::fromUtf8(json_frame).arg(column).arg(line) + reason;
}

QString framed(int column, const char* reason)
{
    return framed(column, 1, QString::fromUtf8(reason));
}

// The message of the error that scan throws on text, or a note that nothing was thrown.
QString error_of(const QString& text, const Scan& scan)
{
    Ws_parser p(text);
    try {
        scan(p);
    } catch (const Err& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

// Walks an object the way the message handlers do.
void read_fields(Ws_parser& p, Ws_common_fields& f)
{
    p.skip_blank();
    p.req_sym('{');
    if (p.json_first_field())
        do
            f.field(p);
        while (p.json_next_field());
}

void skip_object(Ws_parser& p)
{
    p.req_sym('{');
    if (p.json_first_field())
        do
            p.skip_json_field();
        while (p.json_next_field());
}

// The value at the start of text is skipped; returns what is left after it.
QString rest_after_value(const QString& text)
{
    Ws_parser p(text);
    p.skip_json_value();
    return QString(reinterpret_cast<const QChar*>(p.position));
}

}  // namespace

class Test_ws_parser : public QObject {
    Q_OBJECT

    Temp_log temp_log;

private slots:
    void empty_object();
    void walk_fields_and_items();
    void trailing_commas();
    void duplicate_fields();
    void unterminated_strings();
    void string_escapes_data();
    void string_escapes();
    void escape_errors_data();
    void escape_errors();
    void skip_values_data();
    void skip_values();
    void skip_errors_data();
    void skip_errors();
    void lines_and_columns();
    void keyword_followed_by_letter();
    void deep_nesting_does_not_crash();
    void errors_are_logged();
    void typed_readers();
    void common_fields_all();
    void common_fields_errors_data();
    void common_fields_errors();
    void common_fields_skipped_names();
    void common_fields_values();
    void is_resp();
    void any_field_name();
};

void Test_ws_parser::empty_object()
{
    const QString text = QStringLiteral(" { } ");
    Ws_parser p(text);
    p.skip_blank();
    p.req_sym('{');
    QVERIFY(!p.json_first_field());
    QCOMPARE(int(p.position - text.utf16()), 4);
}

void Test_ws_parser::walk_fields_and_items()
{
    const QString text = QStringLiteral("{ \"a\" : [ 1 , \"x\" ] ,\"b\":{}}");
    Ws_parser p(text);
    p.req_sym('{');
    bool seen_a = false;
    QVERIFY(p.json_first_field());
    QVERIFY(p.json_field("a", seen_a));
    QVERIFY(seen_a);
    p.req_sym('[');
    QVERIFY(p.json_first_item());
    p.skip_json_value();
    QVERIFY(p.json_next_item());
    QCOMPARE(p.req_json_string(), QStringLiteral("x"));
    QVERIFY(!p.json_next_item());
    QVERIFY(p.json_next_field());
    QVERIFY(!p.json_field("a", seen_a));
    p.skip_json_field();
    QVERIFY(!p.json_next_field());
    QCOMPARE(*p.position, ushort(0));
}

void Test_ws_parser::trailing_commas()
{
    QCOMPARE(error_of(QStringLiteral("{\"a\":1,}"), skip_object),
             framed(8, text_quote_expected));
    QCOMPARE(error_of(QStringLiteral("[1,]"), [](Ws_parser& p) { p.skip_json_value(); }),
             framed(4, 1, QString::fromUtf8(text_unknown_type).arg("005d")));
    QCOMPARE(error_of(QStringLiteral("{\"a\":[1,2}"), skip_object),
             framed(10,
                    "ожидается запятая, разделяющая элементы массива JSON, или квадратная скобка, "
                    "завершающая массив."));
    QCOMPARE(error_of(QStringLiteral("{,}"), skip_object),
             framed(2,
                    "ожидается кавычка, начинающая первое поле объекта JSON, или фигурная скобка, "
                    "завершающая объект."));
    QCOMPARE(error_of(QStringLiteral("{\"a\" 1}"), skip_object), framed(6, text_colon_expected));
}

void Test_ws_parser::duplicate_fields()
{
    const QString text = QStringLiteral("{\"a\":1, \"a\":2}");
    const QString with_bool = error_of(text, [](Ws_parser& p) {
        bool seen = false;
        p.req_sym('{');
        p.json_first_field();
        p.json_field("a", seen);
        p.skip_json_value();
        p.json_next_field();
        p.json_field("a", seen);
    });
    QCOMPARE(with_bool, framed(10, "поле \"a\" уже есть в этой структуре JSON."));
    const QString with_flags = error_of(text, [](Ws_parser& p) {
        unsigned char flags = 0;
        p.req_sym('{');
        p.json_first_field();
        p.json_field("b", flags, 0x01);
        p.json_field("a", flags, 0x04);
        p.skip_json_value();
        p.json_next_field();
        QCOMPARE(flags, static_cast<unsigned char>(0x04));
        p.json_field("b", flags, 0x01);
        p.json_field("a", flags, 0x04);
    });
    QCOMPARE(with_flags, framed(10, "\"a\" уже есть в этой структуре JSON."));
}

void Test_ws_parser::unterminated_strings()
{
    const QString text = QStringLiteral("{\"a\": \"abc\\\"");
    QCOMPARE(error_of(text,
                      [](Ws_parser& p) {
                          bool seen = false;
                          p.req_sym('{');
                          p.json_first_field();
                          p.json_field("a", seen);
                          p.req_json_string();
                      }),
             framed(7, "не найдена закрывающая кавычка, соответствующая этой открывающей кавычке."));
    const char cannot_skip[] =
        "нарушение формата JSON: обнаружена двойная кавычка, начинающая строку, но в оставшейся "
        "части текста нет парной ей двойной кавычки, завершающей эту строку.";
    QCOMPARE(error_of(text, skip_object), framed(7, cannot_skip));
    QCOMPARE(error_of(QStringLiteral("{\"abc\\"), skip_object), framed(2, cannot_skip));
    QCOMPARE(error_of(QStringLiteral("1"), [](Ws_parser& p) { p.req_json_string(); }),
             framed(1, "ожидается строка в двойных кавычках."));
    QString untouched = QStringLiteral("kept");
    Ws_parser p(text);
    QVERIFY(!p.get_json_string(untouched));
    QCOMPARE(untouched, QStringLiteral("kept"));
}

void Test_ws_parser::string_escapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("u004A") << QStringLiteral("\"\\u004A\"") << QStringLiteral("J");
    QTest::newRow("lowercase hex") << QStringLiteral("\"a\\u00e9b\"") << QString::fromUtf8("aéb");
    QTest::newRow("simple") << QStringLiteral("\"\\\"\\/\\\\\\b\\f\\n\\r\\t\"")
                            << QStringLiteral("\"/\\\b\f\n\r\t");
    QTest::newRow("surrogates unpaired")
        << QStringLiteral("\"\\uD83D\"") << QString(QChar(ushort(0xD83D)));
    QTest::newRow("zero") << QStringLiteral("\"\\u0000x\"") << QString(QChar(ushort(0))) + 'x';
    QTest::newRow("raw controls") << QStringLiteral("\"\t\x01\"") << QStringLiteral("\t\x01");
    QTest::newRow("empty") << QStringLiteral("\"\"") << QString();
}

void Test_ws_parser::string_escapes()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    Ws_parser p(text);
    QString out = QStringLiteral("old");
    QVERIFY(p.get_json_string(out));
    QCOMPARE(out, expected);
    QCOMPARE(*p.position, ushort(0));
    QCOMPARE(rest_after_value(text), QString());
}

void Test_ws_parser::escape_errors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three digits") << QStringLiteral("\"\\u004\"")
                                  << framed(7,
                                            "в строке JSON обнаружена неправильная "
                                            "escape-последовательность \\uXXXX: вместо очередной "
                                            "шестнадцатиричной цифры обнаружен символ с кодом "
                                            "0x0022.");
    QTest::newRow("x") << QStringLiteral("\"ab\\x\"")
                       << framed(5,
                                 "неправильная escape-последовательность в строке JSON: после "
                                 "символа «\\» идёт недопустимый символ с кодом 0x0078.");
    QTest::newRow("end after backslash")
        << QStringLiteral("\"ab\\")
        << framed(5,
                  "в строке JSON обнаружена неправильная escape-последовательность: сразу после "
                  "символа «\\» обнаружен конец разбираемого текста.");
    QTest::newRow("end in hex") << QStringLiteral("\"\\u00")
                                << framed(6,
                                          "в строке JSON обнаружена неправильная "
                                          "escape-последовательность \\uXXXX: ожидается "
                                          "очередная шестнадцатиричная цифра, обнаружен конец "
                                          "разбираемого текста.");
}

void Test_ws_parser::escape_errors()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(error_of(text, [](Ws_parser& p) { p.req_json_string(); }), expected);
}

void Test_ws_parser::skip_values_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("-0.5") << QStringLiteral("-0.5");
    QTest::newRow("12") << QStringLiteral("12");
    QTest::newRow("1.5e3") << QStringLiteral("1.5e3");
    QTest::newRow("1e5") << QStringLiteral("1e5");
    QTest::newRow("2E-7") << QStringLiteral("2E-7");
    QTest::newRow("leading zeros") << QStringLiteral("007.10E+02");
    QTest::newRow("keywords") << QStringLiteral("[true,false,null]");
    QTest::newRow("string with escapes") << QStringLiteral("\"a\\\"b\\\\\\q\"");
    QTest::newRow("empty array") << QStringLiteral("[ ]");
    QTest::newRow("empty object") << QStringLiteral("{ }");
    QTest::newRow("mixed nesting")
        << QStringLiteral("[{\"a\":[1,{\"b\":[]},{}],\"c\":{\"d\":[[\"]\"]]}}, 2 ,[{}] ]");
    QTest::newRow("object in arrays")
        << QStringLiteral("{\"x\":[[{\"y\":{\"z\":[-1,\"}\"]}}]],\"w\":{}}");
}

void Test_ws_parser::skip_values()
{
    QFETCH(QString, value);
    QCOMPARE(rest_after_value(value + QStringLiteral(",X")), QStringLiteral(",X"));
}

void Test_ws_parser::skip_errors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("minus letter") << QStringLiteral("[-a]")
                                  << framed(3,
                                            "нарушение формата JSON: обнаружен минус, но после "
                                            "него не идёт ни одной цифры.");
    QTest::newRow("point blank") << QStringLiteral("[1. ]")
                                 << framed(4,
                                           "нарушение формата JSON: обнаружена точка, разделяющая "
                                           "целую и дробную части десятичного числа, но после "
                                           "неё нет ни одной цифры.");
    QTest::newRow("exponent comma") << QStringLiteral("[1.5e+,2]")
                                    << framed(7,
                                              "нарушение формата JSON: обнаружен символ «E», "
                                              "разделяющий мантиссу и порядок десятичного числа, "
                                              "но после него нет ни одной цифры.");
    QTest::newRow("broken keyword")
        << QStringLiteral("[1, nul,2]") << framed(5, 1, QString::fromUtf8(text_unknown_type).arg("006e"));
    QTest::newRow("plus") << QStringLiteral("+1")
                          << framed(1, 1, QString::fromUtf8(text_unknown_type).arg("002b"));
    QTest::newRow("end of text") << QStringLiteral("{\"a\":")
                                 << framed(6, 1, QString::fromUtf8(text_unknown_type).arg("0000"));
    QTest::newRow("missing comma in nested object")
        << QStringLiteral("[{\"a\":1 \"b\":2}]")
        << framed(9, 1, QString::fromUtf8(text_bad_obj_next).arg("0022"));
}

void Test_ws_parser::skip_errors()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(error_of(text, [](Ws_parser& p) { p.skip_json_value(); }), expected);
}

void Test_ws_parser::lines_and_columns()
{
    // After CR LF and LF the third character of the next line is character 3 of line 3.
    QCOMPARE(error_of(QStringLiteral("{\r\n\"a\":1\n  x}"), skip_object),
             framed(3, 3, QString::fromUtf8(text_bad_obj_next).arg("0078")));
    // A lone CR ends a line too, and CR LF is one line end, not two.
    QCOMPARE(error_of(QStringLiteral("{\"a\":1,\r\r\n\t\"b\"\r1}"), skip_object),
             framed(1, 4, QString::fromUtf8(text_colon_expected)));
    // A character outside the BMP takes two columns.
    const QString astral = QString::fromUtf8("{\"a\":\"\xF0\x9F\x98\x80\", x}");
    QCOMPARE(error_of(astral, skip_object), framed(12, text_quote_expected));
    Ws_parser p(astral);
    p.req_sym('{');
    bool seen = false;
    p.json_first_field();
    p.json_field("a", seen);
    QCOMPARE(p.req_json_string(), QString::fromUtf8("\xF0\x9F\x98\x80"));
}

void Test_ws_parser::keyword_followed_by_letter()
{
    QCOMPARE(rest_after_value(QStringLiteral("trueX")), QStringLiteral("X"));
    QCOMPARE(error_of(QStringLiteral("{\"a\":trueX}"), skip_object),
             framed(10, 1, QString::fromUtf8(text_bad_obj_next).arg("0058")));
}

void Test_ws_parser::deep_nesting_does_not_crash()
{
    const int depth = 1000000;
    const QString open_only = QStringLiteral("{\"a\":") + QString(depth, QLatin1Char('['));
    QCOMPARE(error_of(open_only, skip_object),
             framed(depth + 6, 1, QString::fromUtf8(text_unknown_type).arg("0000")));

    const QString balanced = QString(depth, QLatin1Char('[')) + QString(depth, QLatin1Char(']'));
    QCOMPARE(rest_after_value(balanced + QLatin1Char(',')), QStringLiteral(","));

    QString objects;
    for (int i = 0; i < depth / 10; ++i)
        objects += QStringLiteral("{\"k\":[");
    objects += QStringLiteral("0");
    for (int i = 0; i < depth / 10; ++i)
        objects += QStringLiteral("]}");
    QCOMPARE(rest_after_value(objects), QString());
    // One closing brace too few: the outermost object meets the end of the text.
    objects.chop(1);
    QCOMPARE(error_of(objects, [](Ws_parser& p) { p.skip_json_value(); }),
             framed(objects.size() + 1, 1, QString::fromUtf8(text_bad_obj_next).arg("0000")));
}

void Test_ws_parser::errors_are_logged()
{
    temp_log.clear();
    const QString message = error_of(QStringLiteral("{\"a\":1,}"), skip_object);
    const QString logged = QString::fromUtf8(temp_log.text());
    QVERIFY2(logged.endsWith(message + QStringLiteral("\n\n")), qPrintable(logged));
    QCOMPARE(logged.count(QString::fromUtf8("Ошибка в ")), 1);
}

void Test_ws_parser::typed_readers()
{
    const QString eui = QStringLiteral("\"0123456789abcDEF\",");
    Ws_parser p(eui);
    QCOMPARE(p.req_json_eui(), Q_UINT64_C(0x0123456789ABCDEF));
    QCOMPARE(*p.position, ushort(','));
    QCOMPARE(error_of(QStringLiteral("0123456789abcDEF"), [](Ws_parser& q) { q.req_json_eui(); }),
             framed(1, text_quote_expected));

    const char bool_expected[] = "ожидается слово «true» или «false».";
    Ws_parser t(QStringLiteral("true"));
    QVERIFY(t.req_json_bool());
    Ws_parser f(QStringLiteral("false"));
    QVERIFY(!f.req_json_bool());
    for (const char* bad : {"tru", "null", "1", "False"})
        QCOMPARE(error_of(QString::fromLatin1(bad), [](Ws_parser& q) { q.req_json_bool(); }),
                 framed(1, bool_expected));
}

void Test_ws_parser::common_fields_all()
{
    const QString text = QStringLiteral(
        "{\"cmd\":\"rx\",\"status\":true,\"err_string\":\"e \\u0041\",\"devEui\":\"00aBcDeF01234567\","
        "\"port\":0223,\"data\":\"0a0B\",\"other\":[1,{\"cmd\":2}]}");
    Ws_parser p(text);
    Ws_common_fields f;
    read_fields(p, f);
    QCOMPARE(f.flags, static_cast<unsigned char>(0x3F));
    QCOMPARE(f.cmd, QStringLiteral("rx"));
    QVERIFY(f.status);
    QCOMPARE(f.err_string, QStringLiteral("e A"));
    QCOMPARE(f.devEui, Q_UINT64_C(0x00ABCDEF01234567));
    QCOMPARE(int(f.port), 223);
    QCOMPARE(f.data, QByteArray("\x0a\x0b", 2));
}

void Test_ws_parser::common_fields_errors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cmd twice") << QStringLiteral("{\"cmd\":\"rx\",\"cmd\":\"rx\"}")
                               << framed(14, "\"cmd\" уже есть в этой структуре JSON.");
    QTest::newRow("port twice") << QStringLiteral("{\"port\":1,\n \"port\":1}")
                                << framed(3, 2, QStringLiteral("\"port\" уже есть в этой структуре JSON."));
    QTest::newRow("devEui 15 digits") << QStringLiteral("{\"devEui\":\"0123456789ABCDE\"}")
                                      << framed(12, text_hex16);
    QTest::newRow("devEui 17 digits") << QStringLiteral("{\"devEui\":\"0123456789ABCDEF0\"}")
                                      << framed(28, text_quote_expected);
    QTest::newRow("devEui number") << QStringLiteral("{\"devEui\":1}") << framed(11, text_quote_expected);
    QTest::newRow("port 224") << QStringLiteral("{\"port\":224}")
                              << framed(11, "число слишком большое (должно быть не более 223)");
    QTest::newRow("port 1000") << QStringLiteral("{\"port\":1000}")
                               << framed(12, "число слишком большое (должно быть не более 223)");
    QTest::newRow("port string") << QStringLiteral("{\"port\":\"2\"}")
                                 << framed(9, "ожидается десятичное число");
    QTest::newRow("data odd") << QStringLiteral("{\"data\":\"0a0\"}")
                              << framed(10,
                                        "этот массив данных должен состоять из целого числа байтов "
                                        "(а значит, из чётного числа шестнадцатиричных цифр).");
    QTest::newRow("data G") << QStringLiteral("{\"data\":\"0aG1\"}") << framed(12, text_quote_expected);
    QTest::newRow("data number") << QStringLiteral("{\"data\":12}") << framed(9, text_quote_expected);
    QTest::newRow("status word")
        << QStringLiteral("{\"status\":\"true\"}") << framed(11, "ожидается слово «true» или «false».");
    QTest::newRow("cmd number") << QStringLiteral("{\"cmd\":1}")
                                << framed(8, "ожидается строка в двойных кавычках.");
    QTest::newRow("colon") << QStringLiteral("{\"cmd\" \"rx\"}") << framed(8, text_colon_expected);
}

void Test_ws_parser::common_fields_errors()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    Ws_common_fields f;
    QCOMPARE(error_of(text, [&f](Ws_parser& p) { read_fields(p, f); }), expected);
}

void Test_ws_parser::common_fields_skipped_names()
{
    const QString text = QStringLiteral(
        "{\"cm\":1,\"cmdx\":\"a\",\"Cmd\":\"b\",\"c\\u006dd\":\"c\",\"dat\":1,\"datas\":[],\"x\":{},"
        "\"portx\":\"z\",\"statusy\":3,\"devEUI\":4,\"err\":5,\"\":6}");
    Ws_parser p(text);
    Ws_common_fields f;
    read_fields(p, f);
    QCOMPARE(f.flags, static_cast<unsigned char>(0));
    QCOMPARE(*p.position, ushort(0));
}

void Test_ws_parser::common_fields_values()
{
    const QString text = QStringLiteral(
        "{ \"port\" : 0 , \"data\" : \"\" , \"status\":false, \"devEui\":\"ffffffffffffffff\" }");
    Ws_parser p(text);
    Ws_common_fields f;
    f.data = "old";
    read_fields(p, f);
    QCOMPARE(f.flags, static_cast<unsigned char>(0x3A));
    QCOMPARE(int(f.port), 0);
    QVERIFY(f.data.isEmpty());
    QVERIFY(!f.status);
    QCOMPARE(f.devEui, ~Q_UINT64_C(0));
    Ws_parser upper(QStringLiteral("{\"devEui\":\"ABCDEF0123456789\",\"data\":\"FF00aa\"}"));
    Ws_common_fields g;
    read_fields(upper, g);
    QCOMPARE(g.devEui, Q_UINT64_C(0xabcdef0123456789));
    QCOMPARE(g.data, QByteArray("\xff\x00\xaa", 3));
}

void Test_ws_parser::is_resp()
{
    const QString name = QStringLiteral("auth_resp");
    auto resp = [&name](const char* text) {
        return error_of(QString::fromUtf8(text), [&name](Ws_parser& p) {
            Ws_common_fields f;
            read_fields(p, f);
            if (f.is_resp(p, name))
                throw Err(QStringLiteral("(accepted)"));
            throw Err(QStringLiteral("(another message)"));
        });
    };
    QCOMPARE(resp("{\"cmd\":\"rx\"}"), QStringLiteral("(another message)"));
    QCOMPARE(resp("{\"cmd\":\"rx\",\"status\":false}"), QStringLiteral("(another message)"));
    QCOMPARE(resp("{\"status\":true,\"cmd\":\"auth_resp\"}"), QStringLiteral("(accepted)"));
    QCOMPARE(resp("{\"status\":true}"),
             framed(16,
                    "в сообщении сервера RUVO-LoRa отсутствует обязательное поле \"cmd\" (ожидается "
                    "сообщение \"auth_resp\")."));
    QCOMPARE(resp("{\"cmd\":\"auth_resp\"}"),
             framed(20,
                    "в ответе сервера RUVO-LoRa \"auth_resp\" отсутствует обязательное поле "
                    "\"status\"."));
    QCOMPARE(resp("{\"cmd\":\"auth_resp\",\"status\":false,\"err_string\":\"нет %1 доступа\"}"),
             QString::fromUtf8("Сервер RUVO-LoRa отверг нашу команду (в ответе \"auth_resp\" "
                               "\"status\" равен «false»). Сообщение об ошибке (\"err_string\"): "
                               "«нет %1 доступа»."));
    QCOMPARE(resp("{\"cmd\":\"auth_resp\",\"status\":false}"),
             QString::fromUtf8("Сервер RUVO-LoRa отверг нашу команду (в ответе \"auth_resp\" "
                               "\"status\" равен «false»)."));
}

void Test_ws_parser::any_field_name()
{
    const Ws_common_fields f;
    QCOMPARE(f.any_field_name(0x38), QStringLiteral("devEui"));
    QCOMPARE(f.any_field_name(0x30), QStringLiteral("port"));
    QCOMPARE(f.any_field_name(0x20), QStringLiteral("data"));
    QCOMPARE(f.any_field_name(0x06), QStringLiteral("status"));
    QCOMPARE(f.any_field_name(0x01), QStringLiteral("cmd"));
    QCOMPARE(f.any_field_name(0), QString::fromUtf8("неизвестное поле (0)"));
    QCOMPARE(f.any_field_name(0xC0), QString::fromUtf8("неизвестное поле (c0)"));
}

QTEST_GUILESS_MAIN(Test_ws_parser)
#include "test_ws_parser.moc"
