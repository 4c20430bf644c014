// Tests of the layer check (scripts/check_layers.sh): it passes on the program's sources, names an
// include that reaches up a layer and an internal-error code used at two places, and fails on an
// include knot of more than 4 units.
#include "test_util.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const program_folders[] = {"common", "text", "core", "metrics", "link", "tcp", "app", "ui", "desktop"};

struct Check_result {
    int exit_code = -1;
    QString output;
};

Check_result run_check(const QString& root)
{
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(QStringLiteral("bash"), {QStringLiteral(RUVO_SOURCE_DIR "/scripts/check_layers.sh"), root});
    Check_result result;
    if (!check.waitForFinished(60000))
        return result;
    result.exit_code = check.exitCode();
    result.output = QString::fromUtf8(check.readAll());
    return result;
}

// A copy of the program's sources, to be spoilt.
bool copy_sources(const QString& to)
{
    for (const char* folder : program_folders) {
        const QDir from(QStringLiteral(RUVO_SOURCE_DIR "/") + QLatin1String(folder));
        if (!QDir(to).mkpath(QLatin1String(folder)))
            return false;
        for (const QString& name : from.entryList({QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files))
            if (!QFile::copy(from.filePath(name), to + QLatin1Char('/') + folder + QLatin1Char('/') + name))
                return false;
    }
    return true;
}

}  // namespace

class Test_layers : public QObject {
    Q_OBJECT
private slots:
    void sources_keep_their_layers();
    void spoilt_line_is_named_data();
    void spoilt_line_is_named();
    void include_knots_data();
    void include_knots();
};

void Test_layers::sources_keep_their_layers()
{
    const Check_result result = run_check(QStringLiteral(RUVO_SOURCE_DIR));
    QVERIFY2(result.exit_code == 0, qPrintable(result.output));
    QVERIFY(result.output.contains(QStringLiteral("largest include knot: ")));
}

// A line added to a copy of the sources: the check fails and names it.
void Test_layers::spoilt_line_is_named_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("named");
    QTest::newRow("include from a higher layer") << "common/hex.cpp" << QByteArray("#include \"ui/main_window.h\"\n")
                                                 << "common/hex.cpp: #include \"ui/main_window.h\"";
    QTest::newRow("the daemon's start-up needing a window")
        << "app/startup.cpp" << QByteArray("#include \"ui/main_window.h\"\n")
        << "app/startup.cpp: #include \"ui/main_window.h\": app may not include ui, a higher layer";
    QTest::newRow("error code at a second place") << "common/hex.cpp" << QByteArray("void twin() { log_debug(0x0001); }\n")
                                                  << "code 0.1 (0x0001) names 2 places";
}

void Test_layers::spoilt_line_is_named()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, line);
    QFETCH(QString, named);
    QTemporaryDir dir;
    QVERIFY(copy_sources(dir.path()));
    QFile spoilt(dir.filePath(file));
    QVERIFY(spoilt.open(QIODevice::Append));
    spoilt.write(line);
    spoilt.close();
    const Check_result result = run_check(dir.path());
    QCOMPARE(result.exit_code, 1);
    QVERIFY2(result.output.contains(named), qPrintable(result.output));
}

// A ring of units of one layer, each including the next: a knot of that many units.
void Test_layers::include_knots_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("exit_code");
    QTest::newRow("no knot") << 1 << 0;
    QTest::newRow("4 units") << 4 << 0;
    QTest::newRow("5 units") << 5 << 1;
}

void Test_layers::include_knots()
{
    QFETCH(int, units);
    QFETCH(int, exit_code);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("link")));
    for (int i = 0; i < units; ++i) {
        const QByteArray next = QByteArray::number((i + 1) % units);
        write_file(dir.filePath(QStringLiteral("link/unit%1.h").arg(i)), "#pragma once\n");
        write_file(dir.filePath(QStringLiteral("link/unit%1.cpp").arg(i)),
                   units > 1 ? "#include \"link/unit" + next + ".h\"\n" : QByteArray());
    }
    const Check_result result = run_check(dir.path());
    QVERIFY2(result.exit_code == exit_code, qPrintable(result.output));
    QVERIFY2(result.output.contains(QStringLiteral("largest include knot: %1 units").arg(units)),
             qPrintable(result.output));
}

QTEST_GUILESS_MAIN(Test_layers)
#include "test_layers.moc"
