// Log entries of one kind that a peer can cause at will (refused connections, malformed headers,
// taken-over ports): the first is written as it comes, the rest are counted and written as at most
// one summary a minute with their number and the peer addresses seen most, so the log cannot be
// flooded. A fault that lasts while it is tried again (a port the system refuses) is written once
// and summed up at most once an hour.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// The bookkeeping alone, on a clock given in milliseconds.
class Repeated_entries {
public:
    using Clock = std::function<qint64()>;
    // The summary's text from the number of entries held back and the addresses seen most.
    using Summary = std::function<QString(quint64 held, const QString& peers)>;

    static const qint64 window_ms = 60000;
    // Distinct addresses remembered between summaries; the rest count under none.
    static const int max_peers = 64;
    // Addresses named in a summary.
    static const int peers_named = 3;

    Repeated_entries(Summary summary_text, Clock clock);

    // One more event: the entries to write now; the entry itself when no other was written
    // within the last window, preceded by a summary that fell due.
    QStringList event(const QString& entry, const QString& peer);
    // The summary when one is due, or empty.
    QString summary_due();
    // Milliseconds until a summary falls due; negative when none waits.
    qint64 due_in() const;

private:
    QString summary();

    const Summary summary_text;
    const Clock clock;
    // Until this time entries are held back.
    qint64 window_end;
    bool window_open = false;
    quint64 held = 0;
    QHash<QString, quint64> peers;
};

// Writes the entries of Repeated_entries to the log on the steady clock, a timer writing a
// summary that falls due while no further event comes. Lives in the thread that makes it. Every
// port holds several and most never see an event: the bookkeeping and the timer are made at the
// first event, so an idle one is its summary text alone.
class Repeated_log {
public:
    explicit Repeated_log(Repeated_entries::Summary summary_text);
    ~Repeated_log();
    // True when the entry itself was written now, not held back for the summary.
    bool event(const QString& entry, const QString& peer);

private:
    struct Held;

    void write(const QStringList& entries);
    void on_timer();

    const Repeated_entries::Summary summary_text;
    std::unique_ptr<Held> held;
};

// A fault tried again and again while it lasts: the first try is written in full, and so is a try
// failing for another reason; the rest are counted and summed up at most once an interval.
class Lasting_fault {
public:
    enum class Entry { full, summary, none };
    struct Verdict {
        Entry entry;
        // Tries counted since the last entry, this one included.
        quint64 tries;
    };

    // An hour, or the environment's RUVO_LASTING_FAULT_MS when set (tests compress the hour).
    static qint64 interval_ms();
    // The steady clock the log's summaries go by.
    static qint64 now_ms();

    // One more failed try at the time now, for the reason given.
    Verdict tried(const QString& reason, qint64 now, qint64 interval);

private:
    QString reason;
    bool known = false;
    qint64 summary_at = 0;
    quint64 held = 0;
};
