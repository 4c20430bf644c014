// Tests of data commands that carry the frames of several modems: the command's text from its
// frames, and end to end the real program against the simulator, whose lines record every
// command it receives.
#include "link/ws_batch.h"
#include "tcp/frame.h"
#include "tests/bridge_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QtTest>
#include <cstring>
#include <new>

namespace {

// Frames made in place for the command builder: the bytes follow the header, as in the program.
class Frames {
public:
    Frame* add(quint64 eui, const QByteArray& bytes)
    {
        store.emplace_back((sizeof(Frame) + static_cast<size_t>(bytes.size())) / sizeof(std::max_align_t) + 1);
        Frame* f = new (store.back().data()) Frame();
        f->eui = eui;
        f->size = static_cast<size_t>(bytes.size());
        std::memcpy(f->data(), bytes.constData(), f->size);
        if (!head)
            head = f;
        else
            tail->next = f;
        tail = f;
        return f;
    }
    Frame* first() { return head; }

private:
    std::vector<std::vector<std::max_align_t>> store;
    Frame* head = nullptr;
    Frame* tail = nullptr;
};

struct Element {
    QString eui;
    QByteArray data;
};
typedef QVector<Element> Command;

// The data commands the simulator received, in order, element by element.
QVector<Command> data_commands(const QStringList& lines)
{
    QVector<Command> commands;
    for (const QString& line : lines) {
        if (!line.startsWith(QLatin1String("recv ")))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line.mid(5).toUtf8()).object();
        if (o.value(QLatin1String("cmd")).toString() != QLatin1String("send_data_req"))
            continue;
        Command c;
        for (const QJsonValue& e : o.value(QLatin1String("data_list")).toArray())
            c.append({e[QLatin1String("devEui")].toString(),
                      QByteArray::fromHex(e[QLatin1String("data")].toString().mid(2).toLatin1())});
        commands.append(c);
    }
    return commands;
}

// The place of the command that carried this element, -1 when none did.
int command_of(const QVector<Command>& commands, const Element& wanted)
{
    for (int n = 0; n < commands.size(); ++n)
        for (const Element& e : commands[n])
            if (e.eui == wanted.eui && e.data == wanted.data)
                return n;
    return -1;
}

// Every message tells whose it is, so that each client can check it got its own answer.
QByteArray message_of(int client, int round)
{
    return "client " + QByteArray::number(client) + " round " + QByteArray::number(round);
}

}  // namespace

class Test_batching : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void command_text_data();
    void command_text();
    void without_batching_every_command_carries_one_frame_data();
    void without_batching_every_command_carries_one_frame();
    void batches_carry_at_most_the_limit_and_one_frame_per_modem();
    void bad_batch_answer_rebuilds_the_link_data();
    void bad_batch_answer_rebuilds_the_link();

private:
    // The simulator with count echo modems answering after answer_delay_ms, the program serving
    // them all, and a client connected to every port.
    bool start(int count, int batch_max, int answer_delay_ms);
    void send(int client, const QByteArray& message) { clients[static_cast<size_t>(client)]->write(message); }
    bool all_answered(const std::vector<QByteArray>& expected);

    std::vector<Device> list;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<Bridge> bridge;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<QByteArray> received;
};

void Test_batching::cleanup()
{
    clients.clear();
    received.clear();
    if (bridge && bridge->process.state() != QProcess::NotRunning)
        QVERIFY(bridge->stop());
    bridge.reset();
    sim.reset();
}

bool Test_batching::start(int count, int batch_max, int answer_delay_ms)
{
    list = numbered_devices(count);
    sim.reset(new Sim(sim_modems(list, "echo"), {QStringLiteral("--answer-delay"), QString::number(answer_delay_ms)}));
    if (!sim->started())
        return false;
    Bridge_options options;
    options.batch_max = batch_max;
    options.trace_tcp = "bad_frames";
    options.devlist_period = 60000;
    bridge.reset(new Bridge(sim->port, list, options));
    if (!wait_for([&] { return all_listening(list); }))
        return false;
    received.assign(list.size(), QByteArray());
    for (size_t i = 0; i < list.size(); ++i) {
        clients.emplace_back(new QTcpSocket);
        QTcpSocket* c = clients.back().get();
        QObject::connect(c, &QTcpSocket::readyRead, [this, c, i] { received[i] += c->readAll(); });
        c->connectToHost(QHostAddress::LocalHost, list[i].port);
    }
    return wait_for([&] {
        return std::all_of(clients.begin(), clients.end(), [](const std::unique_ptr<QTcpSocket>& c) {
            return c->state() == QAbstractSocket::ConnectedState;
        });
    });
}

bool Test_batching::all_answered(const std::vector<QByteArray>& expected)
{
    if (wait_for([&] { return received == expected; }, 60000))
        return true;
    for (size_t i = 0; i < expected.size(); ++i)
        if (received[i] != expected[i])
            qWarning() << "client" << i << "got" << received[i] << "expected" << expected[i];
    return false;
}

typedef QVector<QPair<quint64, QByteArray>> Frame_list;

void Test_batching::command_text_data()
{
    QTest::addColumn<Frame_list>("frames");
    QTest::addColumn<QByteArray>("text");
    const QByteArray head = "{\"cmd\":\"send_data_req\",\"data_list\":[";
    QTest::newRow("one frame, every kind of byte")
        << Frame_list{{0x0102030405060708ULL, QByteArray::fromHex("00ff0a7f80225c")}}
        << head + "{\"devEui\":\"0102030405060708\",\"data\":\"0400ff0a7f80225c\",\"port\":2}]}";
    QTest::newRow("EUI with leading zeros and letters")
        << Frame_list{{0xABULL, "A"}, {0xFEDCBA9876543210ULL, "b"}}
        << head + "{\"devEui\":\"00000000000000AB\",\"data\":\"0441\",\"port\":2},"
                  "{\"devEui\":\"FEDCBA9876543210\",\"data\":\"0462\",\"port\":2}]}";
    QTest::newRow("three frames, in order")
        << Frame_list{{1, "x"}, {2, "yy"}, {3, "zzz"}}
        << head + "{\"devEui\":\"0000000000000001\",\"data\":\"0478\",\"port\":2},"
                  "{\"devEui\":\"0000000000000002\",\"data\":\"047979\",\"port\":2},"
                  "{\"devEui\":\"0000000000000003\",\"data\":\"047a7a7a\",\"port\":2}]}";
    const QByteArray longest(255, '\xa5');
    QTest::newRow("the longest frame")
        << Frame_list{{0xFFFFFFFFFFFFFFFFULL, longest}}
        << head + "{\"devEui\":\"FFFFFFFFFFFFFFFF\",\"data\":\"04" + longest.toHex() + "\",\"port\":2}]}";
}

void Test_batching::command_text()
{
    QFETCH(Frame_list, frames);
    QFETCH(QByteArray, text);
    Frames made;
    for (const auto& f : frames)
        made.add(f.first, f.second);
    QCOMPARE(sdata_command(*made.first()), text);
    QCOMPARE(batch_size(made.first()), frames.size());
}

void Test_batching::without_batching_every_command_carries_one_frame_data()
{
    QTest::addColumn<int>("batch_max");
    QTest::newRow("no ws_batch_max") << 0;
    QTest::newRow("ws_batch_max 1") << 1;
}

void Test_batching::without_batching_every_command_carries_one_frame()
{
    QFETCH(int, batch_max);
    QVERIFY(start(10, batch_max, 30));
    std::vector<QByteArray> expected;
    for (int i = 0; i < 10; ++i) {
        send(i, message_of(i, 1));
        expected.push_back(message_of(i, 1));
    }
    QVERIFY(all_answered(expected));
    QCOMPARE(data_commands(sim->lines).size(), 10);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(sim->count(QStringLiteral("recv {\"cmd\":\"send_data_req\",\"data_list\":[{\"devEui\":\"%1\","
                                           "\"data\":\"04%2\",\"port\":2}]}")
                                .arg(list[static_cast<size_t>(i)].eui, QString::fromLatin1(message_of(i, 1).toHex()))),
                 1);
}

void Test_batching::batches_carry_at_most_the_limit_and_one_frame_per_modem()
{
    const int count = 50;
    const int twice = 5;
    QVERIFY(start(count, 20, 50));
    std::vector<QByteArray> expected;
    for (int i = 0; i < count; ++i) {
        send(i, message_of(i, 1));
        expected.push_back(message_of(i, 1));
    }
    // While the first command awaits its answer, a few clients send again, after a pause that ended
    // their first frames: their second frames queue behind their first ones.
    QVERIFY(wait_for([&] { return !data_commands(sim->lines).isEmpty(); }));
    QTest::qWait(2 * Bridge_options().interframe_delay);
    for (int i = 0; i < twice; ++i) {
        send(i, message_of(i, 2));
        expected[static_cast<size_t>(i)] += message_of(i, 2);
    }
    QVERIFY(all_answered(expected));

    const QVector<Command> commands = data_commands(sim->lines);
    int elements = 0;
    int largest = 0;
    for (const Command& c : commands) {
        QSet<QString> modems;
        for (const Element& e : c)
            modems.insert(e.eui);
        QCOMPARE(modems.size(), c.size());
        largest = std::max(largest, static_cast<int>(c.size()));
        elements += c.size();
    }
    QVERIFY2(largest > 1 && largest <= 20, qPrintable(QString::number(largest)));
    QCOMPARE(elements, count + twice);
    for (int i = 0; i < twice; ++i) {
        const QString eui = list[static_cast<size_t>(i)].eui;
        const int first = command_of(commands, {eui, message_of(i, 1)});
        QVERIFY(first >= 0);
        QVERIFY(first < command_of(commands, {eui, message_of(i, 2)}));
    }
}

void Test_batching::bad_batch_answer_rebuilds_the_link_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("reordered") << "reordered"
                               << QStringLiteral("неправильный ответ на нашу команду \"send_data_req\": посылали команду "
                                                 "устройству с EUI=0x[0-9A-F]{16}, а пришёл \"send_data_resp\" про "
                                                 "устройство с EUI=0x[0-9A-F]{16}\\.");
    QTest::newRow("short") << "short"
                           << QStringLiteral("неправильное поле \"append_status\": посылали данные сразу нескольким "
                                             "устройствам \\(элементов в \"data_list\": 4\\), а ответов в массиве "
                                             "меньше \\(3\\)\\.");
}

void Test_batching::bad_batch_answer_rebuilds_the_link()
{
    QFETCH(QString, mode);
    QFETCH(QString, reason);
    // The first frame goes alone and is answered as usual; the other four share the next command.
    QVERIFY(start(5, 20, 300));
    QVERIFY(sim->command(QStringLiteral("fault batch_answer ") + mode));
    for (int i = 0; i < 5; ++i)
        send(i, message_of(i, 1));
    const QRegularExpression error(QStringLiteral("^Ошибка в \\d+-м символе 1-й строки текстового сообщения, "
                                                  "пришедшего через соединение WebSocket: ") + reason + "$");
    // The entry that follows the error is written a moment after it.
    QVERIFY(wait_for([&] {
        const QStringList log = bridge->log();
        const int at = log.indexOf(error);
        return at >= 0 && at + 1 < log.size();
    }));
    const QStringList log = bridge->log();
    const int at = log.indexOf(error);
    QCOMPARE(log.value(at + 1), QStringLiteral("Не удалось обработать сообщение от сервера RUVO-LoRa."));
    for (const std::unique_ptr<QTcpSocket>& c : clients)
        QVERIFY(wait_for([&] { return c->state() == QAbstractSocket::UnconnectedState; }));

    QVERIFY(sim->command(QStringLiteral("clear")));
    QVERIFY(sim->wait_count(QStringLiteral("connected"), 2));
    QVERIFY(wait_for([&] { return all_listening(list); }));
    QTcpSocket again;
    again.connectToHost(QHostAddress::LocalHost, list[0].port);
    QVERIFY(again.waitForConnected(process_wait_ms));
    again.write("again");
    QByteArray answer;
    QVERIFY(wait_for([&] {
        answer += again.readAll();
        return answer == "again";
    }));
}

QTEST_GUILESS_MAIN(Test_batching)
#include "test_batching.moc"
