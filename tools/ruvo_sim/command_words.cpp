// Splitting control commands into blank-separated words.
#include "command_words.h"

Command_words::Command_words(const QString& text) : line(text)
{
    int at = 0;
    while (at < line.size()) {
        while (at < line.size() && line[at].isSpace())
            ++at;
        const int start = at;
        while (at < line.size() && !line[at].isSpace())
            ++at;
        if (at > start) {
            starts.append(start);
            lengths.append(at - start);
        }
    }
}

QString Command_words::word(int n) const
{
    return n < count() ? line.mid(starts[n], lengths[n]) : QString();
}

QString Command_words::rest(int n) const
{
    if (n >= count())
        return QString();
    QString text = line.mid(starts[n]);
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}
