#include "LoopbackSender.h"
#include "ScriptedController.h"
#include "TestMain.h"

#include "cli/ControllerSession.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// How long the flood lasts at most, and how long a wait may overrun its
// limit on a loaded machine.
constexpr auto FloodLasts = std::chrono::seconds(8);
constexpr int WaitLimitMs = 300;
constexpr int OverrunAllowedMs = 2500;

// Sends "Zoom=1", "Zoom=2"... from `from` to 127.0.0.1:`port` as fast as the
// kernel takes them, until `stop` or FloodLasts, and counts them in `sent`.
// A plain socket: this runs on its own thread.
void flood(const QByteArray& from, quint16 port, const std::atomic<bool>& stop, std::atomic<int>& sent)
{
    const LoopbackSender sender(from);
    const auto end = std::chrono::steady_clock::now() + FloodLasts;
    for (int i = 1; sender.isOpen() && !stop && std::chrono::steady_clock::now() < end; ++i) {
        if (sender.send("Zoom=" + QByteArray::number(i), port))
            ++sent;
    }
}

} // namespace

// The command-line client's view of one controller, against a scripted
// controller on loopback: its replies are read in bounded passes like the
// panel's (through the controller link and its pump), so that a controller
// that never stops talking cannot hold off a wait's time limit.
class ControllerSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void repliesAreReadInBatches();
    void waitsEndInTimeDuringAFlood();
};

void ControllerSessionTest::repliesAreReadInBatches()
{
    ScriptedController controller;
    QVERIFY(controller.isBound());
    ControllerSession session(controller.address());
    QVERIFY(session.isOpen());
    QSignalSpy replies(&session, &ControllerSession::replyReceived);
    constexpr int Reports = 150; // well within the socket's receive buffer
    for (int i = 1; i <= Reports; ++i)
        controller.sendTo(session.link().localPort(), "Zoom=" + QByteArray::number(i));

    // One turn of the event loop reads one batch; the rest follow on its
    // next turns, in order.
    QCoreApplication::processEvents();
    QVERIFY2(replies.count() >= 1 && replies.count() < Reports, qPrintable(QString::number(replies.count())));
    QVERIFY(session.waitUntil([&replies] { return replies.count() == Reports; }, TestWaits::reply()));
    for (int i = 0; i < Reports; ++i)
        QCOMPARE(replies.at(i).at(0).toString(), QStringLiteral("Zoom=%1").arg(i + 1));
}

// A controller that never stops talking cannot hold off a wait's limit.
void ControllerSessionTest::waitsEndInTimeDuringAFlood()
{
    ScriptedController controller;
    QVERIFY(controller.isBound());
    ControllerSession session(controller.address());
    QVERIFY(session.isOpen());
    QSignalSpy replies(&session, &ControllerSession::replyReceived);
    // A consumer that takes its time over every reply (a client writing
    // each to a slow pipe): the flood outpaces it, so the socket never
    // empties.
    connect(&session, &ControllerSession::replyReceived, this,
            [] { std::this_thread::sleep_for(std::chrono::microseconds(200)); });
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread sender(flood, controller.address().toLatin1(), session.link().localPort(), std::cref(stop),
                       std::ref(sent));
    const auto stopSender = qScopeGuard([&] {
        stop = true;
        sender.join();
    });
    // Without handling events, so that the flood waits in the socket.
    QElapsedTimer clock;
    clock.start();
    while (sent < 1000 && clock.elapsed() < TestWaits::reply())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QVERIFY(sent >= 1000);

    clock.restart();
    QVERIFY(!session.waitUntil([] { return false; }, WaitLimitMs));
    const qint64 took = clock.elapsed();
    QVERIFY2(took < WaitLimitMs + OverrunAllowedMs, qPrintable(QString::number(took)));
    QVERIFY(replies.count() > 0);
}

LENSDESK_TEST_MAIN(ControllerSessionTest)
#include "tst_controllersession.moc"
