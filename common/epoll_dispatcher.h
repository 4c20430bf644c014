// An event dispatcher over Linux epoll for the exchange thread: its cost per wake-up follows the
// sockets that are ready, not the number of sockets watched, as Qt's poll()-based one does.
// Timers are kept in deadline order and woken by one timerfd; an eventfd carries wakeUp.
#pragma once

#include "common/qt_version.h"

#include <QAtomicInt>
#include <map>
#include <unordered_map>
#include <vector>

class Epoll_dispatcher : public Event_dispatcher_base {
    Q_OBJECT
public:
    Epoll_dispatcher();
    ~Epoll_dispatcher() override;

    // False when the kernel refused the epoll, timer or wake-up descriptor; such a dispatcher
    // must not be installed.
    bool ok() const { return epoll_fd >= 0 && timer_fd >= 0 && wake_fd >= 0; }

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timer_id, Dispatcher_interval interval, Qt::TimerType timer_type, QObject* object) override;
    bool unregisterTimer(int timer_id) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timer_id) override;

    void wakeUp() override;
    void interrupt() override;

private:
    // The notifiers of one descriptor, by QSocketNotifier::Type, and the events asked of epoll.
    struct Watched {
        QSocketNotifier* notifiers[3] = {};
        unsigned events = 0;  // as the kernel has them
        bool changed = false;  // listed in changed_fds
    };
    typedef std::multimap<qint64, int> Deadlines;
    // Every type is run as precise: the program's timers are few, so coarseness would save nothing.
    struct Timer {
        qint64 interval;
        Qt::TimerType type;
        QObject* object;
        Deadlines::iterator due;
        quint64 serial;  // tells a timer from a later one given the same id
        bool delivering;
    };

    void update_watch(int fd, Watched& w);
    void tell_kernel(int fd, Watched& w, unsigned events);
    void apply_changes();
    // Blocks (or not) as the flags and the timers allow; returns the events the kernel reported.
    int wait(bool block, bool include_timers, bool include_notifiers, struct epoll_event* events, int size);
    void arm_timer_fd(qint64 deadline);
    int activate_notifiers(const struct epoll_event* events, int count);
    void activate_notifier(int fd, int type);
    int activate_timers();
    void schedule(int timer_id, Timer& t, qint64 deadline);
    void drain(int fd);

    int epoll_fd;
    int timer_fd;
    int wake_fd;
    // The deadline the timerfd is set to, 0 when it is not set.
    qint64 armed = 0;
    std::unordered_map<int, Watched> watched;
    // Descriptors whose events changed since the last wait, told to the kernel just before it.
    std::vector<int> changed_fds;
    std::unordered_map<int, Timer> timers;
    Deadlines deadlines;
    quint64 next_serial = 0;
    // An event was posted by the dispatcher's own thread during this pass; touched only there.
    bool posted_here = false;
    QAtomicInt wake_pending;
    QAtomicInt interrupted;
};
