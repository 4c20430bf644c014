// The log file on disk: every entry appended whole or not at all, entries that cannot be written
// counted and reported, and, while the file is kept open, a reopening as soon as its name leads to
// another file or to none (the log was rotated or deleted).
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QtGlobal>
#include <sys/types.h>

// An entry as it goes to the file: the local time as "[d.M.yyyy h:mm:ss.zzz] ", the text and two
// line feeds, ending before the first NUL byte if the text holds one.
QByteArray stamped_log_entry(const QByteArray& text);

// Used under mutex_log.
class Log_file {
public:
    enum Result { written, not_opened, not_written };

    Log_file() = default;
    ~Log_file() { close(); }
    Log_file(const Log_file&) = delete;
    Log_file& operator=(const Log_file&) = delete;

    // Appends one stamped entry to the file named fname. When entries were lost before, an entry
    // saying how many goes first. A failed write leaves the file as it was.
    Result append(const char* fname, const QByteArray& entry);
    // Counts an entry that could not be written; the first of a run of losses is shown on
    // standard error with the reason and its text, at most once a minute.
    void lost(const QByteArray& entry);
    // Whether the file stays open between entries; closed after each one by default.
    void keep_open(bool on);

private:
    bool is_open_as(const char* fname) const;
    bool open(const char* fname);
    bool write_whole(const QByteArray& bytes);
    void cut_off(off_t written);
    bool report_losses();
    void close();

    int fd = -1;
    QByteArray name;
    dev_t device = 0;
    ino_t inode = 0;
    bool kept_open = false;
    // errno of the last failure.
    int error = 0;
    // Entries lost since the file was last written.
    quint64 losses = 0;
    static const qint64 notice_interval_ms = 60000;
    // Since the last notice on standard error.
    QElapsedTimer told;
};

// The program's log file.
extern Log_file program_log;

// Entries lost since the program started.
quint64 log_entries_lost();
// Keeps the log open between entries, as a trace of all traffic wants; takes mutex_log.
void keep_log_open(bool on);
