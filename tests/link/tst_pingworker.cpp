#include "ScriptedController.h"
#include "TestMain.h"

#include "link/pingWorker.h"

#include <QtTest>

#include <sys/resource.h>

#include <atomic>
#include <memory>

namespace {
// Counts a monitor signal on the GUI thread. QSignalSpy would record on the
// monitor's thread while the test reads: the window's own connections are
// queued, and so are these.
struct SignalCount
{
    int count = 0;
    QString lastText;
};

template <typename Signal>
void countSignal(pingWorker* monitor, Signal signal, SignalCount& counter)
{
    QObject::connect(monitor, signal, monitor, [&counter](const QString& text) {
        ++counter.count;
        counter.lastText = text;
    });
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

// The liveness monitor on its own, pinging a loopback peer that counts.
class PingWorkerTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void twoUnansweredPingsWarnOnly();
    void fourUnansweredPingsDeclareLoss();
    void answeredPingsNeverWarn();
    void pausedBeforeFirstPingSendsNothing();
    void resumeRestoresNormalPace();
    void endingAPauseKeepsTheCount();
    void stopBeforeStartReturnsAtOnce();

private:
    std::unique_ptr<pingWorker> makeMonitor();

    std::unique_ptr<QUdpSocket> m_socket;
    std::unique_ptr<ScriptedController> m_peer;
};

void PingWorkerTest::init()
{
    m_socket = std::make_unique<QUdpSocket>();
    QVERIFY(m_socket->bind(QHostAddress(QHostAddress::LocalHost), 0));
    m_peer = std::make_unique<ScriptedController>();
    QVERIFY(m_peer->isBound());
}

void PingWorkerTest::cleanup()
{
    m_peer.reset();
    m_socket.reset();
}

std::unique_ptr<pingWorker> PingWorkerTest::makeMonitor()
{
    return std::make_unique<pingWorker>(m_peer->address(), m_socket.get());
}

void PingWorkerTest::twoUnansweredPingsWarnOnly()
{
    auto monitor = makeMonitor();
    SignalCount early, loss;
    countSignal(monitor.get(), &pingWorker::cantsendping2, early);
    countSignal(monitor.get(), &pingWorker::cantsendping, loss);
    monitor->start();

    // After the first ping the pace is set; a long period then keeps the
    // third ping away while the second is looked at, and a pause makes sure.
    TRY_COMPARE(m_peer->count(QStringLiteral("ping")), 1);
    monitor->setPeriod(60000);
    TRY_COMPARE(m_peer->count(QStringLiteral("ping")), 2);
    monitor->pause();
    TRY_COMPARE(early.count, 1);
    QTest::qWait(TestWaits::quiet()); // signals already emitted arrive in this time
    QCOMPARE(early.count, 1);
    QCOMPARE(early.lastText, QStringLiteral("ERROR"));
    QCOMPARE(loss.count, 0);
    QCOMPARE(monitor->missedPings(), 2);

    // A stop request cuts the long sleep short.
    monitor->requestStop();
    QVERIFY(monitor->wait(TestWaits::reply()));
    QCOMPARE(m_peer->count(QStringLiteral("ping")), 2);
}

void PingWorkerTest::fourUnansweredPingsDeclareLoss()
{
    auto monitor = makeMonitor();
    std::atomic<int> countAtFirstWarning{0};
    std::atomic<int> countAtFirstLoss{0};
    // Direct connections run on the monitor's thread right after each ping
    // and see the count the signal was emitted for.
    connect(
        monitor.get(), &pingWorker::cantsendping2, monitor.get(),
        [&] {
            int none = 0;
            countAtFirstWarning.compare_exchange_strong(none, monitor->missedPings());
        },
        Qt::DirectConnection);
    connect(
        monitor.get(), &pingWorker::cantsendping, monitor.get(),
        [&] {
            int none = 0;
            countAtFirstLoss.compare_exchange_strong(none, monitor->missedPings());
        },
        Qt::DirectConnection);
    SignalCount early, loss;
    countSignal(monitor.get(), &pingWorker::cantsendping2, early);
    countSignal(monitor.get(), &pingWorker::cantsendping, loss);
    monitor->start();

    QTRY_VERIFY_WITH_TIMEOUT(loss.count >= 1, TestWaits::scaled(15000));
    QCOMPARE(countAtFirstWarning.load(), 2);
    QCOMPARE(countAtFirstLoss.load(), 4);
    QVERIFY(early.count >= 3);
    QVERIFY(m_peer->count(QStringLiteral("ping")) >= 4);
    QCOMPARE(loss.lastText, QStringLiteral("ERROR"));
    monitor->requestStop();
    QVERIFY(monitor->wait(TestWaits::reply()));
}

void PingWorkerTest::answeredPingsNeverWarn()
{
    auto monitor = makeMonitor();
    SignalCount early, loss;
    countSignal(monitor.get(), &pingWorker::cantsendping2, early);
    countSignal(monitor.get(), &pingWorker::cantsendping, loss);
    // The main window's reply handling calls resume() on proof of life.
    connect(m_peer.get(), &ScriptedController::commandReceived, monitor.get(), [&] { monitor->resume(); });
    monitor->start();
    QTRY_VERIFY_WITH_TIMEOUT(m_peer->count(QStringLiteral("ping")) >= 6, TestWaits::scaled(15000));
    QCOMPARE(early.count, 0);
    QCOMPARE(loss.count, 0);
    QVERIFY(monitor->missedPings() <= 1);
}

void PingWorkerTest::pausedBeforeFirstPingSendsNothing()
{
    auto monitor = makeMonitor();
    monitor->pause();
    monitor->start();
    // Absence can only be shown by waiting: longer than two ping periods.
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(2 * pingWorker::NormalPeriodMs + TestWaits::quiet());
    QCOMPARE(m_peer->count(QStringLiteral("ping")), 0);
    QVERIFY(monitor->isRunning());
    // A paused monitor waits; a spinning one would burn the whole wait.
    QVERIFY2(processCpuSeconds() - cpuBefore < 0.5, "the paused monitor spins");

    monitor->resume();
    TRY_VERIFY(m_peer->count(QStringLiteral("ping")) >= 1);
    monitor->pause();
    monitor->requestStop();
    QVERIFY(monitor->wait(TestWaits::reply()));
}

void PingWorkerTest::resumeRestoresNormalPace()
{
    auto monitor = makeMonitor();
    monitor->start();
    TRY_VERIFY(m_peer->count(QStringLiteral("ping")) >= 2);
    // The main window slows the monitor down after a loss.
    monitor->setPeriod(pingWorker::SlowPeriodMs);
    QTRY_COMPARE_WITH_TIMEOUT(monitor->period(), pingWorker::SlowPeriodMs, TestWaits::scaled(1000));

    monitor->resume();
    const int before = m_peer->count(QStringLiteral("ping"));
    TRY_VERIFY(m_peer->count(QStringLiteral("ping")) > before);
    QTRY_COMPARE_WITH_TIMEOUT(monitor->period(), pingWorker::NormalPeriodMs, TestWaits::scaled(1000));
    // Two more pings at 600 ms take 1.2 s; at the slow pace they would take 4 s.
    const int first = m_peer->count(QStringLiteral("ping"));
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(m_peer->count(QStringLiteral("ping")) >= first + 2, 3500);
    QVERIFY(clock.elapsed() < 3500);
    monitor->requestStop();
    QVERIFY(monitor->wait(TestWaits::reply()));
}

// The end of an operator's pause is no proof of life: a lost controller's
// monitor goes on pinging and counting from where it stood.
void PingWorkerTest::endingAPauseKeepsTheCount()
{
    auto monitor = makeMonitor();
    monitor->start();
    QTRY_VERIFY_WITH_TIMEOUT(monitor->isLost(), TestWaits::scaled(15000));
    monitor->pause();
    // A ping under way as the pause begins only raises the count further.
    const int missed = monitor->missedPings();
    const int pings = m_peer->count(QStringLiteral("ping"));

    monitor->endPause();
    QVERIFY(!monitor->isPaused());
    TRY_VERIFY(m_peer->count(QStringLiteral("ping")) > pings);
    QTRY_VERIFY_WITH_TIMEOUT(monitor->missedPings() > missed, TestWaits::scaled(1000));
    monitor->requestStop();
    QVERIFY(monitor->wait(TestWaits::reply()));
}

void PingWorkerTest::stopBeforeStartReturnsAtOnce()
{
    auto monitor = makeMonitor();
    monitor->requestStop();
    QElapsedTimer clock;
    clock.start();
    monitor->start();
    QVERIFY(monitor->wait(TestWaits::reply()));
    QVERIFY(clock.elapsed() < TestWaits::scaled(2000));
    QCOMPARE(m_peer->count(QStringLiteral("ping")), 0);

    // The request was cleared: the monitor can be started again.
    monitor->start();
    TRY_VERIFY(m_peer->count(QStringLiteral("ping")) >= 1);
    monitor->requestStop();
    QVERIFY(monitor->wait(TestWaits::reply()));
}

LENSDESK_TEST_MAIN(PingWorkerTest)

#include "tst_pingworker.moc"
