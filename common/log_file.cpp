// The log file on disk: every entry appended whole or not at all, entries that cannot be written
// counted and reported, and, while the file is kept open, a reopening as soon as its name leads to
// another file or to none (the log was rotated or deleted).
#include "common/log_file.h"

#include "common/err.h"

#include <QDateTime>
#include <QMutexLocker>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Log_file program_log;

namespace {

Tr errfmt_log_lost{TR_TEXT("log",
                           "Не удалось записать в журнал «%1» (%2). Записи журнала теряются, пока запись в него "
                           "не заработает снова. Первая потерянная запись: %3")};
Tr errfmt_log_works_again{TR_TEXT("log",
                                  "Запись в журнал снова работает. Записей журнала потеряно, пока она не "
                                  "работала: %1.")};

std::atomic<quint64> lost_total{0};

}  // namespace

QByteArray stamped_log_entry(const QByteArray& text)
{
    QByteArray entry = QDateTime::currentDateTime().toString(QStringLiteral("[d.M.yyyy h:mm:ss.zzz] ")).toUtf8() +
                       text + QByteArrayLiteral("\n\n");
    const int nul = entry.indexOf('\0');
    if (nul >= 0)
        entry.truncate(nul);
    return entry;
}

Log_file::Result Log_file::append(const char* fname, const QByteArray& entry)
{
    if (!is_open_as(fname)) {
        close();
        if (!open(fname))
            return not_opened;
    }
    const bool ok = report_losses() && write_whole(entry);
    if (!kept_open)
        close();
    return ok ? written : not_written;
}

void Log_file::lost(const QByteArray& entry)
{
    ++lost_total;
    if (losses++)
        return;
    // On a nearly full disk short entries may still fit between lost ones: standard error then
    // hears of it once a minute, not at every loss.
    if (told.isValid() && !told.hasExpired(notice_interval_ms))
        return;
    told.start();
    const QString text = QString(errfmt_log_lost.tr())
                             .arg(QString::fromUtf8(name), qt_error_string(error),
                                  QString::fromUtf8(entry).trimmed());
    fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    fflush(stderr);
}

void Log_file::keep_open(bool on)
{
    kept_open = on;
    if (!on)
        close();
}

// The name still leads to the file held: it was neither renamed away nor deleted.
bool Log_file::is_open_as(const char* fname) const
{
    if (fd < 0 || name != fname)
        return false;
    struct stat st;
    return ::stat(fname, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

bool Log_file::open(const char* fname)
{
    name = fname;
    fd = ::open(fname, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        device = st.st_dev;
        inode = st.st_ino;
    }
    return true;
}

// On a full disk a write may stop part way: the part written is cut off again, so the next entry
// does not stick to a torn one.
bool Log_file::write_whole(const QByteArray& bytes)
{
    const char* p = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (left) {
        const ssize_t n = ::write(fd, p, left);
        if (n > 0) {
            p += n;
            left -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error = n < 0 ? errno : EIO;
            cut_off(static_cast<off_t>(p - bytes.constData()));
            return false;
        }
    }
    return true;
}

// Only the program appends to the file, so the part written is its last bytes.
void Log_file::cut_off(off_t written)
{
    struct stat st;
    if (written > 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, st.st_size - written) != 0)
        error = errno;
}

// The first entry written after losses says how many there were.
bool Log_file::report_losses()
{
    if (!losses)
        return true;
    if (!write_whole(stamped_log_entry(QString(errfmt_log_works_again.tr()).arg(losses).toUtf8())))
        return false;
    losses = 0;
    return true;
}

void Log_file::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

quint64 log_entries_lost()
{
    return lost_total;
}

void keep_log_open(bool on)
{
    QMutexLocker lock(&mutex_log);
    program_log.keep_open(on);
}
