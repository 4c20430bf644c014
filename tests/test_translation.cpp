// Tests of the English translation file: every entry finished and faithful to its source's
// placeholders and line layout, no text of the program left out, and the file up to date with
// the sources (lupdate on a copy changes nothing).
#include "test_util.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString ts_name = QStringLiteral(RUVO_SOURCE_DIR "/translations/ruvo_bridge_en.ts");

struct Entry {
    QString context;
    QString source;
    QString translation;
    QString type;  // "unfinished", "obsolete", "vanished" or empty
};

QVector<Entry> read_ts(const QString& name)
{
    QVector<Entry> entries;
    QXmlStreamReader xml(read_file(name));
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("message"))
            entries.append(Entry{context, {}, {}, {}});
        else if (xml.name() == QLatin1String("source") && !entries.isEmpty())
            entries.last().source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation") && !entries.isEmpty()) {
            entries.last().type = xml.attributes().value(QLatin1String("type")).toString();
            entries.last().translation = xml.readElementText();
        }
    }
    if (xml.hasError())
        qWarning() << name << xml.errorString();
    return entries;
}

QSet<QString> placeholders(const QString& text)
{
    static const QRegularExpression mark(QStringLiteral("%[1-9]"));
    QSet<QString> found;
    auto it = mark.globalMatch(text);
    while (it.hasNext())
        found.insert(it.next().captured());
    return found;
}

QString described(const Entry& e)
{
    return e.context + QLatin1String(": ") + e.source.left(60);
}

// The C++ string literals of a source text, adjacent pieces joined, escapes decoded as far as
// the program's texts use them.
QStringList string_literals(const QString& src)
{
    QStringList found;
    QString current;
    bool joining = false;
    for (int i = 0; i < src.size(); ++i) {
        const QChar c = src[i];
        if (QStringView(src).mid(i).startsWith(QLatin1String("//"))) {
            i = src.indexOf(QLatin1Char('\n'), i);
            if (i < 0)
                break;
            continue;
        }
        if (c == QLatin1Char('\'')) {
            i = src.indexOf(QLatin1Char('\''), i + (src[i + 1] == QLatin1Char('\\') ? 3 : 2));
        } else if (c == QLatin1Char('"')) {
            if (!joining)
                current.clear();
            for (++i; src[i] != QLatin1Char('"'); ++i) {
                if (src[i] != QLatin1Char('\\')) {
                    current += src[i];
                    continue;
                }
                const QChar e = src[++i];
                current += e == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : e;
            }
            joining = true;
            continue;
        } else if (c.isSpace()) {
            continue;
        }
        if (joining)
            found << current;
        joining = false;
    }
    return found;
}

}  // namespace

class Test_translation : public QObject {
    Q_OBJECT
private slots:
    void every_entry_is_finished_and_keeps_placeholders();
    void multi_line_texts_stay_multi_line();
    void every_russian_text_of_the_program_is_in_the_file();
    void file_is_up_to_date_with_the_sources();
};

void Test_translation::every_entry_is_finished_and_keeps_placeholders()
{
    const QVector<Entry> entries = read_ts(ts_name);
    QVERIFY(entries.size() > 200);
    for (const Entry& e : entries) {
        QVERIFY2(e.type.isEmpty(), qPrintable(e.type + QLatin1String(" entry: ") + described(e)));
        QVERIFY2(!e.translation.isEmpty(), qPrintable(described(e)));
        QVERIFY2(!has_cyrillic(e.translation), qPrintable(e.translation));
        QVERIFY2(placeholders(e.translation) == placeholders(e.source), qPrintable(e.translation));
        // Texts that are put together from pieces keep the blanks at their joins.
        QCOMPARE(e.translation.startsWith(QLatin1Char(' ')), e.source.startsWith(QLatin1Char(' ')));
        QCOMPARE(e.translation.endsWith(QLatin1Char(' ')), e.source.endsWith(QLatin1Char(' ')));
        QCOMPARE(e.translation.endsWith(QLatin1Char('\n')), e.source.endsWith(QLatin1Char('\n')));
    }
}

// Tooltips and short messages are broken into lines by hand; so must their translations be,
// into lines not much longer.
void Test_translation::multi_line_texts_stay_multi_line()
{
    int broken = 0;
    for (const Entry& e : read_ts(ts_name)) {
        int longest_source = 0;
        for (const QString& line : e.source.split(QLatin1Char('\n')))
            longest_source = qMax(longest_source, static_cast<int>(line.size()));
        if (!e.source.contains(QLatin1Char('\n')) || longest_source > 80)
            continue;  // a paragraph text (About, help) is wrapped by its window
        ++broken;
        QVERIFY2(e.translation.contains(QLatin1Char('\n')), qPrintable(described(e)));
        for (const QString& line : e.translation.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= longest_source + 12, qPrintable(described(e) + QLatin1String(" | ") + line));
    }
    QVERIFY(broken > 30);
}

// A Russian literal that lupdate does not see, a holder without its TR_TEXT marker for instance,
// would stay Russian in English.
void Test_translation::every_russian_text_of_the_program_is_in_the_file()
{
    QSet<QString> sources;
    for (const Entry& e : read_ts(ts_name))
        sources.insert(e.source);
    int russian = 0;
    // The folders that the update script gives lupdate.
    static const QRegularExpression folder_list(QStringLiteral("-I \\. ([a-z_ ]+) -ts"));
    const QString script =
        QString::fromUtf8(read_file(QStringLiteral(RUVO_SOURCE_DIR "/scripts/update_translations.sh")));
    const QStringList folders = folder_list.match(script).captured(1).split(QLatin1Char(' '));
    // ... which are every folder of the program's sources.
    const QString cmake = QString::fromUtf8(read_file(QStringLiteral(RUVO_SOURCE_DIR "/CMakeLists.txt")));
    const QString globbed = cmake.section(QStringLiteral("GLOB RUVO_SOURCES"), 1).section(QLatin1Char(')'), 0, 0);
    static const QRegularExpression source_folder(QStringLiteral("([a-z_]+)/\\*\\.cpp"));
    auto in_cmake = source_folder.globalMatch(globbed);
    QVERIFY(in_cmake.hasNext());
    while (in_cmake.hasNext()) {
        const QString folder = in_cmake.next().captured(1);
        QVERIFY2(folders.contains(folder), qPrintable(folder + QLatin1String(" is not given to lupdate")));
    }
    for (const QString& folder : folders) {
        QDirIterator it(QStringLiteral(RUVO_SOURCE_DIR "/") + folder,
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files);
        while (it.hasNext()) {
            const QString file = it.next();
            for (const QString& text : string_literals(QString::fromUtf8(read_file(file)))) {
                if (!has_cyrillic(text))
                    continue;
                ++russian;
                QVERIFY2(sources.contains(text), qPrintable(file + QLatin1String(": ") + text));
            }
        }
    }
    QVERIFY(russian > 200);
}

void Test_translation::file_is_up_to_date_with_the_sources()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("copy.ts"));
    QVERIFY(QFile::copy(ts_name, copy));
    QProcess update;
    update.setProcessChannelMode(QProcess::ForwardedChannels);
    update.start(QStringLiteral("bash"), {QStringLiteral(RUVO_SOURCE_DIR "/scripts/update_translations.sh"), copy});
    QVERIFY(update.waitForFinished(120000));
    QCOMPARE(update.exitCode(), 0);
    const QVector<Entry> updated = read_ts(copy);
    for (const Entry& e : updated)
        QVERIFY2(e.type.isEmpty(), qPrintable(QLatin1String("not in the translation: ") + described(e)));
    QCOMPARE(updated.size(), read_ts(ts_name).size());
    QVERIFY2(read_file(copy) == read_file(ts_name), "run scripts/update_translations.sh");
}

QTEST_GUILESS_MAIN(Test_translation)
#include "test_translation.moc"
