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
// Done is also looked at before each wait: a pass that delivered what was awaited then blocks.
bool run_until(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer guard;
    guard.start(ms);
    const QMetaObject::Connection check = QObject::connect(&dispatcher(), &QAbstractEventDispatcher::aboutToBlock, [&] {
        if (done())
            dispatcher().wakeUp();
    });
    while (!done() && clock.elapsed() < ms)
        dispatcher().processEvents(QEventLoop::WaitForMoreEvents);
    QObject::disconnect(check);
    return done();
}

// Turns the loop a while longer, so that an activation that must not come has the time to show.
void settle()
{
    run_until([] { return false; }, 30);
}

QString expect(bool condition, const QString& what)
{
    return condition ? QString() : what;
}

void start(QTimer& t, int ms, bool single_shot, const std::function<void()>& slot,
           Qt::TimerType type = Qt::PreciseTimer)
{
    t.setSingleShot(single_shot);
    t.setTimerType(type);
    QObject::connect(&t, &QTimer::timeout, slot);
    t.start(ms);
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

// A notifier that counts its activations, then does what the scenario asks of it.
struct Counted_notifier : QSocketNotifier {
    Counted_notifier(int fd, Type type, const std::function<void()>& then) : QSocketNotifier(fd, type)
    {
        connect(this, &QSocketNotifier::activated, [this, then] {
            ++fired;
            then();
        });
    }
    int fired = 0;
};

// A socket pair whose first end is watched by a notifier that counts and reads what arrives.
struct Watched_pair : Socket_pair {
    Counted_notifier reader{fd[0], QSocketNotifier::Read, [this] { read_all(); }};
};

QString timers_of_every_type(QThread&)
{
    // Started in reverse order, due in order; none may fire before its interval.
    // Qt rounds a very coarse timer to the second and lets a coarse one be 5 % early, counted
    // from a start that it rounds to the millisecond, as this clock's reading is.
    const struct {
        Qt::TimerType type;
        int interval, early_allowed;
    } rows[] = {{Qt::VeryCoarseTimer, 1000, 500}, {Qt::CoarseTimer, 60, 5}, {Qt::PreciseTimer, 30, 0}};
    std::vector<int> order;
    QElapsedTimer clock;
    clock.start();
    QString early;
    QTimer timers[3];
    for (int i = 0; i < 3; ++i)
        start(timers[i], rows[i].interval, true, [&, row = rows[i]] {
            order.push_back(row.interval);
            if (clock.elapsed() < row.interval - row.early_allowed)
                early += QStringLiteral("the %1 ms timer fired after %2 ms; ").arg(row.interval).arg(clock.elapsed());
        }, rows[i].type);
    run_until([&] { return order.size() == 3; });
    if (!early.isEmpty())
        return early;
    return expect(order == std::vector<int>({30, 60, 1000}), QStringLiteral("timers fired out of order or not at all"));
}

QString zero_timer_does_not_starve(QThread&)
{
    // A zero timer fires at every turn, and a timer, a posted call and deleteLater still get their
    // turn; QEventLoop::quit from the timer ends exec.
    int zero = 0;
    bool later = false, posted = false;
    QTimer busy;
    start(busy, 0, false, [&] { ++zero; }, Qt::CoarseTimer);
    QMetaObject::invokeMethod(&busy, [&] { posted = true; }, Qt::QueuedConnection);
    QPointer<QObject> doomed = new QObject;
    doomed->deleteLater();
    QEventLoop loop;
    QTimer::singleShot(20, &loop, [&] {
        later = true;
        loop.quit();
    });
    loop.exec();
    return expect(later && posted && zero > 1 && doomed.isNull(),
                  QStringLiteral("zero timer %1 times, timer %2, posted call %3, deleteLater %4")
                      .arg(zero).arg(later).arg(posted).arg(doomed.isNull()));
}

QString timer_killed_by_another(QThread&)
{
    // Two timers due in one pass: the first one's slot stops the second, which must not fire.
    QTimer first, second;
    bool first_fired = false;
    int second_fired = 0;
    start(first, 10, true, [&] {
        first_fired = true;
        second.stop();
    });
    start(second, 10, true, [&] { ++second_fired; });
    run_until([&] { return first_fired; });
    settle();
    return expect(first_fired && second_fired == 0, QStringLiteral("the stopped timer fired %1 times").arg(second_fired));
}

QString repeating_timer_not_reentered(QThread&)
{
    // A repeating timer keeps firing, and its slot, turning a nested loop for several periods the
    // first time, is not entered again meanwhile.
    int depth = 0, deepest = 0, fired = 0;
    QTimer t;
    start(t, 5, false, [&] {
        ++fired;
        deepest = std::max(deepest, ++depth);
        if (fired == 1) {
            QEventLoop nested;
            QTimer::singleShot(40, &nested, &QEventLoop::quit);
            nested.exec();
        }
        --depth;
    });
    run_until([&] { return fired >= 5; });
    return expect(fired >= 5 && deepest == 1, QStringLiteral("fired %1 times, %2 deep").arg(fired).arg(deepest));
}

QString timer_queries(QThread&)
{
    QObject owner;
    const int precise = owner.startTimer(200, Qt::PreciseTimer);
    const int coarse = owner.startTimer(5000, Qt::CoarseTimer);
    QList<QAbstractEventDispatcher::TimerInfo> list = dispatcher().registeredTimers(&owner);
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.interval < b.interval; });
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
    Counted_notifier n(pair.fd[0], QSocketNotifier::Read, [&] { n.setEnabled(false); });
    pair.send_byte();
    run_until([&] { return n.fired > 0; });
    settle();
    if (n.fired != 1)
        return QStringLiteral("a disabled notifier fired %1 times").arg(n.fired);
    n.setEnabled(true);
    run_until([&] { return n.fired > 1; });
    return expect(n.fired == 2, QStringLiteral("the notifier enabled again fired %1 times in all").arg(n.fired));
}

QString notifier_deleted_in_its_slot(QThread&)
{
    // Read and write ready in one wake-up: the read slot deletes both notifiers of the socket.
    Socket_pair pair;
    auto* reader = new QSocketNotifier(pair.fd[0], QSocketNotifier::Read);
    auto* writer = new QSocketNotifier(pair.fd[0], QSocketNotifier::Write);
    writer->setEnabled(false);
    bool read = false, written = false;
    QObject::connect(reader, &QSocketNotifier::activated, [&] {
        read = true;
        delete writer;
        delete reader;
    });
    QObject::connect(writer, &QSocketNotifier::activated, [&] { written = true; });
    pair.send_byte();
    writer->setEnabled(true);
    run_until([&] { return read; });
    settle();
    // The socket still works with new notifiers on the same descriptor.
    Counted_notifier again(pair.fd[0], QSocketNotifier::Read, [&] { pair.read_all(); });
    run_until([&] { return again.fired > 0; });
    return expect(read && !written && again.fired > 0, QStringLiteral("read %1, deleted writer fired %2, new reader %3")
                                                           .arg(read).arg(written).arg(again.fired));
}

QString write_notifier_toggled_beside_reader(QThread&)
{
    // A write notifier enabled and disabled within one turn never fires; enabled, it does, and
    // the reader beside it keeps working throughout.
    Watched_pair pair;
    const Counted_notifier& reader = pair.reader;
    Counted_notifier writer(pair.fd[0], QSocketNotifier::Write, [&] { writer.setEnabled(false); });
    for (bool enabled : {false, true, false})
        writer.setEnabled(enabled);
    pair.send_byte();
    run_until([&] { return reader.fired > 0; });
    settle();
    if (writer.fired != 0 || reader.fired != 1)
        return QStringLiteral("a disabled writer fired %1 times, the reader %2").arg(writer.fired).arg(reader.fired);
    writer.setEnabled(true);
    run_until([&] { return writer.fired > 0; });
    pair.send_byte();
    run_until([&] { return reader.fired > 1; });
    return expect(writer.fired == 1 && reader.fired == 2,
                  QStringLiteral("writer %1 times, reader %2").arg(writer.fired).arg(reader.fired));
}

QString only_ready_notifier_fires(QThread&)
{
    // Many watched sockets, one of them ready: only its notifier fires, and a closed descriptor's
    // number taken by a new socket serves the new one.
    std::vector<std::unique_ptr<Watched_pair>> pairs(500);
    for (auto& pair : pairs)
        pair.reset(new Watched_pair);
    pairs[321]->send_byte();
    run_until([&] { return pairs[321]->reader.fired > 0; });
    const int total = std::accumulate(pairs.begin(), pairs.end(), 0,
                                      [](int sum, const auto& pair) { return sum + pair->reader.fired; });
    if (total != 1)
        return QStringLiteral("%1 notifiers fired for one ready socket").arg(total);
    pairs[7].reset();  // first, so that the new socket takes the closed one's descriptor numbers
    pairs[7].reset(new Watched_pair);
    pairs[7]->send_byte();
    const int& fired = pairs[7]->reader.fired;
    run_until([&] { return fired > 0; });
    return expect(fired == 1, QStringLiteral("the reused descriptor's notifier fired %1 times").arg(fired));
}

QString excluded_notifiers_wait(QThread&)
{
    Watched_pair pair;
    const int& fired = pair.reader.fired;
    pair.send_byte();
    bool timer = false;
    QTimer::singleShot(20, [&] { timer = true; });
    // A ready socket neither fires nor ends the wait; the timer does.
    while (!timer)
        dispatcher().processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeSocketNotifiers);
    if (fired)
        return QStringLiteral("an excluded notifier fired");
    return expect(run_until([&] { return fired > 0; }), QStringLiteral("the notifier did not fire once allowed"));
}

QString queued_calls_from_another_thread(QThread& main_thread)
{
    // Calls queued from the main thread arrive in the order sent, and wake a waiting loop.
    QObject target, sender;
    std::vector<int> sent(100);
    std::iota(sent.begin(), sent.end(), 0);
    std::vector<int> got;
    sender.moveToThread(&main_thread);
    QMetaObject::invokeMethod(&sender, [&] {
        for (int i : sent)
            QMetaObject::invokeMethod(&target, [&, i] { got.push_back(i); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    run_until([&] { return got.size() == sent.size(); });
    return expect(got == sent, QStringLiteral("%1 calls arrived, in order %2").arg(got.size()).arg(got == sent));
}

// No timer, no socket: only the call the main thread makes once this one is about to block can
// end this wait.
QString wait_ended_from(QThread& main_thread, void (QAbstractEventDispatcher::*call)())
{
    QObject caller;
    caller.moveToThread(&main_thread);
    QAbstractEventDispatcher* d = &dispatcher();
    QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, &caller, [d, call] { (d->*call)(); },
                     Qt::QueuedConnection);
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
    return wait_ended_from(main_thread, &QAbstractEventDispatcher::interrupt);
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
    const std::vector<std::pair<const char*, Scenario>> rows = {
        {"timers of every type in deadline order, none early", timers_of_every_type},
        {"a zero timer starves no timer, posted call or deleteLater; quit ends exec", zero_timer_does_not_starve},
        {"a timer stopped by another due in the same pass", timer_killed_by_another},
        {"a repeating timer, not reentered by a nested loop in its slot", repeating_timer_not_reentered},
        {"registeredTimers, remainingTime, unregisterTimers", timer_queries},
        {"a notifier disabled in its slot", notifier_disabled_in_its_slot},
        {"notifiers deleted in a slot", notifier_deleted_in_its_slot},
        {"a write notifier toggled beside a reader", write_notifier_toggled_beside_reader},
        {"only the ready socket's notifier fires", only_ready_notifier_fires},
        {"queued calls from another thread", queued_calls_from_another_thread},
        {"wakeUp from another thread", [](QThread& main_thread) {
             return wait_ended_from(main_thread, &QAbstractEventDispatcher::wakeUp);
         }},
        {"interrupt", interrupt_ends_wait},
        {"calls posted by the thread itself", own_posts_do_not_wait},
    };
    for (bool epoll : {false, true})
        for (const auto& row : rows)
            QTest::addRow("%s: %s", epoll ? "epoll" : "qt", row.first) << epoll << row.second;
    // Qt's dispatcher of other threads on Linux, glib's, lets excluded notifiers fire all the same.
    QTest::addRow("epoll: ExcludeSocketNotifiers") << true << Scenario(excluded_notifiers_wait);
}

void Test_epoll_dispatcher::contracts()
{
    QFETCH(bool, epoll);
    QFETCH(Scenario, scenario);
    QString result = QStringLiteral("did not finish");
    const std::unique_ptr<QThread> worker(QThread::create([&] { result = scenario(*thread()); }));
    if (epoll) {
        auto* d = new Epoll_dispatcher;
        QVERIFY(d->ok());
        worker->setEventDispatcher(d);
    }
    worker->start();
    // The main thread waits with its own loop turning, for the calls it makes to the worker.
    const bool finished = QTest::qWaitFor([&] { return worker->isFinished(); }, 20000);
    if (!finished) {
        // Unblock it so that the test can end.
        worker->eventDispatcher()->interrupt();
        worker->wait(5000);
    }
    QVERIFY2(finished, "the thread under test is stuck");
    QVERIFY2(result.isEmpty(), qPrintable(result));
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
