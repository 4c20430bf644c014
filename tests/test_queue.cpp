// Tests of the queue of commands waiting for the link: the turns between modems and the bound on
// one port's frames as a table of the pure queue, and one port's round trip while two others flood
// theirs, with the real program and the simulator.
#include "link/fair_queue.h"
#include "link/ws_batch.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "tests/bridge_process.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <deque>

namespace {

// The records of one table row: a frame is a modem letter and a number (A1), the link's own
// command is L.
struct Rig {
    std::deque<Frame> frames;
    Query link_command{};
    // Stand-ins for the servers of the modems; only their addresses are compared.
    char servers[26] = {};
    static QStringList dropped;

    static QString name(const Query* q)
    {
        if (q->send != &Ws_connection::send_sdata)
            return QStringLiteral("L");
        const size_t tag = static_cast<const Frame*>(q)->size;
        return QChar(QLatin1Char(static_cast<char>('A' + tag / 100))) + QString::number(tag % 100);
    }
    Link_port* server(QChar letter) { return reinterpret_cast<Link_port*>(&servers[letter.toLatin1() - 'A']); }

    Query& record(const QString& token)
    {
        if (token == QLatin1String("L"))
            return link_command;
        frames.emplace_back();
        Frame& f = frames.back();
        f.send = &Ws_connection::send_sdata;
        f.is_frame = true;
        f.not_send = [](Query* q) { dropped << name(q); };
        f.requester = server(token[0]);
        // Modem C has the lowest EUI, so that turns cannot follow EUIs or letters by chance.
        const int letter = token[0].toLatin1() - 'A';
        f.eui = token[0] == QLatin1Char('C') ? 1 : 0x100 + static_cast<quint64>(letter);
        // The frame's size field carries its name.
        f.size = static_cast<size_t>(letter * 100) + token.mid(1).toUInt();
        return f;
    }
};
QStringList Rig::dropped;

// Runs a script: tokens are pushed; "popN" takes a command of up to N frames, "cancelX" takes out
// the frames of modem X, "countX" notes how many it has queued. The result lists what came out.
QString run(const QString& script)
{
    Rig rig;
    rig.link_command.send = &Ws_connection::send_devlist_req;
    rig.link_command.not_send = [](Query* q) { Rig::dropped << Rig::name(q); };
    Rig::dropped.clear();
    Fair_queue queue;
    QStringList out;
    for (const QString& token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token.startsWith(QLatin1String("pop"))) {
            Query* q = queue.pop();
            if (q && q->send == &Ws_connection::send_sdata)
                gather_batch(*static_cast<Frame*>(q), queue, token.mid(3).toInt());
            QStringList batch;
            for (; q; q = q->next)
                batch << Rig::name(q);
            out << (batch.isEmpty() ? QStringLiteral("-") : batch.join(QLatin1Char('+')));
        } else if (token.startsWith(QLatin1String("cancel"))) {
            out << QStringLiteral("x%1").arg(queue.cancel(rig.server(token[6])));
        } else if (token.startsWith(QLatin1String("count"))) {
            out << QStringLiteral("#%1").arg(queue.count(rig.server(token[5])));
        } else {
            queue.push(rig.record(token));
        }
    }
    queue.release_all();
    if (!Rig::dropped.isEmpty())
        out << QStringLiteral("dropped ") + Rig::dropped.join(QLatin1Char(','));
    return out.join(QLatin1Char(' '));
}

}  // namespace

class Test_queue : public QObject {
    Q_OBJECT
private slots:
    void turns_data();
    void turns();
    void a_port_flooding_its_modem_does_not_hold_back_another();
};

void Test_queue::turns_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("result");
    QTest::newRow("empty") << "pop1" << "-";
    QTest::newRow("one modem keeps its order") << "A1 A2 A3 pop1 pop1 pop1 pop1" << "A1 A2 A3 -";
    QTest::newRow("a flood waits its turn")
        << "A1 A2 A3 A4 B1 pop1 pop1 pop1 pop1 pop1" << "A1 B1 A2 A3 A4";
    QTest::newRow("one frame each is first come, first served")
        << "C1 B1 A1 pop1 pop1 pop1" << "C1 B1 A1";
    QTest::newRow("turns follow arrival") << "A1 A2 B1 B2 C1 C2 pop1 pop1 pop1 pop1 pop1 pop1"
                                          << "A1 B1 C1 A2 B2 C2";
    QTest::newRow("a late comer waits one turn at most")
        << "A1 A2 A3 A4 pop1 pop1 B1 pop1 pop1 pop1" << "A1 A2 A3 B1 A4";
    QTest::newRow("a modem back after its turn joins the next turn")
        << "A1 B1 B2 B3 pop1 A2 pop1 pop1 A3 pop1 pop1 pop1" << "A1 B1 B2 A2 B3 A3";
    QTest::newRow("link command after the frames before it")
        << "A1 A2 L B1 pop1 pop1 pop1 pop1 pop1" << "A1 B1 A2 L -";
    QTest::newRow("link command first goes first") << "L A1 pop1 pop1" << "L A1";
    QTest::newRow("batch takes modems in turn, one frame each")
        << "A1 A2 A3 B1 B2 pop3 pop3 pop3" << "A1+B1 A2+B2 A3";
    QTest::newRow("batch continues the round") << "A1 A2 B1 B2 C1 pop2 pop2 pop2" << "A1+B1 C1+A2 B2";
    QTest::newRow("batch stops at the link command") << "A1 L B1 pop5 pop5 pop5" << "A1 L B1";
    QTest::newRow("count per port") << "A1 B1 A2 L A3 countA countB countC" << "#3 #1 #0 dropped A1,B1,A2,L,A3";
    QTest::newRow("cancel keeps the others in order")
        << "A1 B1 A2 B2 A3 cancelA pop1 pop1 pop1" << "x3 B1 B2 - dropped A1,A2,A3";
    QTest::newRow("cancel of the last record keeps the queue whole")
        << "B1 A1 cancelA C1 pop1 pop1 pop1" << "x1 B1 C1 - dropped A1";
}

void Test_queue::turns()
{
    QFETCH(QString, script);
    QFETCH(QString, result);
    QCOMPARE(run(script), result);
}

// Two clients send a byte every 16 ms to modems served slower than that; a third client's round
// trip is measured before and during the flood. The flooders come back whenever they are dropped.
void Test_queue::a_port_flooding_its_modem_does_not_hold_back_another()
{
    const std::vector<Device> list = numbered_devices(3);
    Sim sim(sim_modems(list, "echo"), {QStringLiteral("--answer-delay"), QStringLiteral("20")});
    QVERIFY(sim.started());
    Bridge_options options;
    options.trace_tcp = "bad_frames";
    options.devlist_period = 60000;
    Bridge bridge(sim.port, list, options);
    QVERIFY(wait_for([&] { return all_listening(list); }));
    auto probe = client_of(list[2].port);
    // The median of count round trips, -1 when one fails.
    const auto median_round_trip = [&](int count) {
        std::vector<int> ms;
        for (int i = 0; i < count; ++i) {
            const QByteArray message = "probe " + QByteArray::number(i);
            QElapsedTimer clock;
            clock.start();
            probe->write(message);
            if (!read_exactly(*probe, message))
                return -1;
            ms.push_back(static_cast<int>(clock.elapsed()));
        }
        std::nth_element(ms.begin(), ms.begin() + count / 2, ms.end());
        return ms[static_cast<size_t>(count / 2)];
    };
    const int unloaded = median_round_trip(9);
    QVERIFY(unloaded >= 0);

    std::unique_ptr<QTcpSocket> flooders[2];
    int connects = 0;
    QTimer flood;
    QObject::connect(&flood, &QTimer::timeout, [&] {
        for (int i = 0; i < 2; ++i) {
            std::unique_ptr<QTcpSocket>& f = flooders[i];
            if (!f || f->state() == QAbstractSocket::UnconnectedState) {
                f.reset(new QTcpSocket);
                QObject::connect(f.get(), &QTcpSocket::readyRead, f.get(), [s = f.get()] { s->readAll(); });
                f->connectToHost(QHostAddress::LocalHost, list[static_cast<size_t>(i)].port);
                ++connects;
            } else if (f->state() == QAbstractSocket::ConnectedState) {
                f->write("x", 1);
            }
        }
    });
    flood.start(16);
    QTest::qWait(500);
    const int loaded = median_round_trip(15);
    flood.stop();
    QVERIFY(loaded >= 0);
    qInfo("third port's median round trip: %d ms alone, %d ms while two ports flood (%d connections of the "
          "flooders)",
          unloaded, loaded, connects);
    // Its frame waits for one frame of each flooder, about three round trips; behind their backlog,
    // or two turns of each, it would wait five and more.
    QVERIFY(loaded <= 4 * std::max(unloaded, 1));
    QVERIFY(bridge.stop());
}

QTEST_GUILESS_MAIN(Test_queue)
#include "test_queue.moc"
