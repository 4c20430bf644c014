// One control command split into words, keeping the raw rest of the line for texts that hold blanks.
#pragma once

#include <QString>
#include <QVector>

class Command_words {
public:
    explicit Command_words(const QString& line);

    int count() const { return starts.size(); }

    // Word n; empty past the end.
    QString word(int n) const;

    // The line from word n to its end, unchanged inside (blanks and all); empty past the end.
    QString rest(int n) const;

private:
    QString line;
    QVector<int> starts;
    QVector<int> lengths;
};
