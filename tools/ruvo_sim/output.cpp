// Event lines for tests and scripts: one line per event, flushed at once; plus the record file.
#include "output.h"

#include <QFile>

#include <cstdio>

namespace {

QFile record_file;

QString escape_newlines(QString text)
{
    return text.replace('\n', QLatin1String("\\n")).replace('\r', QLatin1String("\\r"));
}

void write_line(FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString tagged(const char* tag, const QString& text)
{
    return QString::fromLatin1(tag) + ' ' + escape_newlines(text);
}

} // namespace

void print_event(const QString& line)
{
    write_line(stdout, line);
}

void print_event(const char* tag, const QString& text)
{
    write_line(stdout, tagged(tag, text));
}

void print_note(const QString& text)
{
    write_line(stderr, QStringLiteral("ruvo_sim: ") + text);
}

bool open_record(const QString& file_name)
{
    record_file.setFileName(file_name);
    return record_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void record_message(const char* tag, const QString& text)
{
    if (!record_file.isOpen())
        return;
    record_file.write(tagged(tag, text).toUtf8() + '\n');
    record_file.flush();
}
