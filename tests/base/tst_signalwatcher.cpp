#include "TestMain.h"

#include "base/SignalWatcher.h"

#include <QSignalSpy>
#include <QtTest>

#include <csignal>

// The process signals of the programs without a window, raised in this
// process: a stop is reported once and leaves the default action for the
// next signal of its kind, other signals are reported every time, and the
// defaults come back when the watcher goes.
class SignalWatcherTest : public QObject
{
    Q_OBJECT

private slots:
    void stopSignals_data();
    void stopSignals();
    void otherSignalsEveryTime();
    void defaultsRestored();
};

namespace {

bool hasDefaultAction(int number)
{
    struct sigaction current = {};
    ::sigaction(number, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

} // namespace

void SignalWatcherTest::stopSignals_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::newRow("Ctrl+C, then SIGTERM") << int(SIGINT) << int(SIGTERM);
    QTest::newRow("SIGTERM, then SIGHUP") << int(SIGTERM) << int(SIGHUP);
    QTest::newRow("SIGHUP, then Ctrl+C") << int(SIGHUP) << int(SIGINT);
}

void SignalWatcherTest::stopSignals()
{
    QFETCH(int, first);
    QFETCH(int, second);
    SignalWatcher watcher({SIGINT, SIGTERM, SIGHUP}, {SIGUSR1});
    QSignalSpy stops(&watcher, &SignalWatcher::stopRequested);
    QSignalSpy others(&watcher, &SignalWatcher::received);
    QCOMPARE(watcher.stopSignal(), 0);

    ::raise(first);
    QVERIFY(stops.wait(5000));
    QCOMPARE(stops.takeFirst().value(0).toInt(), first);
    QCOMPARE(watcher.stopSignal(), first);
    // A second signal of the same kind would end the process the usual way.
    QVERIFY(hasDefaultAction(first));
    QVERIFY(!hasDefaultAction(second));

    // A stop of another kind asks for what is asked already.
    ::raise(second);
    QTest::qWait(100);
    QCOMPARE(stops.count(), 0);
    QCOMPARE(others.count(), 0);
    QCOMPARE(watcher.stopSignal(), first);
}

void SignalWatcherTest::otherSignalsEveryTime()
{
    SignalWatcher watcher({SIGTERM}, {SIGUSR1, SIGUSR2});
    QSignalSpy stops(&watcher, &SignalWatcher::stopRequested);
    QSignalSpy others(&watcher, &SignalWatcher::received);
    for (int number : {SIGUSR1, SIGUSR1, SIGUSR2, SIGUSR1}) {
        ::raise(number);
        QTRY_COMPARE(others.count(), 1);
        QCOMPARE(others.takeFirst().value(0).toInt(), number);
        QVERIFY(!hasDefaultAction(number));
    }
    QCOMPARE(stops.count(), 0);
    QCOMPARE(watcher.stopSignal(), 0);
}

void SignalWatcherTest::defaultsRestored()
{
    {
        SignalWatcher watcher({SIGINT, SIGTERM}, {SIGUSR1});
        for (int number : {SIGINT, SIGTERM, SIGUSR1})
            QVERIFY(!hasDefaultAction(number));
    }
    for (int number : {SIGINT, SIGTERM, SIGUSR1})
        QVERIFY(hasDefaultAction(number));
}

LENSDESK_TEST_MAIN(SignalWatcherTest)
#include "tst_signalwatcher.moc"
