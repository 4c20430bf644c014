// An event dispatcher over Linux epoll for the exchange thread: one epoll set holds the socket
// notifiers' descriptors, a timerfd set to the earliest timer and an eventfd for wakeUp; a wake-up
// costs in proportion to what is ready, however many sockets are watched.
#include "common/epoll_dispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimerEvent>
#include <QVarLengthArray>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace {

const int max_events = 256;
const qint64 ns_per_ms = 1000000;

// What wakes each kind of notifier, as Qt's poll()-based dispatcher reads poll's answer.
const unsigned wakes[3] = {EPOLLIN | EPOLLHUP | EPOLLERR, EPOLLOUT | EPOLLERR, EPOLLPRI};
const unsigned asks[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};

qint64 now_ns()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

Epoll_dispatcher::Epoll_dispatcher()
    : epoll_fd(epoll_create1(EPOLL_CLOEXEC)),
      timer_fd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)),
      wake_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    for (int fd : {timer_fd, wake_fd}) {
        epoll_event e = {};
        e.events = EPOLLIN;
        e.data.fd = fd;
        if (epoll_fd >= 0 && fd >= 0)
            epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &e);
    }
}

Epoll_dispatcher::~Epoll_dispatcher()
{
    for (int fd : {epoll_fd, timer_fd, wake_fd})
        if (fd >= 0)
            close(fd);
}

// Events the thread posts to itself while the pass delivers posted events (Qt holds those back
// for the next pass) or while it is about to block keep it from blocking.
bool Epoll_dispatcher::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    interrupted.storeRelaxed(0);
    posted_here = false;
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool include_timers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool include_notifiers = !(flags & QEventLoop::ExcludeSocketNotifiers);
    const bool block = (flags & QEventLoop::WaitForMoreEvents) && !interrupted.loadRelaxed() && !posted_here;
    if (block)
        emit aboutToBlock();
    if (interrupted.loadRelaxed())
        return false;

    epoll_event events[max_events];
    const int count = wait(block && !posted_here, include_timers, include_notifiers, events, max_events);
    int activated = activate_notifiers(events, count);
    if (include_timers)
        activated += activate_timers();
    return activated > 0;
}

int Epoll_dispatcher::wait(bool block, bool include_timers, bool include_notifiers, epoll_event* events, int size)
{
    int timeout = block ? -1 : 0;
    if (block && include_timers && !deadlines.empty()) {
        const qint64 next = deadlines.begin()->first;
        if (next <= now_ns())
            timeout = 0;
        else
            arm_timer_fd(next);
    }
    if (include_notifiers) {
        apply_changes();
        const int count = epoll_wait(epoll_fd, events, size, timeout);
        return count > 0 ? count : 0;
    }
    // Without the sockets: only the wake-up and the timer may end the wait.
    pollfd fds[2] = {{wake_fd, POLLIN, 0}, {timer_fd, POLLIN, 0}};
    if (poll(fds, 2, timeout) <= 0)
        return 0;
    int count = 0;
    for (const pollfd& p : fds)
        if (p.revents) {
            events[count].events = EPOLLIN;
            events[count++].data.fd = p.fd;
        }
    return count;
}

// The timerfd is set only when a wait would block past the earliest timer; a later deadline
// left from a killed timer merely wakes the thread once for nothing.
void Epoll_dispatcher::arm_timer_fd(qint64 deadline)
{
    if (armed && armed <= deadline)
        return;
    itimerspec spec = {};
    spec.it_value.tv_sec = static_cast<time_t>(deadline / 1000000000);
    spec.it_value.tv_nsec = static_cast<long>(deadline % 1000000000);
    if (timerfd_settime(timer_fd, TFD_TIMER_ABSTIME, &spec, nullptr) == 0)
        armed = deadline;
}

// One read empties an eventfd or a timerfd: it returns their whole count and sets it to 0.
void Epoll_dispatcher::drain(int fd)
{
    quint64 count;
    if (read(fd, &count, sizeof count) < 0 && errno != EAGAIN)
        qWarning("Epoll_dispatcher: cannot read descriptor %d: %s", fd, strerror(errno));
}

int Epoll_dispatcher::activate_notifiers(const epoll_event* events, int count)
{
    int activated = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        if (fd == wake_fd) {
            drain(wake_fd);
            wake_pending.storeRelease(0);
        } else if (fd == timer_fd) {
            drain(timer_fd);
            armed = 0;
        } else {
            // Each notifier is looked up afresh: an earlier one's slot may have disabled or deleted it.
            for (int type = 0; type < 3; ++type)
                if (events[i].events & wakes[type]) {
                    activate_notifier(fd, type);
                    ++activated;
                }
        }
    }
    return activated;
}

void Epoll_dispatcher::activate_notifier(int fd, int type)
{
    const auto w = watched.find(fd);
    if (w == watched.end() || !w->second.notifiers[type])
        return;
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(w->second.notifiers[type], &event);
}

void Epoll_dispatcher::registerSocketNotifier(QSocketNotifier* notifier)
{
    const int fd = static_cast<int>(notifier->socket());
    const int type = notifier->type();
    Watched& w = watched[fd];
    if (w.notifiers[type] && w.notifiers[type] != notifier)
        qWarning("Epoll_dispatcher: multiple socket notifiers for socket %d and type %d", fd, type);
    w.notifiers[type] = notifier;
    update_watch(fd, w);
}

void Epoll_dispatcher::unregisterSocketNotifier(QSocketNotifier* notifier)
{
    const int fd = static_cast<int>(notifier->socket());
    const auto w = watched.find(fd);
    if (w == watched.end() || w->second.notifiers[notifier->type()] != notifier)
        return;
    w->second.notifiers[notifier->type()] = nullptr;
    update_watch(fd, w->second);
    if (!w->second.events)
        watched.erase(w);
}

// Tells epoll what the descriptor's notifiers ask for. The first notifier and the last one
// are told at once: a descriptor is closed only once its notifiers are gone, and its number may
// then serve another socket. A change in between, such as a write notifier enabled for a write
// and disabled once the data is out, waits for the next wait, where the two cancel out.
void Epoll_dispatcher::update_watch(int fd, Watched& w)
{
    unsigned events = 0;
    for (int type = 0; type < 3; ++type)
        if (w.notifiers[type])
            events |= asks[type];
    if (!w.events || !events) {
        tell_kernel(fd, w, events);
    } else if (!w.changed) {
        w.changed = true;
        changed_fds.push_back(fd);
    }
}

void Epoll_dispatcher::apply_changes()
{
    for (int fd : changed_fds) {
        const auto w = watched.find(fd);
        if (w == watched.end() || !w->second.changed)
            continue;
        w->second.changed = false;
        unsigned events = 0;
        for (int type = 0; type < 3; ++type)
            if (w->second.notifiers[type])
                events |= asks[type];
        tell_kernel(fd, w->second, events);
    }
    changed_fds.clear();
}

// A descriptor closed while watched has left the set by itself, and its number may already be
// another socket's: add and change then stand in for each other, and a removal that finds
// nothing is what was wanted.
void Epoll_dispatcher::tell_kernel(int fd, Watched& w, unsigned events)
{
    if (events == w.events)
        return;
    epoll_event e = {};
    e.events = events;
    e.data.fd = fd;
    const int op = !w.events ? EPOLL_CTL_ADD : events ? EPOLL_CTL_MOD : EPOLL_CTL_DEL;
    int result = epoll_ctl(epoll_fd, op, fd, &e);
    if (result < 0 && op == EPOLL_CTL_MOD && errno == ENOENT)
        result = epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &e);
    else if (result < 0 && op == EPOLL_CTL_ADD && errno == EEXIST)
        result = epoll_ctl(epoll_fd, EPOLL_CTL_MOD, fd, &e);
    if (result < 0 && op != EPOLL_CTL_DEL)
        qWarning("Epoll_dispatcher: cannot watch socket %d: %s", fd, strerror(errno));
    w.events = events;
}

void Epoll_dispatcher::registerTimer(int timer_id, Dispatcher_interval interval, Qt::TimerType timer_type,
                                     QObject* object)
{
    unregisterTimer(timer_id);
    Timer& t = timers[timer_id];
    t = Timer{interval, timer_type, object, deadlines.end(), ++next_serial, false};
    t.due = deadlines.emplace(now_ns() + interval * ns_per_ms, timer_id);
}

bool Epoll_dispatcher::unregisterTimer(int timer_id)
{
    const auto t = timers.find(timer_id);
    if (t == timers.end())
        return false;
    deadlines.erase(t->second.due);
    timers.erase(t);
    return true;
}

bool Epoll_dispatcher::unregisterTimers(QObject* object)
{
    bool found = false;
    for (auto t = timers.begin(); t != timers.end();)
        if (t->second.object == object) {
            deadlines.erase(t->second.due);
            t = timers.erase(t);
            found = true;
        } else {
            ++t;
        }
    return found;
}

QList<QAbstractEventDispatcher::TimerInfo> Epoll_dispatcher::registeredTimers(QObject* object) const
{
    QList<TimerInfo> list;
    for (const auto& t : timers)
        if (t.second.object == object)
            list << TimerInfo(t.first, static_cast<int>(t.second.interval), t.second.type);
    return list;
}

int Epoll_dispatcher::remainingTime(int timer_id)
{
    const auto t = timers.find(timer_id);
    if (t == timers.end())
        return -1;
    const qint64 left = t->second.due->first - now_ns();
    return left > 0 ? static_cast<int>(left / ns_per_ms) : 0;
}

void Epoll_dispatcher::schedule(int timer_id, Timer& t, qint64 deadline)
{
    deadlines.erase(t.due);
    t.due = deadlines.emplace(deadline, timer_id);
}

// The timers due when the pass begins fire once each, in deadline order; a timer started or
// restarted meanwhile waits for the next pass, so zero-timers cannot starve the loop. A timer
// whose slot is still running (a nested loop) is rescheduled but not sent again.
int Epoll_dispatcher::activate_timers()
{
    const qint64 now = now_ns();
    QVarLengthArray<int, 16> due;
    for (auto d = deadlines.begin(); d != deadlines.end() && d->first <= now; ++d)
        due.append(d->second);
    int activated = 0;
    for (int id : due) {
        auto t = timers.find(id);
        if (t == timers.end() || t->second.due->first > now)
            continue;
        Timer& timer = t->second;
        const qint64 period = timer.interval * ns_per_ms;
        const qint64 next = timer.due->first + period;
        schedule(id, timer, next < now ? now + period : next);
        if (timer.interval > 0)
            ++activated;
        if (timer.delivering)
            continue;
        timer.delivering = true;
        const quint64 serial = timer.serial;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(timer.object, &event);
        t = timers.find(id);
        if (t != timers.end() && t->second.serial == serial)
            t->second.delivering = false;
    }
    return activated;
}

// The thread itself is running, not waiting, when it posts an event: processEvents sees the event
// before it blocks, and the eventfd is spared a write and two reads.
void Epoll_dispatcher::wakeUp()
{
    if (QThread::currentThread() == thread()) {
        posted_here = true;
        return;
    }
    if (!wake_pending.testAndSetAcquire(0, 1))
        return;
    const quint64 one = 1;
    if (write(wake_fd, &one, sizeof one) < 0 && errno != EAGAIN)
        qWarning("Epoll_dispatcher: cannot wake the thread: %s", strerror(errno));
}

void Epoll_dispatcher::interrupt()
{
    interrupted.storeRelaxed(1);
    wakeUp();
}
