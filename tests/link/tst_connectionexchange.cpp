#include "TestMain.h"

#include "link/ConnectionExchange.h"

#include <QtTest>

Q_DECLARE_METATYPE(ConnectionExchange::Phase)
Q_DECLARE_METATYPE(ConnectionExchange::ProtocolDecision)

// The connection exchange of the panel, lensdesk-cli and the drivers: what a
// firmware version allows, the protocol choice, and the exchange's commands
// against a clock the test drives.
class ConnectionExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
    void protocolDecision_data();
    void protocolDecision();
    void schedule_data();
    void schedule();
    void startingAgainForgetsTheLastAttempt();
};

void ConnectionExchangeTest::verdict_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("tooOld");
    QTest::addColumn<bool>("stabiliserSwitch");
    QTest::addColumn<bool>("protocolChoice");
    QTest::addColumn<bool>("recent");
    const auto row = [](const char* name, const char* version, bool tooOld, bool stabiliser, bool choice, bool recent) {
        QTest::newRow(name) << QString(version) << tooOld << stabiliser << choice << recent;
    };
    row("1.3.9: too old", "1.3.9", true, true, false, false);
    row("0.4.9: too old", "0.4.9", true, true, true, false);
    row("1.4.0", "1.4.0", false, true, false, false);
    row("1.7.4: no stabiliser switch, no choice", "1.7.4", false, false, false, false);
    row("1.8.3: choice, two protocols", "1.8.3", false, true, true, false);
    row("1.8.12 as the panel shows it", "1.8.12 (BL1) ", false, true, true, false);
    row("1.9.0: three protocols", "1.9.0 (BL1.2)", false, true, true, true);
    row("2.0", "2.0", false, true, true, true);
    // A development build's "d" is not part of its number.
    row("development build 1.8d.3", "1.8d.3", false, true, true, false);
    row("no digits: nothing to judge", "beta", false, true, true, false);
}

void ConnectionExchangeTest::verdict()
{
    QFETCH(QString, version);
    const ConnectionExchange::Verdict verdict = ConnectionExchange::judge(version);
    QTEST(verdict.tooOld, "tooOld");
    QTEST(verdict.stabiliserSwitch, "stabiliserSwitch");
    QTEST(verdict.protocolChoice, "protocolChoice");
    QTEST(verdict.recentFirmware, "recent");
}

void ConnectionExchangeTest::protocolDecision_data()
{
    using Decision = ConnectionExchange::ProtocolDecision;
    QTest::addColumn<int>("chosen");
    QTest::addColumn<int>("inUse"); // -1: not reported
    QTest::addColumn<QString>("version");
    QTest::addColumn<Decision>("decision");
    const auto row = [](const char* name, int chosen, int inUse, const char* version, Decision decision) {
        QTest::newRow(name) << chosen << inUse << QString(version) << decision;
    };
    row("another protocol", 1, 0, "1.9.0", Decision::Switch);
    row("the protocol in use", 1, 1, "1.9.0", Decision::AlreadyInUse);
    row("protocol in use not reported", 1, -1, "1.9.0", Decision::Switch);
    row("protocol 2 on 1.9", 2, 0, "1.9.0", Decision::Switch);
    row("protocol 2 on 1.8", 2, 0, "1.8.3", Decision::NeedsRecentFirmware);
    row("firmware without a choice", 1, 0, "1.7.4", Decision::NoChoice);
    row("protocol 3", 3, 0, "1.9.0", Decision::NoSuchProtocol);
    row("protocol -1", -1, 0, "1.9.0", Decision::NoSuchProtocol);
}

void ConnectionExchangeTest::protocolDecision()
{
    QFETCH(int, chosen);
    QFETCH(int, inUse);
    QFETCH(QString, version);
    const std::optional<int> reported = inUse < 0 ? std::nullopt : std::optional<int>(inUse);
    QTEST(ConnectionExchange::decideProtocol(chosen, reported, ConnectionExchange::judge(version)), "decision");
}

void ConnectionExchangeTest::schedule_data()
{
    using Phase = ConnectionExchange::Phase;
    QTest::addColumn<int>("identifiedAt"); // ms after the start; -1: never
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("sent"); // "ms command"
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<int>("endedAt"); // when the phase was reached
    const QString probes = QStringLiteral("0 blver, 10 getProto, 20 ver");
    const auto row = [&probes](const char* name, int identifiedAt, const char* version, const char* followUps,
                               Phase phase, int endedAt) {
        QStringList sent = probes.split(QLatin1String(", "));
        if (*followUps)
            sent += QString(followUps).split(QLatin1String(", "));
        QTest::newRow(name) << identifiedAt << QString(version) << sent << phase << endedAt;
    };
    row("identified", 25, "1.9.0", "35 setFLAG=99, 45 getNAME", Phase::Identified, 45);
    // The remaining probes still go, the follow-ups after them.
    row("identified among the probes", 15, "1.9.0", "30 setFLAG=99, 40 getNAME", Phase::Identified, 40);
    row("firmware too old", 25, "1.3.9", "", Phase::TooOld, 25);
    row("no answer", -1, "", "", Phase::NoAnswer, 6000);
    row("answer after the limit", 6001, "1.9.0", "", Phase::NoAnswer, 6000);
}

// The owner's loop: it acts at the deadlines the exchange names, and the
// identification comes at its own time.
void ConnectionExchangeTest::schedule()
{
    QFETCH(int, identifiedAt);
    QFETCH(QString, version);
    QFETCH(QStringList, sent);
    QFETCH(ConnectionExchange::Phase, phase);
    QFETCH(int, endedAt);

    constexpr qint64 Start = 100000;
    ConnectionExchange exchange;
    exchange.start(Start);
    QStringList log;
    qint64 reachedAt = -1;
    bool identificationPending = identifiedAt >= 0;
    for (int step = 0; step < 100; ++step) {
        qint64 now = exchange.nextDeadline();
        if (identificationPending && (now < 0 || Start + identifiedAt < now))
            now = Start + identifiedAt;
        if (now < 0)
            break;
        if (identificationPending && now == Start + identifiedAt) {
            identificationPending = false;
            QCOMPARE(exchange.identified(version, now), identifiedAt < ConnectionExchange::IdentifyLimitMs);
        }
        for (const QString& command : exchange.takeDue(now))
            log << QStringLiteral("%1 %2").arg(now - Start).arg(command);
        if (!exchange.isUnderWay() && reachedAt < 0)
            reachedAt = now - Start;
    }
    QCOMPARE(log, sent);
    QCOMPARE(exchange.phase(), phase);
    QCOMPARE(reachedAt, qint64(endedAt));
    QCOMPARE(exchange.nextDeadline(), qint64(-1));
}

void ConnectionExchangeTest::startingAgainForgetsTheLastAttempt()
{
    ConnectionExchange exchange;
    exchange.start(0);
    QCOMPARE(exchange.takeDue(0), QStringList{"blver"});
    QVERIFY(exchange.identified(QStringLiteral("1.3.9"), 5));
    QCOMPARE(exchange.phase(), ConnectionExchange::Phase::TooOld);
    QVERIFY(exchange.verdict().tooOld);

    exchange.start(1000, 500);
    QCOMPARE(exchange.phase(), ConnectionExchange::Phase::Identifying);
    QVERIFY(!exchange.verdict().tooOld);
    QCOMPARE(exchange.takeDue(1000), QStringList{"blver"});
    // A limit of its own.
    QCOMPARE(exchange.takeDue(1500), (QStringList{"getProto", "ver"}));
    QCOMPARE(exchange.phase(), ConnectionExchange::Phase::NoAnswer);
}

LENSDESK_TEST_MAIN(ConnectionExchangeTest)
#include "tst_connectionexchange.moc"
