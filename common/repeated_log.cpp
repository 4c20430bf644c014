// Log entries of one kind that a peer can cause at will (refused connections, malformed headers,
// taken-over ports): the first is written as it comes, the rest are counted and written as at most
// one summary a minute with their number and the peer addresses seen most, so the log cannot be
// flooded. A fault that lasts while it is tried again is written once and summed up hourly.
#include "common/repeated_log.h"

#include "common/err.h"

#include <QTimer>
#include <QVector>
#include <algorithm>
#include <chrono>

Repeated_entries::Repeated_entries(Summary summary_text, Clock clock)
    : summary_text(std::move(summary_text)), clock(std::move(clock)), window_end(0)
{
}

QStringList Repeated_entries::event(const QString& entry, const QString& peer)
{
    QStringList out;
    const QString due = summary_due();
    if (!due.isEmpty())
        out << due;
    if (!window_open) {
        window_open = true;
        window_end = clock() + window_ms;
        out << entry;
        return out;
    }
    ++held;
    const auto it = peers.find(peer);
    if (it != peers.end())
        ++*it;
    else if (peers.size() < max_peers)
        peers.insert(peer, 1);
    return out;
}

QString Repeated_entries::summary_due()
{
    if (!window_open)
        return QString();
    const qint64 now = clock();
    if (now < window_end)
        return QString();
    if (!held) {
        window_open = false;
        return QString();
    }
    // A summary holds back what follows for another window.
    window_end = now + window_ms;
    return summary();
}

qint64 Repeated_entries::due_in() const
{
    return held ? std::max<qint64>(0, window_end - clock()) : -1;
}

QString Repeated_entries::summary()
{
    QVector<QPair<quint64, QString>> seen;
    for (auto it = peers.cbegin(); it != peers.cend(); ++it)
        seen.append(qMakePair(it.value(), it.key()));
    std::sort(seen.begin(), seen.end(), [](const QPair<quint64, QString>& a, const QPair<quint64, QString>& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    QStringList named;
    for (int i = 0; i < seen.size() && i < peers_named; ++i)
        named << QStringLiteral("%1 (%2)").arg(seen[i].second).arg(seen[i].first);
    const QString text = summary_text(held, named.join(QStringLiteral(", ")));
    held = 0;
    peers.clear();
    return text;
}

qint64 Lasting_fault::now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 Lasting_fault::interval_ms()
{
    static const qint64 interval = [] {
        bool given = false;
        const int ms = qEnvironmentVariableIntValue("RUVO_LASTING_FAULT_MS", &given);
        return given && ms > 0 ? qint64(ms) : qint64(3600000);
    }();
    return interval;
}

Lasting_fault::Verdict Lasting_fault::tried(const QString& why, qint64 now, qint64 interval)
{
    if (!known || why != reason) {
        known = true;
        reason = why;
        held = 0;
        summary_at = now + interval;
        return Verdict{Entry::full, 1};
    }
    ++held;
    if (now < summary_at)
        return Verdict{Entry::none, held};
    const quint64 tries = held;
    held = 0;
    summary_at = now + interval;
    return Verdict{Entry::summary, tries};
}

struct Repeated_log::Held {
    explicit Held(const Repeated_entries::Summary& summary_text) : entries(summary_text, Lasting_fault::now_ms) {}

    Repeated_entries entries;
    QTimer timer;
};

Repeated_log::Repeated_log(Repeated_entries::Summary summary_text) : summary_text(std::move(summary_text)) {}

Repeated_log::~Repeated_log() = default;

bool Repeated_log::event(const QString& entry, const QString& peer)
{
    if (!held) {
        held.reset(new Held(summary_text));
        held->timer.setSingleShot(true);
        QObject::connect(&held->timer, &QTimer::timeout, [this] { on_timer(); });
    }
    const QStringList entries = held->entries.event(entry, peer);
    write(entries);
    // A summary that fell due comes first, the entry, when written, last.
    return !entries.isEmpty() && entries.last() == entry;
}

void Repeated_log::write(const QStringList& texts)
{
    for (const QString& text : texts)
        log(text);
    const qint64 due = held->entries.due_in();
    if (due >= 0 && !held->timer.isActive())
        held->timer.start(static_cast<int>(due));
}

void Repeated_log::on_timer()
{
    const QString due = held->entries.summary_due();
    write(due.isEmpty() ? QStringList() : QStringList(due));
}
