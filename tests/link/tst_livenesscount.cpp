#include "TestMain.h"

#include "link/LivenessCount.h"

#include <QtTest>

// The panel's liveness rule as a value: what a run of pings and answers
// makes of the count, the verdict and the pace.
class LivenessCountTest : public QObject
{
    Q_OBJECT

private slots:
    void rule_data();
    void rule();
};

void LivenessCountTest::rule_data()
{
    // Events: "ping" (one left), "life" (a proof of life), "half" (a zoom
    // range report), "slow" (the owner found the controller lost).
    QTest::addColumn<QString>("events");
    // The verdict after each ping: a(nswering), l(ate), x (lost).
    QTest::addColumn<QString>("verdicts");
    QTest::addColumn<int>("missed");
    QTest::addColumn<int>("periodMs");
    const auto row = [](const char* name, const char* events, const char* verdicts, int missed, int periodMs) {
        QTest::newRow(name) << QString(events) << QString(verdicts) << missed << periodMs;
    };
    row("answered between pings", "ping life ping life ping", "aaa", 1, 600);
    row("two unanswered: late, not lost", "ping ping", "al", 2, 600);
    row("four unanswered: lost", "ping ping ping ping", "allx", 4, 600);
    row("a zoom range takes one ping off", "ping ping half ping", "all", 2, 600);
    row("the count may go below zero", "half half ping", "a", -1, 600);
    row("slow after a loss", "ping ping ping ping slow ping", "allxx", 5, 2000);
    row("the first ping after an answer restores the pace", "ping ping ping ping slow life ping", "allxa", 1, 600);
}

void LivenessCountTest::rule()
{
    QFETCH(QString, events);
    QString verdicts;
    LivenessCount count;
    for (const QString& event : events.split(QLatin1Char(' '))) {
        if (event == QLatin1String("ping")) {
            const LivenessCount::Verdict verdict = count.pingSent();
            QCOMPARE(count.verdict(), verdict);
            verdicts += QLatin1Char(verdict == LivenessCount::Verdict::Answering  ? 'a'
                                        : verdict == LivenessCount::Verdict::Late ? 'l'
                                                                                  : 'x');
        } else if (event == QLatin1String("life")) {
            count.proofOfLife();
        } else if (event == QLatin1String("half")) {
            count.halfAnswer();
        } else if (event == QLatin1String("slow")) {
            count.slowDown();
        }
    }
    QTEST(verdicts, "verdicts");
    QTEST(count.missed(), "missed");
    QTEST(count.periodMs(), "periodMs");
    QCOMPARE(count.isLost(), count.missed() > LivenessCount::LostAfterMissedPings);
}

LENSDESK_TEST_MAIN(LivenessCountTest)
#include "tst_livenesscount.moc"
