#include "ScriptedController.h"
#include "TestMain.h"

#include "lens/zoomWorker.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <ctime>
#include <memory>

namespace {

using Flag = std::atomic<bool> zoomWorker::*;

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

Q_DECLARE_METATYPE(Flag)

// The motion worker on its own thread, sending through a bound socket to a
// scripted peer: the held-button streams, their order and pace, pausing,
// stopping, re-targeting, the position reader and the limit search.
class ZoomWorkerTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Held buttons.
    void heldZoomStreamsEveryCycle_data();
    void heldZoomStreamsEveryCycle();
    void focusMovesPaceAtTheCommandPause();
    void twoFocusFlagsSendBothInTableOrder();
    void everyRowInTableOrder();
    void nothingHeldSendsNothing();

    // Pause, stop, re-target.
    void pausedSendsNothingAndDoesNotSpin();
    void resumeIsNoticedPromptly();
    void stopEndsPromptlyWithoutCuttingADatagram();
    void retargetSendsSmallStepsToTheNewAddress();

    // Position reports read by the worker itself.
    void readsPositionReports_data();
    void readsPositionReports();
    void onlyTheLastPendingDatagramCounts();

    // Limit search.
    void searchCommands_data();
    void searchCommands();
    void searchEndsAtItsThirdStepFromAStillPosition();
    void movementBelowThreeCountsAsStall();
    void irisMovementIsJudgedAgainstTheTruncatedReference();
    void oneStallCounterServesEverySearch();
    void leftOverStallEndsASearchAtOnce();
    void cancelDuringAStepStaysInForce();

private:
    void startWorker();
    int waitForCommands(const QString& prefix, int count, int timeoutMs = TestWaits::scaled(10000));

    std::unique_ptr<QUdpSocket> m_socket;
    std::unique_ptr<ScriptedController> m_peer;
    std::unique_ptr<zoomWorker> m_worker;
};

void ZoomWorkerTest::init()
{
    m_socket = std::make_unique<QUdpSocket>();
    QVERIFY(m_socket->bind(QHostAddress(QHostAddress::LocalHost), 0));
    m_peer = std::make_unique<ScriptedController>();
    QVERIFY(m_peer->isBound());
    m_worker = std::make_unique<zoomWorker>(m_peer->address(), m_socket.get());
}

void ZoomWorkerTest::cleanup()
{
    m_worker.reset();
    m_peer.reset();
    m_socket.reset();
}

void ZoomWorkerTest::startWorker() { m_worker->start(); }

int ZoomWorkerTest::waitForCommands(const QString& prefix, int count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (m_peer->textsStartingWith(prefix).size() < count && clock.elapsed() < timeoutMs)
        QTest::qWait(5);
    return m_peer->textsStartingWith(prefix).size();
}

void ZoomWorkerTest::heldZoomStreamsEveryCycle_data()
{
    QTest::addColumn<Flag>("flag");
    QTest::addColumn<QString>("command");
    QTest::newRow("fast narrow, step 7") << &zoomWorker::zoomFastNarrow << "moveZoom=-14";
    QTest::newRow("slow narrow, step 7") << &zoomWorker::zoomSlowNarrow << "moveZoom=-7";
    QTest::newRow("fast wide, step 7") << &zoomWorker::zoomFastWide << "moveZoom=14";
    QTest::newRow("slow wide, step 7") << &zoomWorker::zoomSlowWide << "moveZoom=7";
}

void ZoomWorkerTest::heldZoomStreamsEveryCycle()
{
    QFETCH(Flag, flag);
    QFETCH(QString, command);
    m_worker->zoomStep = 7;
    startWorker();
    (*m_worker).*flag = true;
    m_worker->wake();
    QCOMPARE(waitForCommands(QStringLiteral("moveZoom"), 12), 12);
    (*m_worker).*flag = false;

    const QStringList sent = m_peer->textsStartingWith(QStringLiteral("moveZoom"));
    for (const QString& text : sent)
        QCOMPARE(text, command);
    // About every 40 ms: generous bounds for a loaded machine.
    const double interval = m_peer->meanInterval(QStringLiteral("moveZoom"));
    QVERIFY2(interval > 30 && interval < 150, qPrintable(QString::number(interval)));

    // After the release at most the command already under way arrives.
    QTest::qWait(TestWaits::quiet());
    const int afterRelease = m_peer->receivedUntilNow().size();
    QTest::qWait(TestWaits::quiet());
    QCOMPARE(m_peer->receivedUntilNow().size(), afterRelease);
}

void ZoomWorkerTest::focusMovesPaceAtTheCommandPause()
{
    startWorker();
    m_worker->focusSlowNear = true;
    m_worker->wake();
    QCOMPARE(waitForCommands(QStringLiteral("moveFocus"), 5), 5);
    m_worker->focusSlowNear = false;
    for (const QString& text : m_peer->textsStartingWith(QStringLiteral("moveFocus")))
        QCOMPARE(text, QStringLiteral("moveFocus=5"));
    // 200 ms after the command plus the 40 ms cycle.
    const double interval = m_peer->meanInterval(QStringLiteral("moveFocus"));
    QVERIFY2(interval > 200 && interval < 700, qPrintable(QString::number(interval)));
}

void ZoomWorkerTest::twoFocusFlagsSendBothInTableOrder()
{
    // Raised before the loop starts, so that every cycle sees both.
    m_worker->focusFastFar = true;
    m_worker->focusSlowNear = true;
    startWorker();
    QCOMPARE(waitForCommands(QStringLiteral("moveFocus"), 6), 6);
    m_worker->focusFastFar = false;
    m_worker->focusSlowNear = false;

    // Slow near (+step) comes before fast far (-2 x step) in every cycle,
    // whichever was raised first.
    const QStringList sent = m_peer->texts().mid(0, 6);
    for (int i = 0; i < sent.size(); i += 2) {
        QCOMPARE(sent.at(i), QStringLiteral("moveFocus=5"));
        QCOMPARE(sent.at(i + 1), QStringLiteral("moveFocus=-10"));
    }
    // Each of the two holds the loop for the command pause.
    const double interval = m_peer->meanInterval(QStringLiteral("moveFocus"));
    QVERIFY2(interval > 150 && interval < 700, qPrintable(QString::number(interval)));
}

void ZoomWorkerTest::everyRowInTableOrder()
{
    m_worker->zoomStep = 3;
    m_worker->focusStep = 4;
    m_worker->irisStep = 1;
    for (Flag flag : {&zoomWorker::zoomSlowWide, &zoomWorker::zoomSlowNarrow, &zoomWorker::zoomFastWide,
                      &zoomWorker::zoomFastNarrow, &zoomWorker::focusSlowNear, &zoomWorker::focusSlowFar,
                      &zoomWorker::focusFastNear, &zoomWorker::focusFastFar, &zoomWorker::irisSlowClose,
                      &zoomWorker::irisSlowOpen, &zoomWorker::irisFastClose, &zoomWorker::irisFastOpen})
        (*m_worker).*flag = true;
    startWorker();
    QCOMPARE(waitForCommands(QString(), 12), 12);
    const QStringList expected{"moveZoom=3",  "moveZoom=6",  "moveZoom=-3",  "moveZoom=-6",
                               "moveFocus=4", "moveFocus=8", "moveFocus=-4", "moveFocus=-8",
                               "moveAper=-1", "moveAper=-2", "moveAper=1",   "moveAper=2"};
    QCOMPARE(m_peer->texts().mid(0, 12), expected);
}

void ZoomWorkerTest::nothingHeldSendsNothing()
{
    startWorker();
    QTest::qWait(TestWaits::quiet());
    QVERIFY(m_peer->receivedUntilNow().isEmpty());
}

void ZoomWorkerTest::pausedSendsNothingAndDoesNotSpin()
{
    startWorker();
    m_worker->paused = true;
    m_worker->wake();
    // Two cycles: the loop has looked at the pause since.
    QTest::qWait(TestWaits::scaled(2 * zoomWorker::CycleMs));
    m_worker->zoomFastWide = true;
    m_worker->wake();

    const double cpuBefore = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const double cpuUsed = processCpuMs() - cpuBefore;
    QVERIFY(m_peer->receivedUntilNow().isEmpty());
    // A loop that went straight back to its top would burn a whole core.
    QVERIFY2(cpuUsed < 0.5 * wall.elapsed(), qPrintable(QStringLiteral("%1 ms CPU").arg(cpuUsed)));
}

void ZoomWorkerTest::resumeIsNoticedPromptly()
{
    m_worker->paused = true;
    m_worker->zoomFastWide = true;
    startWorker();
    QTest::qWait(TestWaits::quiet());
    QVERIFY(m_peer->receivedUntilNow().isEmpty());
    m_worker->paused = false;
    m_worker->wake();
    QCOMPARE(waitForCommands(QStringLiteral("moveZoom=20"), 1, TestWaits::scaled(2000)), 1);
}

void ZoomWorkerTest::stopEndsPromptlyWithoutCuttingADatagram()
{
    // A search step holds the loop for 750 ms; a stop does not wait it out.
    m_worker->searchZoomNarrow = true;
    m_worker->focusFastNear = true;
    startWorker();
    QCOMPARE(waitForCommands(QStringLiteral("ZoomN"), 1), 1);
    QElapsedTimer clock;
    clock.start();
    m_worker->stopAndWait();
    QVERIFY(m_worker->isFinished());
    QVERIFY2(clock.elapsed() < TestWaits::scaled(2000), qPrintable(QString::number(clock.elapsed())));

    const QStringList sent = m_peer->receivedUntilNow();
    for (const QString& text : sent)
        QVERIFY2(text == "ZoomN=70" || text == "moveFocus=10", qPrintable(text));
    QTest::qWait(TestWaits::quiet());
    QCOMPARE(m_peer->receivedUntilNow().size(), sent.size());
}

void ZoomWorkerTest::retargetSendsSmallStepsToTheNewAddress()
{
    ScriptedController otherPeer;
    QVERIFY(otherPeer.isBound());
    m_worker->zoomPos = 1200;
    m_worker->zoomNarrowLimit = 105;
    m_worker->stallCount = 1;
    m_worker->focusFastNear = true;
    m_worker->paused = true;
    startWorker();

    m_worker->retarget(otherPeer.address(), m_socket.get());
    QCOMPARE(m_worker->deviceAddressText(), otherPeer.address());
    QVERIFY(!m_worker->paused);
    QVERIFY(!m_worker->focusFastNear);
    QCOMPARE(m_worker->zoomPos.load(), 0);
    QCOMPARE(m_worker->zoomNarrowLimit.load(), 0);
    QCOMPARE(m_worker->stallCount.load(), 0);

    m_worker->zoomSlowWide = true;
    m_worker->wake();
    QElapsedTimer clock;
    clock.start();
    while (otherPeer.log().size() < 3 && clock.elapsed() < TestWaits::reply())
        QTest::qWait(5);
    m_worker->zoomSlowWide = false;
    QVERIFY(otherPeer.log().size() >= 3);
    for (const QString& text : otherPeer.texts())
        QCOMPARE(text, QStringLiteral("moveZoom=2"));
    QVERIFY(m_peer->receivedUntilNow().isEmpty());
}

void ZoomWorkerTest::readsPositionReports_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("focus");
    QTest::addColumn<float>("iris");
    QTest::addColumn<int>("zoomSignals");
    QTest::addColumn<int>("irisSignals");
    QTest::newRow("zoom") << "Zoom=1234" << 1234 << 77 << 9.0f << 1 << 0;
    QTest::newRow("iris") << "Iris=5.6" << 11 << 77 << 5.6f << 0 << 1;
    QTest::newRow("focus, no signal") << "Focus=850" << 11 << 850 << 9.0f << 0 << 0;
    QTest::newRow("error reads as focus 0") << "errorFocus" << 11 << 0 << 9.0f << 0 << 0;
    QTest::newRow("unrelated") << "zoomDone" << 11 << 77 << 9.0f << 0 << 0;
}

void ZoomWorkerTest::readsPositionReports()
{
    QFETCH(QString, report);
    QFETCH(int, zoom);
    QFETCH(int, focus);
    QFETCH(float, iris);
    QFETCH(int, zoomSignals);
    QFETCH(int, irisSignals);
    m_worker->zoomPos = 11;
    m_worker->focusPos = 77;
    m_worker->irisPos = 9.0f;
    QSignalSpy zoomSpy(m_worker.get(), &zoomWorker::zoomValue);
    QSignalSpy irisSpy(m_worker.get(), &zoomWorker::irisValue);
    QSignalSpy focusSpy(m_worker.get(), &zoomWorker::focusValue);

    m_peer->sendTo(m_socket->localPort(), report.toLatin1());
    TRY_VERIFY(!m_socket->hasPendingDatagrams());
    QCOMPARE(m_worker->zoomPos.load(), zoom);
    QCOMPARE(m_worker->focusPos.load(), focus);
    QCOMPARE(m_worker->irisPos.load(), iris);
    QCOMPARE(zoomSpy.size(), zoomSignals);
    QCOMPARE(irisSpy.size(), irisSignals);
    QCOMPARE(focusSpy.size(), 0);
    if (zoomSignals)
        QCOMPARE(zoomSpy.at(0).at(0).toInt(), zoom);
    if (irisSignals)
        QCOMPARE(irisSpy.at(0).at(0).toFloat(), iris);
}

void ZoomWorkerTest::onlyTheLastPendingDatagramCounts()
{
    QSignalSpy zoomSpy(m_worker.get(), &zoomWorker::zoomValue);
    QSignalSpy irisSpy(m_worker.get(), &zoomWorker::irisValue);
    // Sent without returning to the event loop, so all three wait together.
    m_peer->sendTo(m_socket->localPort(), "Zoom=1");
    m_peer->sendTo(m_socket->localPort(), "Zoom=2");
    m_peer->sendTo(m_socket->localPort(), "Iris=4");
    TRY_COMPARE(irisSpy.size(), 1);
    QCOMPARE(irisSpy.at(0).at(0).toFloat(), 4.0f);
    QCOMPARE(zoomSpy.size(), 0);
    QCOMPARE(m_worker->zoomPos.load(), 0);
}

void ZoomWorkerTest::searchCommands_data()
{
    QTest::addColumn<Flag>("search");
    QTest::addColumn<Flag>("held");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("move");
    dataRow("zoom narrow", &zoomWorker::searchZoomNarrow, &zoomWorker::zoomFastNarrow, "ZoomN=70", "moveZoom=-20");
    dataRow("zoom wide", &zoomWorker::searchZoomWide, &zoomWorker::zoomFastWide, "ZoomW=70", "moveZoom=20");
    dataRow("focus near", &zoomWorker::searchFocusNear, &zoomWorker::focusFastNear, "FocusN=35", "moveFocus=10");
    dataRow("focus far", &zoomWorker::searchFocusFar, &zoomWorker::focusFastFar, "FocusF=35", "moveFocus=-10");
    dataRow("iris open", &zoomWorker::searchIrisOpen, &zoomWorker::irisFastOpen, "IrisO=7", "moveAper=2");
    dataRow("iris close", &zoomWorker::searchIrisClose, &zoomWorker::irisFastClose, "IrisC=7", "moveAper=-2");
}

// Steps 10, 5 and 1: seven steps per search command; the search keeps the
// axis's fast button held, so the next cycle also sends its move.
void ZoomWorkerTest::searchCommands()
{
    QFETCH(Flag, search);
    QFETCH(Flag, held);
    QFETCH(QString, command);
    QFETCH(QString, move);
    (*m_worker).*search = true;
    startWorker();
    QVERIFY(waitForCommands(QString(), 2) >= 2);
    QCOMPARE(m_peer->texts().mid(0, 2), (QStringList{command, move}));
    QVERIFY(((*m_worker).*held).load());
}

void ZoomWorkerTest::searchEndsAtItsThirdStepFromAStillPosition()
{
    // Received queued on the test's thread, as the window receives it.
    QVector<int> steps;
    connect(m_worker.get(), &zoomWorker::changeZoomStep, this, [&steps](int step) { steps << step; });
    m_worker->zoomPos = 24;
    m_worker->searchZoomNarrow = true;
    m_worker->searchZoomWide = true;
    startWorker();
    QCOMPARE(waitForCommands(QStringLiteral("ZoomW"), 1, TestWaits::scaled(15000)), 1);
    m_worker->searchZoomWide = false;
    m_worker->zoomFastWide = false;

    // First step: movement from the reference 0; second and third: none.
    QCOMPARE(m_peer->textsStartingWith(QStringLiteral("Zoom")),
             (QStringList{"ZoomN=70", "ZoomN=70", "ZoomN=70", "ZoomW=70"}));
    QVERIFY(!m_worker->searchZoomNarrow);
    QCOMPARE(m_worker->zoomNarrowLimit.load(), 24);
    TRY_VERIFY(!steps.isEmpty());
    QCOMPARE(steps.constFirst(), 10);
    // The wide search's first step follows in the same cycle: no held move
    // between the last narrow command and the first wide one.
    const QStringList sent = m_peer->texts();
    QCOMPARE(sent.at(sent.indexOf("ZoomW=70") - 1), QStringLiteral("ZoomN=70"));
}

void ZoomWorkerTest::movementBelowThreeCountsAsStall()
{
    // Each report moves the focus by 2. The reference follows movement
    // only, so the stalls are judged against it: 102 moved (from 0), 104 did
    // not, 106 did (from 102), 108 did not and ends the search.
    m_worker->focusPos = 100;
    connect(m_peer.get(), &ScriptedController::commandReceived, this, [this](const QString& text) {
        if (text.startsWith(QLatin1String("FocusN")))
            m_worker->focusPos = m_worker->focusPos + 2;
    });
    m_worker->searchFocusNear = true;
    startWorker();
    QTRY_VERIFY_WITH_TIMEOUT(!m_worker->searchFocusNear, TestWaits::scaled(15000));
    QCOMPARE(m_peer->textsStartingWith(QStringLiteral("FocusN")).size(), 4);
    QCOMPARE(m_worker->focusNearLimit.load(), 108);
    QVERIFY(!m_worker->focusFastNear);
}

void ZoomWorkerTest::irisMovementIsJudgedAgainstTheTruncatedReference()
{
    m_worker->irisPos = 5.6f;
    m_worker->lastIris = 5;
    m_worker->searchIrisOpen = true;
    startWorker();
    // The second command means the first observation is over: 0.6 is no
    // movement, and the reference stays 5.
    QCOMPARE(waitForCommands(QStringLiteral("IrisO"), 2), 2);
    QCOMPARE(m_worker->lastIris.load(), 5);
    QCOMPARE(m_worker->stallCount.load(), 1);
    TRY_VERIFY(!m_worker->searchIrisOpen);
    QCOMPARE(m_worker->irisOpenLimit.load(), 5.6f);
    QCOMPARE(m_worker->lastIris.load(), 0);
    QCOMPARE(m_worker->stallCount.load(), 0);
}

void ZoomWorkerTest::oneStallCounterServesEverySearch()
{
    // Still positions everywhere: every second observation without movement,
    // of whichever search, ends the search that makes it.
    m_worker->searchZoomNarrow = true;
    m_worker->searchZoomWide = true;
    m_worker->searchFocusNear = true;
    m_worker->searchFocusFar = true;
    startWorker();
    QTRY_VERIFY_WITH_TIMEOUT(!m_worker->searchZoomWide && !m_worker->searchFocusFar, TestWaits::scaled(20000));
    QStringList searches;
    for (const QString& text : m_peer->texts())
        if (!text.startsWith(QLatin1String("move")))
            searches << text.section(QLatin1Char('='), 0, 0);
    // Cycle 1: ZoomN (1), FocusN (2: ends), FocusF (1). Cycle 2: ZoomN (2:
    // ends), ZoomW (1), FocusF (2: ends). Cycles 3 and 4: ZoomW (1), ZoomW (2).
    QCOMPARE(searches, (QStringList{"ZoomN", "FocusN", "FocusF", "ZoomN", "ZoomW", "FocusF", "ZoomW", "ZoomW"}));
    QVERIFY(!m_worker->zoomFastNarrow && !m_worker->zoomFastWide && !m_worker->focusFastNear
            && !m_worker->focusFastFar);
}

void ZoomWorkerTest::leftOverStallEndsASearchAtOnce()
{
    m_worker->stallCount = 1;
    m_worker->focusPos = 1;
    m_worker->searchFocusFar = true;
    startWorker();
    TRY_VERIFY(!m_worker->searchFocusFar);
    QCOMPARE(m_peer->textsStartingWith(QStringLiteral("FocusF")).size(), 1);
    QCOMPARE(m_worker->focusFarLimit.load(), 1);
}

void ZoomWorkerTest::cancelDuringAStepStaysInForce()
{
    // The cancel lands while the worker waits for the lens to settle, and
    // the step then observes movement.
    connect(m_peer.get(), &ScriptedController::commandReceived, this, [this](const QString& text) {
        if (text != QLatin1String("ZoomN=70"))
            return;
        for (Flag flag : {&zoomWorker::searchZoomNarrow, &zoomWorker::searchZoomWide, &zoomWorker::searchFocusNear,
                          &zoomWorker::searchFocusFar, &zoomWorker::searchIrisOpen, &zoomWorker::searchIrisClose,
                          &zoomWorker::zoomFastNarrow, &zoomWorker::zoomFastWide, &zoomWorker::focusFastFar,
                          &zoomWorker::focusFastNear, &zoomWorker::irisFastClose, &zoomWorker::irisFastOpen})
            (*m_worker).*flag = false;
        m_worker->zoomPos = 500;
    });
    m_worker->searchZoomNarrow = true;
    m_worker->searchFocusNear = true;
    startWorker();
    // The step observes the movement after the cancel.
    TRY_COMPARE(m_worker->lastZoom.load(), 500);
    // Nothing raises them again.
    QTest::qWait(TestWaits::quiet());
    QVERIFY(!m_worker->searchZoomNarrow);
    QVERIFY(!m_worker->zoomFastNarrow);
    QVERIFY(!m_worker->searchFocusNear);
    QCOMPARE(m_peer->receivedUntilNow(), QStringList{"ZoomN=70"});
}

LENSDESK_TEST_MAIN(ZoomWorkerTest)
#include "tst_zoomworker.moc"
