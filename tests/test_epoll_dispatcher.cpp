// Tests of the epoll event dispatcher: a table of the contracts the exchange thread relies on, each
// run on a thread of its own with Qt's dispatcher and with the epoll one, which must agree.
#include "app/engine.h"
#include "common/epoll_dispatcher.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A scenario runs on the thread under test and returns what went wrong, empty when nothing did.
typedef std::function<QString(QThread& main_thread)> Scenario;

QAbstractEventDispatcher& dispatcher()
{
    return *QAbstractEventDispatcher::instance();
}

// Turns the loop until done or ms have passed; the guard timer ends a wait nothing else would.
bool run_until(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer guard;
    guard.start(ms);
    while (!done() && clock.elapsed() < ms)
        dispatcher().processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// Both ends of a connected local stream socket, closed at the end.
struct Socket_pair {
    Socket_pair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fd); }
    ~Socket_pair()
    {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    void send_byte() { (void)!::write(fd[1], "x", 1); }
    void read_all()
    {
        char buf[64];
        while (::read(fd[0], buf, sizeof buf) > 0) {
        }
    }
    int fd[2];
};

QString expect(bool condition, const QString& what)
{
    return condition ? QString() : what;
}

QString timers_of_every_type(QThread&)
{
    // Started in reverse order, due in order; none may fire before its interval.
    std::vector<int> order;
    QElapsedTimer clock;
    clock.start();
    QString early;
    const Qt::TimerType types[] = {Qt::VeryCoarseTimer, Qt::CoarseTimer, Qt::PreciseTimer};
    const int intervals[] = {1000, 60, 30};
    // Qt rounds a very coarse timer to the second and lets a coarse one be 5 % early.
    const int early_allowed[] = {500, 3, 0};
    std::vector<std::unique_ptr<QTimer>> timers;
    for (int i = 0; i < 3; ++i) {
        timers.emplace_back(new QTimer);
        QTimer& t = *timers.back();
        t.setSingleShot(true);
        t.setTimerType(types[i]);
        QObject::connect(&t, &QTimer::timeout, [&, i] {
            order.push_back(intervals[i]);
            if (clock.elapsed() < intervals[i] - early_allowed[i])
                early += QStringLiteral("the %1 ms timer fired after %2 ms; ").arg(intervals[i]).arg(clock.elapsed());
        });
        t.start(intervals[i]);
    }
    run_until([&] { return order.size() == 3; });
    if (!early.isEmpty())
        return early;
    return expect(order == std::vector<int>({30, 60, 1000}), QStringLiteral("timers fired out of order or not at all"));
}

QString repeating_timer(QThread&)
{
    int fired = 0;
    QTimer t;
    t.setTimerType(Qt::PreciseTimer);
    QObject::connect(&t, &QTimer::timeout, [&] { ++fired; });
    t.start(5);
    run_until([&] { return fired >= 5; });
    return expect(fired >= 5, QStringLiteral("a repeating timer fired %1 times").arg(fired));
}

QString zero_timer_does_not_starve(QThread&)
{
    // A zero timer fires at every turn, and a timer and a posted call still get their turn.
    int zero = 0;
    bool later = false;
    bool posted = false;
    QTimer busy;
    QObject::connect(&busy, &QTimer::timeout, [&] { ++zero; });
    busy.start(0);
    QTimer::singleShot(20, [&] { later = true; });
    QMetaObject::invokeMethod(&busy, [&] { posted = true; }, Qt::QueuedConnection);
    run_until([&] { return later && posted; });
    return expect(later && posted && zero > 1, QStringLiteral("zero timer %1 times, timer %2, posted call %3")
                                                   .arg(zero).arg(later).arg(posted));
}

QString timer_killed_by_another(QThread&)
{
    // Two timers due in one pass: the first one's slot stops the second, which must not fire.
    QTimer first;
    QTimer second;
    int second_fired = 0;
    bool first_fired = false;
    for (QTimer* t : {&first, &second}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    QObject::connect(&first, &QTimer::timeout, [&] {
        first_fired = true;
        second.stop();
    });
    QObject::connect(&second, &QTimer::timeout, [&] { ++second_fired; });
    first.start(10);
    second.start(10);
    run_until([&] { return first_fired; });
    run_until([] { return false; }, 30);
    return expect(first_fired && second_fired == 0, QStringLiteral("the stopped timer fired %1 times").arg(second_fired));
}

QString timer_not_reentered_by_nested_loop(QThread&)
{
    // A slot that turns a nested loop for several periods is not entered again meanwhile.
    int depth = 0;
    int deepest = 0;
    int fired = 0;
    QTimer t;
    t.setTimerType(Qt::PreciseTimer);
    QObject::connect(&t, &QTimer::timeout, [&] {
        ++fired;
        deepest = std::max(deepest, ++depth);
        if (fired == 1) {
            QEventLoop nested;
            QTimer::singleShot(40, &nested, &QEventLoop::quit);
            nested.exec();
        }
        --depth;
    });
    t.start(5);
    run_until([&] { return fired >= 3; });
    return expect(fired >= 3 && deepest == 1, QStringLiteral("fired %1 times, %2 deep").arg(fired).arg(deepest));
}

QString timer_queries(QThread&)
{
    QObject owner;
    const int precise = owner.startTimer(200, Qt::PreciseTimer);
    const int coarse = owner.startTimer(5000, Qt::CoarseTimer);
    QList<QAbstractEventDispatcher::TimerInfo> list = dispatcher().registeredTimers(&owner);
    std::sort(list.begin(), list.end(), [](const QAbstractEventDispatcher::TimerInfo& a,
                                           const QAbstractEventDispatcher::TimerInfo& b) { return a.interval < b.interval; });
    if (list.size() != 2 || list[0].timerId != precise || list[0].interval != 200 ||
        list[0].timerType != Qt::PreciseTimer || list[1].timerId != coarse || list[1].interval != 5000 ||
        list[1].timerType != Qt::CoarseTimer)
        return QStringLiteral("registeredTimers lists %1 timers not as started").arg(list.size());
    const int left = dispatcher().remainingTime(precise);
    if (left < 0 || left > 200)
        return QStringLiteral("remainingTime %1 of a 200 ms timer").arg(left);
    dispatcher().unregisterTimers(&owner);
    return expect(dispatcher().registeredTimers(&owner).isEmpty() && dispatcher().remainingTime(precise) == -1,
                  QStringLiteral("unregisterTimers left timers behind"));
}

QString notifier_disabled_in_its_slot(QThread&)
{
    // The byte is never read: a notifier still enabled would fire again at once.
    Socket_pair pair;
    QSocketNotifier n(pair.fd[0], QSocketNotifier::Read);
    int fired = 0;
    QObject::connect(&n, &QSocketNotifier::activated, [&] {
        ++fired;
        n.setEnabled(false);
    });
    pair.send_byte();
    run_until([&] { return fired > 0; });
    run_until([] { return false; }, 30);
    if (fired != 1)
        return QStringLiteral("a disabled notifier fired %1 times").arg(fired);
    n.setEnabled(true);
    run_until([&] { return fired > 1; });
    return expect(fired == 2, QStringLiteral("the notifier enabled again fired %1 times in all").arg(fired));
}

QString notifier_deleted_in_its_slot(QThread&)
{
    // Read and write ready in one wake-up: the read slot deletes both notifiers of the socket.
    Socket_pair pair;
    auto* reader = new QSocketNotifier(pair.fd[0], QSocketNotifier::Read);
    auto* writer = new QSocketNotifier(pair.fd[0], QSocketNotifier::Write);
    writer->setEnabled(false);
    bool read = false;
    bool written = false;
    QObject::connect(reader, &QSocketNotifier::activated, [&] {
        read = true;
        delete writer;
        delete reader;
    });
    QObject::connect(writer, &QSocketNotifier::activated, [&] { written = true; });
    pair.send_byte();
    writer->setEnabled(true);
    run_until([&] { return read; });
    run_until([] { return false; }, 30);
    // The socket still works with new notifiers on the same descriptor.
    QSocketNotifier again(pair.fd[0], QSocketNotifier::Read);
    bool fired_again = false;
    QObject::connect(&again, &QSocketNotifier::activated, [&] {
        fired_again = true;
        pair.read_all();
    });
    run_until([&] { return fired_again; });
    return expect(read && !written && fired_again, QStringLiteral("read %1, deleted writer fired %2, new reader %3")
                                                         .arg(read).arg(written).arg(fired_again));
}

QString write_notifier_toggled_beside_reader(QThread&)
{
    // A write notifier enabled and disabled within one turn never fires; enabled, it does, and
    // the reader beside it keeps working throughout.
    Socket_pair pair;
    QSocketNotifier reader(pair.fd[0], QSocketNotifier::Read);
    QSocketNotifier writer(pair.fd[0], QSocketNotifier::Write);
    int reads = 0;
    int writes = 0;
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        ++reads;
        pair.read_all();
    });
    QObject::connect(&writer, &QSocketNotifier::activated, [&] {
        ++writes;
        writer.setEnabled(false);
    });
    writer.setEnabled(false);
    writer.setEnabled(true);
    writer.setEnabled(false);
    pair.send_byte();
    run_until([&] { return reads > 0; });
    run_until([] { return false; }, 30);
    if (writes != 0 || reads != 1)
        return QStringLiteral("a disabled writer fired %1 times, the reader %2").arg(writes).arg(reads);
    writer.setEnabled(true);
    run_until([&] { return writes > 0; });
    pair.send_byte();
    run_until([&] { return reads > 1; });
    return expect(writes == 1 && reads == 2, QStringLiteral("writer %1 times, reader %2").arg(writes).arg(reads));
}

QString only_ready_notifier_fires(QThread&)
{
    // Many watched sockets, one of them ready: only its notifier fires, and a closed descriptor's
    // number taken by a new socket serves the new one.
    std::vector<std::unique_ptr<Socket_pair>> pairs;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    std::vector<int> fired(500);
    for (int i = 0; i < 500; ++i) {
        pairs.emplace_back(new Socket_pair);
        notifiers.emplace_back(new QSocketNotifier(pairs[i]->fd[0], QSocketNotifier::Read));
        QObject::connect(notifiers[i].get(), &QSocketNotifier::activated, [&, i] {
            ++fired[i];
            pairs[i]->read_all();
        });
    }
    pairs[321]->send_byte();
    run_until([&] { return fired[321] > 0; });
    const int total = std::accumulate(fired.begin(), fired.end(), 0);
    if (total != 1)
        return QStringLiteral("%1 notifiers fired for one ready socket").arg(total);
    notifiers[7].reset();
    pairs[7].reset(new Socket_pair);
    notifiers[7].reset(new QSocketNotifier(pairs[7]->fd[0], QSocketNotifier::Read));
    QObject::connect(notifiers[7].get(), &QSocketNotifier::activated, [&] {
        ++fired[7];
        pairs[7]->read_all();
    });
    pairs[7]->send_byte();
    run_until([&] { return fired[7] > 0; });
    return expect(fired[7] == 1, QStringLiteral("the reused descriptor's notifier fired %1 times").arg(fired[7]));
}

QString excluded_notifiers_wait(QThread&)
{
    Socket_pair pair;
    QSocketNotifier n(pair.fd[0], QSocketNotifier::Read);
    bool fired = false;
    QObject::connect(&n, &QSocketNotifier::activated, [&] {
        fired = true;
        pair.read_all();
    });
    pair.send_byte();
    bool timer = false;
    QTimer::singleShot(20, [&] { timer = true; });
    // A ready socket neither fires nor ends the wait; the timer does.
    while (!timer)
        dispatcher().processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeSocketNotifiers);
    if (fired)
        return QStringLiteral("an excluded notifier fired");
    run_until([&] { return fired; });
    return expect(fired, QStringLiteral("the notifier did not fire once allowed"));
}

QString queued_calls_from_another_thread(QThread& main_thread)
{
    // Calls queued from the main thread arrive in the order sent, and wake a waiting loop.
    QObject target;
    std::vector<int> got;
    QObject sender;
    sender.moveToThread(&main_thread);
    QMetaObject::invokeMethod(&sender, [&] {
        for (int i = 0; i < 100; ++i)
            QMetaObject::invokeMethod(&target, [&, i] { got.push_back(i); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    run_until([&] { return got.size() == 100; });
    bool in_order = true;
    for (size_t i = 0; i < got.size(); ++i)
        in_order = in_order && got[i] == static_cast<int>(i);
    return expect(got.size() == 100 && in_order, QStringLiteral("%1 calls arrived, in order %2").arg(got.size()).arg(in_order));
}

QString wake_up_from_another_thread(QThread& main_thread)
{
    // No timer, no socket: only the other thread's wakeUp can end this wait.
    QObject waker;
    waker.moveToThread(&main_thread);
    QAbstractEventDispatcher* d = &dispatcher();
    QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, &waker, [d] { d->wakeUp(); }, Qt::QueuedConnection);
    d->processEvents(QEventLoop::WaitForMoreEvents);
    return QString();
}

QString interrupt_ends_wait(QThread& main_thread)
{
    // Interrupted from a posted call before the wait, and from the other thread during it.
    QAbstractEventDispatcher* d = &dispatcher();
    QObject here;
    QMetaObject::invokeMethod(&here, [d] { d->interrupt(); }, Qt::QueuedConnection);
    d->processEvents(QEventLoop::WaitForMoreEvents);
    QObject interrupter;
    interrupter.moveToThread(&main_thread);
    QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, &interrupter, [d] { d->interrupt(); },
                     Qt::QueuedConnection);
    d->processEvents(QEventLoop::WaitForMoreEvents);
    return QString();
}

QString own_posts_do_not_wait(QThread&)
{
    // Calls the thread posts to itself while posted calls are delivered, and while the loop is
    // about to block, run without waiting for anything else; only the watchdog would end a wait.
    // The last call interrupts the wait that would follow it.
    QObject here;
    QAbstractEventDispatcher* d = &dispatcher();
    int ran = 0;
    QMetaObject::invokeMethod(&here, [&] {
        QMetaObject::invokeMethod(&here, [&] { ++ran; }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    bool posted_before_block = false;
    const QMetaObject::Connection c = QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, [&] {
        if (posted_before_block || ran < 1)
            return;
        posted_before_block = true;
        QMetaObject::invokeMethod(&here, [&] {
            ++ran;
            d->interrupt();
        }, Qt::QueuedConnection);
    });
    bool watchdog = false;
    QTimer::singleShot(3000, [&] { watchdog = true; });
    while (ran < 2 && !watchdog)
        d->processEvents(QEventLoop::WaitForMoreEvents);
    QObject::disconnect(c);
    return expect(ran == 2 && !watchdog, QStringLiteral("%1 of 2 calls ran before the watchdog").arg(ran));
}

QString deferred_delete_and_quit(QThread&)
{
    // deleteLater is carried out once the loop turns; QEventLoop::quit from a timer ends exec.
    QPointer<QObject> doomed = new QObject;
    doomed->deleteLater();
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
    return expect(doomed.isNull(), QStringLiteral("deleteLater was not carried out"));
}

// The thread under test; the main thread waits for it with its own loop turning.
class Worker : public QThread {
public:
    Worker(const Scenario& scenario, QThread& main_thread) : scenario(scenario), main_thread(main_thread) {}
    QString result = QStringLiteral("did not finish");

protected:
    void run() override { result = scenario(main_thread); }

private:
    Scenario scenario;
    QThread& main_thread;
};

}  // namespace

Q_DECLARE_METATYPE(Scenario)

class Test_epoll_dispatcher : public QObject {
    Q_OBJECT
private slots:
    void contracts_data();
    void contracts();
    void program_thread_runs_on_epoll();
};

void Test_epoll_dispatcher::contracts_data()
{
    QTest::addColumn<bool>("epoll");
    QTest::addColumn<Scenario>("scenario");
    // Qt's dispatcher of other threads on Linux, glib's, lets excluded notifiers fire all the same.
    const char* const epoll_only = "ExcludeSocketNotifiers";
    const std::vector<std::pair<const char*, Scenario>> rows = {
        {"timers of every type in deadline order, none early", timers_of_every_type},
        {"a repeating timer", repeating_timer},
        {"a zero timer starves nothing", zero_timer_does_not_starve},
        {"a timer stopped by another due in the same pass", timer_killed_by_another},
        {"a timer not reentered by a nested loop", timer_not_reentered_by_nested_loop},
        {"registeredTimers, remainingTime, unregisterTimers", timer_queries},
        {"a notifier disabled in its slot", notifier_disabled_in_its_slot},
        {"notifiers deleted in a slot", notifier_deleted_in_its_slot},
        {"a write notifier toggled beside a reader", write_notifier_toggled_beside_reader},
        {"only the ready socket's notifier fires", only_ready_notifier_fires},
        {"ExcludeSocketNotifiers", excluded_notifiers_wait},
        {"queued calls from another thread", queued_calls_from_another_thread},
        {"wakeUp from another thread", wake_up_from_another_thread},
        {"interrupt", interrupt_ends_wait},
        {"calls posted by the thread itself", own_posts_do_not_wait},
        {"deleteLater and quit", deferred_delete_and_quit},
    };
    for (bool epoll : {false, true})
        for (const auto& row : rows)
            if (epoll || std::strcmp(row.first, epoll_only) != 0)
                QTest::addRow("%s: %s", epoll ? "epoll" : "qt", row.first) << epoll << row.second;
}

void Test_epoll_dispatcher::contracts()
{
    QFETCH(bool, epoll);
    QFETCH(Scenario, scenario);
    Worker worker(scenario, *thread());
    if (epoll) {
        auto* d = new Epoll_dispatcher;
        QVERIFY(d->ok());
        worker.setEventDispatcher(d);
    }
    worker.start();
    const bool finished = QTest::qWaitFor([&] { return worker.isFinished(); }, 20000);
    if (!finished) {
        // Unblock it so that the test can end.
        worker.eventDispatcher()->interrupt();
        worker.wait(5000);
    }
    QVERIFY2(finished, "the thread under test is stuck");
    QVERIFY2(worker.result.isEmpty(), qPrintable(worker.result));
}

void Test_epoll_dispatcher::program_thread_runs_on_epoll()
{
    // The exchange thread gets the epoll dispatcher unless the environment asks for Qt's own.
    for (const char* value : {"", "1"}) {
        qputenv("RUVO_QT_DISPATCHER", value);
        Engine engine;
        QCOMPARE(qobject_cast<Epoll_dispatcher*>(engine.eventDispatcher()) != nullptr, *value == 0);
    }
    qunsetenv("RUVO_QT_DISPATCHER");
}

QTEST_MAIN(Test_epoll_dispatcher)
#include "test_epoll_dispatcher.moc"
