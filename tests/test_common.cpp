// Tests of the log, its dumps, the exceptions, internal-error texts and the hexadecimal helpers.
#include "common/err.h"
#include "common/hex.h"
#include "test_util.h"
#include "ui/error_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <vector>

namespace {

const QString timestamp_pattern = QStringLiteral("\\[\\d{1,2}\\.\\d{1,2}\\.\\d{4} \\d{1,2}:\\d{2}:\\d{2}\\.\\d{3}\\] ");

// The texts of the entries in a log, without their timestamps.
QStringList entries(const QByteArray& log_text)
{
    QStringList result;
    const QRegularExpression stamp(QLatin1Char('^') + timestamp_pattern);
    for (const QString& entry : QString::fromUtf8(log_text).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        QString text = entry;
        text.remove(stamp);
        result << text;
    }
    return result;
}

QString last_entry(const Temp_log& log_file)
{
    const QStringList all = entries(log_file.text());
    return all.isEmpty() ? QString() : all.last();
}

bool printable(const QByteArray& data)
{
    return is_printable_utf8(reinterpret_cast<const unsigned char*>(data.constData()),
                             static_cast<size_t>(data.size()));
}

// Closes the next modal box and keeps its text.
class Box_closer : public QObject {
public:
    QString text;
    void arm()
    {
        QTimer::singleShot(0, this, [this] { poll(); });
    }

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, this, [this] { poll(); });
            return;
        }
        text = box->text();
        box->escapeButton()->click();
    }
};

}  // namespace

class Test_common : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void log_entry_is_exact();
    void log_entries_of_two_threads_never_interleave();
    void unwritable_log_prints_notice();
    void data_dumps_at_their_boundaries();
    void printable_utf8_rules();
    void text_dumps();
    void text_dump_writes_the_data_bytes_unchanged();
    void internal_error_codes();
    void err_is_logged_once();
    void std_exception_is_logged_by_its_handler();
    void error_box_shows_message_and_title();
    void hex_buffer_writes_in_place_and_detaches();
    void unhex_accepts_only_hex_digits();
};

// The program's start-up installs the error box; these tests show it without a start-up.
void Test_common::initTestCase()
{
    install_error_box();
}

void Test_common::log_entry_is_exact()
{
    Temp_log log_file;
    QVERIFY(log("Проверка"));
    QVERIFY(log(QString()));
    const QByteArray text = log_file.text();
    const QRegularExpression exact(QStringLiteral("^") + timestamp_pattern + QStringLiteral("Проверка\n\n") +
                                   timestamp_pattern + QStringLiteral("\n\n$"));
    QVERIFY2(exact.match(QString::fromUtf8(text)).hasMatch(), text.constData());
    const QDateTime now = QDateTime::currentDateTime();
    QVERIFY(text.startsWith(now.toString(QStringLiteral("[d.M.yyyy ")).toUtf8()));
}

void Test_common::log_entries_of_two_threads_never_interleave()
{
    Temp_log log_file;
    const int count = 300;
    const QString long_a(500, QLatin1Char('a'));
    const QString long_b(500, QLatin1Char('b'));
    QThread* other = QThread::create([&] {
        for (int i = 0; i < count; ++i)
            log(long_b);
    });
    other->start();
    for (int i = 0; i < count; ++i)
        log(long_a);
    other->wait();
    delete other;
    const QStringList all = entries(log_file.text());
    QCOMPARE(all.size(), 2 * count);
    QCOMPARE(all.count(long_a), count);
    QCOMPARE(all.count(long_b), count);
}

void Test_common::unwritable_log_prints_notice()
{
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(QStringLiteral(RUVO_BRIDGE_EXE), {QStringLiteral("--log=/nonexistent-folder/ruvo.log")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("Error in logging.\n"));
    // Standard error says why, and what the lost entry was.
    const QString told = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(told.contains(QStringLiteral("Не удалось записать в журнал «/nonexistent-folder/ruvo.log» (%1).")
                               .arg(qt_error_string(ENOENT))) &&
                 told.contains(QStringLiteral("программа запускается...")),
             qPrintable(told));
}

void Test_common::data_dumps_at_their_boundaries()
{
    Temp_log log_file;
    const unsigned char two[] = {0x01, 0xAB};
    log_data("p: ", two, 2);
    QCOMPARE(last_entry(log_file), QStringLiteral("p: 0x{01 AB}"));
    log_data("p: ", two, 0);
    QCOMPARE(last_entry(log_file), QStringLiteral("p: {}"));
    log_data("p: ", nullptr, 5);
    QCOMPARE(last_entry(log_file), QStringLiteral("p: NULL"));
    log_data(nullptr, two, 2);
    QCOMPARE(last_entry(log_file), QStringLiteral("Неожиданная ошибка №0.1."));

    std::vector<unsigned char> big(100001);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i);
    log_data("p: ", big.data(), 100000);
    QString dump = last_entry(log_file);
    QCOMPARE(dump.size(), 3 + 3 + 100000 * 3 - 1 + 1);
    QVERIFY(dump.endsWith(QStringLiteral(" 9E 9F}")));  // byte 99999 is 0x9F
    log_data("p: ", big.data(), 100001);
    dump = last_entry(log_file);
    QCOMPARE(dump.size(), 3 + 3 + 99999 * 3 - 1 + 4);
    QVERIFY(dump.endsWith(QStringLiteral(" 9D 9E...}")));  // the last byte dumped is 99998
}

void Test_common::printable_utf8_rules()
{
    QVERIFY(printable(QByteArray()));
    QVERIFY(printable("abc"));
    QVERIFY(printable(QStringLiteral("Счётчик №1").toUtf8()));
    QVERIFY(printable(QByteArray("\xF0\x9F\x98\x80")));  // a character outside the BMP
    QVERIFY(printable(QByteArray("\xC0\x80")));          // overlong forms pass
    QVERIFY(!printable("a\nb"));
    QVERIFY(!printable("a\tb"));
    QVERIFY(!printable("\x7F"));
    QVERIFY(!printable("\xC2\x85"));   // C1 control
    QVERIFY(!printable("\xC2\xAB"));   // «
    QVERIFY(!printable("\xC2\xBB"));   // »
    QVERIFY(printable("\xC2\xA0"));    // NO-BREAK SPACE
    QVERIFY(!printable("\xE2\x80\xA8"));
    QVERIFY(!printable("\xEF\xBB\xBF"));
    QVERIFY(!printable("\x80"));
    QVERIFY(!printable("\xE2\x80"));   // truncated
    QVERIFY(!printable("\xF8\x80\x80\x80"));
}

void Test_common::text_dumps()
{
    Temp_log log_file;
    log_utf8("t: ", reinterpret_cast<const unsigned char*>("abc"), 3);
    QCOMPARE(last_entry(log_file), QStringLiteral("t: «abc»"));
    log_utf8(QStringLiteral("t: "), QStringLiteral("Привет"));
    QCOMPARE(last_entry(log_file), QStringLiteral("t: «Привет»"));
    log_utf8(QStringLiteral("t: "), QString());
    QCOMPARE(last_entry(log_file), QStringLiteral("t: «»"));
    log_utf8(QStringLiteral("t: "), QStringLiteral("a\tb"));
    QCOMPARE(last_entry(log_file), QStringLiteral("t: 0x{61 09 62}"));
    log_utf8(QStringLiteral("t: "), QStringLiteral("«x»"));
    QCOMPARE(last_entry(log_file), QStringLiteral("t: 0x{C2 AB 78 C2 BB}"));
    log_utf8("t: ", nullptr, 3);
    QCOMPARE(last_entry(log_file), QStringLiteral("t: NULL"));
    log_utf8(nullptr, reinterpret_cast<const unsigned char*>("abc"), 3);
    QCOMPARE(last_entry(log_file), QStringLiteral("Неожиданная ошибка №0.3."));
}

// Overlong and surrogate forms pass as printable and must reach the file as they came, not as U+FFFD;
// a lone continuation byte is not text and shows in the hexadecimal dump.
void Test_common::text_dump_writes_the_data_bytes_unchanged()
{
    Temp_log log_file;
    const auto dump = [&](const QByteArray& data) {
        log_file.clear();
        log_utf8("t: ", reinterpret_cast<const unsigned char*>(data.constData()), static_cast<size_t>(data.size()));
        const QByteArray text = log_file.text();
        const int start = text.indexOf("] ") + 2;
        return text.mid(start, text.size() - start - 2);
    };
    QCOMPARE(dump("a\xC0\x80z"), QByteArray("t: \xC2\xAB" "a\xC0\x80z" "\xC2\xBB"));
    QCOMPARE(dump("\xED\xA0\x80"), QByteArray("t: \xC2\xAB" "\xED\xA0\x80" "\xC2\xBB"));
    QCOMPARE(dump("a\x80z"), QByteArray("t: 0x{61 80 7A}"));
}

void Test_common::internal_error_codes()
{
    QCOMPARE(debug_errtext(2305), QStringLiteral("Неожиданная ошибка №9.1."));
    QCOMPARE(debug_errtext(1), QStringLiteral("Неожиданная ошибка №0.1."));
    QCOMPARE(debug_errtext(0x0A01), QStringLiteral("Неожиданная ошибка №10.1."));
    QCOMPARE(debug_errtext(0x071A), QStringLiteral("Неожиданная ошибка №7.26."));
    Temp_log log_file;
    try {
        throw Debug(0x0704);
    } catch (const std::exception& e) {
        QVERIFY(is_err(e));
        QCOMPARE(static_cast<const Err&>(e).message(), QStringLiteral("Неожиданная ошибка №7.4."));
    }
    QCOMPARE(entries(log_file.text()), QStringList{QStringLiteral("Неожиданная ошибка №7.4.")});
}

void Test_common::err_is_logged_once()
{
    Temp_log log_file;
    try {
        throw Err(QStringLiteral("Сообщение"));
    } catch (const std::exception& e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("Error (class Err)."));
        log_exception(e, QStringLiteral("Обработчик."));
    }
    QCOMPARE(entries(log_file.text()), (QStringList{QStringLiteral("Сообщение"), QStringLiteral("Обработчик.")}));
}

void Test_common::std_exception_is_logged_by_its_handler()
{
    Temp_log log_file;
    try {
        throw std::runtime_error("boom");
    } catch (const std::exception& e) {
        QVERIFY(!is_err(e));
        log_exception(e, "Обработчик.");
        log_exception(e, static_cast<const char*>(nullptr));
    }
    QCOMPARE(entries(log_file.text()),
             (QStringList{QStringLiteral("Обработчик. Ошибка (std::exception): «boom»."),
                          QStringLiteral("Exception handler (NULL). Ошибка (std::exception): «boom».")}));
}

void Test_common::error_box_shows_message_and_title()
{
    Temp_log log_file;
    Box_closer closer;
    const Err error(QStringLiteral("Текст ошибки"));
    closer.arm();
    show_exception(error);
    QCOMPARE(closer.text, QStringLiteral("Текст ошибки"));
    QCOMPARE(error_title, QStringLiteral("ruvo_bridge 1.3.5: ошибка"));
    QCOMPARE(mbox_ok, QStringLiteral("Закрыть"));
    // Shown, not logged a second time.
    QCOMPARE(entries(log_file.text()), QStringList{QStringLiteral("Текст ошибки")});
}

void Test_common::hex_buffer_writes_in_place_and_detaches()
{
    Buf_hex64 buf;
    QCOMPARE(buf.str(), QString(16, QLatin1Char(' ')));
    QCOMPARE(buf.set(0), QStringLiteral("0000000000000000"));
    QCOMPARE(buf.set(171), QStringLiteral("00000000000000AB"));
    const QString copy = buf.str();
    buf.set(~0ULL);
    QCOMPARE(buf.str(), QStringLiteral("FFFFFFFFFFFFFFFF"));
    QCOMPARE(copy, QStringLiteral("00000000000000AB"));
    const QChar* detached = buf.str().constData();
    buf.set(0x0102030405A0B0C0ULL);
    QCOMPARE(buf.str(), QStringLiteral("0102030405A0B0C0"));
    QCOMPARE(buf.str().constData(), detached);  // unshared storage is rewritten in place
}

void Test_common::unhex_accepts_only_hex_digits()
{
    const QByteArray digits("0123456789abcdefABCDEF");
    const unsigned char values[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < digits.size(); ++i) {
        unsigned char v8 = 99;
        unsigned char v16 = 99;
        QVERIFY(unhex<unsigned char>(static_cast<unsigned char>(digits[i]), v8));
        QVERIFY(unhex<unsigned short>(static_cast<unsigned short>(digits[i]), v16));
        QCOMPARE(v8, values[i]);
        QCOMPARE(v16, values[i]);
    }
    for (unsigned short c : {u'g', u'G', u'/', u':', u'@', u'`', u' ', u'\0', u'\u0130', u'\uFF10'}) {
        unsigned char v = 77;
        QVERIFY(!unhex<unsigned short>(c, v));
        QCOMPARE(v, static_cast<unsigned char>(77));
    }
}

QTEST_MAIN(Test_common)
#include "test_common.moc"
