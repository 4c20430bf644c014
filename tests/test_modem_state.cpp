// Tests of the one state of a modem: every combination of what the link and the tables know
// gives one state and its reason, and the system's known errors are told in the program's words.
#include "core/modem_state.h"

#include <QAbstractSocket>
#include <QtTest>

Q_DECLARE_METATYPE(Modem_facts)
Q_DECLARE_METATYPE(Modem_state)

class Test_modem_state : public QObject {
    Q_OBJECT

private slots:
    void state_and_reason_data();
    void state_and_reason();
};

namespace {

Modem_facts facts(Link_state link, bool listed, bool port_open, std::optional<Port_failure> failure = std::nullopt,
                  bool has_port = true)
{
    Modem_facts f;
    f.link = link;
    f.listed = listed;
    f.port_open = port_open;
    f.failure = failure;
    f.has_port = has_port;
    return f;
}

const QString qt_in_use = QStringLiteral("The bound address is already in use");

}  // namespace

void Test_modem_state::state_and_reason_data()
{
    QTest::addColumn<Modem_facts>("facts");
    QTest::addColumn<Modem_state>("state");
    QTest::addColumn<QString>("text");
    const auto online = Link_state::online;
    const Port_failure in_use{3000, qt_in_use, QAbstractSocket::AddressInUseError};
    QTest::newRow("served") << facts(online, true, true) << Modem_state::served << "обслуживается";
    QTest::newRow("link down") << facts(Link_state::offline, true, false) << Modem_state::link_down
                               << "нет связи с сервером";
    // A failure kept from before the link went down is not the reason now.
    QTest::newRow("link down, old failure") << facts(Link_state::offline, true, false, in_use)
                                            << Modem_state::link_down << "нет связи с сервером";
    QTest::newRow("starting") << facts(Link_state::start, false, false) << Modem_state::waiting_for_list
                              << "ждёт список сервера";
    QTest::newRow("not listed") << facts(online, false, false) << Modem_state::not_known << "не известен серверу";
    QTest::newRow("port 0") << facts(online, true, false, std::nullopt, false) << Modem_state::no_port
                            << "без порта TCP";
    QTest::newRow("busy: the program's words")
        << facts(online, true, false, in_use) << Modem_state::port_failed
        << "Порт TCP 3000 не удалось открыть: порт занят другой программой.";
    QTest::newRow("no access") << facts(online, true, false, Port_failure{80, "x", QAbstractSocket::SocketAccessError})
                               << Modem_state::port_failed
                               << "Порт TCP 80 не удалось открыть: нет прав на этот порт.";
    QTest::newRow("unknown code: the system's text")
        << facts(online, true, false, Port_failure{3001, "Odd failure", QAbstractSocket::UnknownSocketError})
        << Modem_state::port_failed << "Порт TCP 3001 не удалось открыть: Odd failure.";
    QTest::newRow("no reason given") << facts(online, true, false) << Modem_state::port_failed << "порт не открыт";
}

void Test_modem_state::state_and_reason()
{
    QFETCH(Modem_facts, facts);
    QFETCH(Modem_state, state);
    QFETCH(QString, text);
    const Modem_status status = modem_status(facts);
    QCOMPARE(status.state, state);
    QCOMPARE(modem_status_text(status), text);
}

QTEST_GUILESS_MAIN(Test_modem_state)
#include "test_modem_state.moc"
