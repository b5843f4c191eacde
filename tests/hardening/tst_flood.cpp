// A flood of position reports: 10,000 "Zoom=" datagrams within one second
// from the controller's address, sent by a thread of their own while the GUI
// thread runs its event loop. The panel keeps handling events, handles the
// reports in their order and gives back the memory it took.
//
// The panel's command socket holds a burst in its receive buffer, but not
// all 10,000 reports at once. So that the outcome never depends on how busy
// the machine is, the sender watches the socket's queue in the kernel and
// waits while it is half full; the kernel's count of datagrams it dropped
// for a full buffer must stay 0.
#include "BenchFigure.h"
#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"
#include "LoopbackSender.h"
#include "ProcessMemory.h"
#include "TestMain.h"

#include "app/LensDesk.h"
#include "link/CommandPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QLineEdit>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <linux/sock_diag.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int Reports = 10000;
constexpr int FloodMs = 1000;

// The longest the sender waits, all told, for the panel to catch up.
constexpr auto LongestBackPressure = std::chrono::seconds(20);

// The kernel's view of a socket's receive side.
struct ReceiveQueue
{
    quint32 queuedBytes = 0;
    quint32 bufferBytes = 0;
    quint32 drops = 0;
};

// Read by the operating system for the descriptor, from any thread; the
// panel's QUdpSocket is not touched.
bool receiveQueue(int descriptor, ReceiveQueue* queue)
{
    quint32 memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof memory;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_MEMINFO, memory, &length) != 0
        || length < (SK_MEMINFO_DROPS + 1) * sizeof(quint32))
        return false;
    queue->queuedBytes = memory[SK_MEMINFO_RMEM_ALLOC];
    queue->bufferBytes = memory[SK_MEMINFO_RCVBUF];
    queue->drops = memory[SK_MEMINFO_DROPS];
    return true;
}

// A setting of the kernel's receive buffers: net.core.rmem_max, the largest
// a socket may ask for, or net.core.rmem_default, what a socket gets that
// asks for nothing.
int receiveBufferSetting(const char* name)
{
    QFile setting(QStringLiteral("/proc/sys/net/core/") + QLatin1String(name));
    return setting.open(QIODevice::ReadOnly) ? setting.readAll().trimmed().toInt() : 0;
}

// Sends "Zoom=1" .. "Zoom=<Reports>" from `from` to 127.0.0.1:`port`,
// spread evenly over FloodMs. A plain socket: this runs on its own thread.
// While the panel's receive queue (`panelDescriptor`) is half full it
// waits, and adds the wait to `heldBackUs`.
void flood(const char* from, quint16 port, int panelDescriptor, std::atomic<int>& sent, std::atomic<qint64>& heldBackUs)
{
    const LoopbackSender sender(from);
    if (!sender.isOpen())
        return;
    const auto start = std::chrono::steady_clock::now();
    auto heldBack = std::chrono::steady_clock::duration::zero();
    for (int i = 1; i <= Reports; ++i) {
        ReceiveQueue queue;
        while (heldBack < LongestBackPressure && receiveQueue(panelDescriptor, &queue)
               && queue.queuedBytes > queue.bufferBytes / 2) {
            const auto waitStart = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            heldBack += std::chrono::steady_clock::now() - waitStart;
        }
        if (sender.send("Zoom=" + QByteArray::number(i), port))
            sent.fetch_add(1);
        // Keep to the schedule: report i leaves at i / Reports of the second
        // (later by any time held back).
        std::this_thread::sleep_until(start + heldBack
                                      + std::chrono::microseconds(qint64(i) * FloodMs * 1000 / Reports));
    }
    heldBackUs = std::chrono::duration_cast<std::chrono::microseconds>(heldBack).count();
}

} // namespace

class FloodTest : public QObject
{
    Q_OBJECT

private slots:
    void positionReportFlood();
};

void FloodTest::positionReportFlood()
{
    // The controller's address, of this test process alone.
    const QByteArray controllerAddress = LoopbackAddress::next().toString().toLatin1();
    LensDesk window;
    LensDeskTestAccess::aimAt(window, QString::fromLatin1(controllerAddress));
    QCoreApplication::processEvents();

    // The panel asks for a burst's worth of receive buffer. The kernel caps
    // the request at rmem_max and books twice the bytes granted; a socket
    // that asks for nothing gets rmem_default. So the buffer is larger than
    // that default on any kernel, however low its cap, and holds the whole
    // request where the cap allows.
    const int descriptor = int(LensDeskTestAccess::commandSocket(window)->socketDescriptor());
    ReceiveQueue before;
    QVERIFY(receiveQueue(descriptor, &before));
    const int defaultBuffer = receiveBufferSetting("rmem_default");
    QVERIFY(defaultBuffer > 0);
    QVERIFY2(int(before.bufferBytes) > defaultBuffer,
             qPrintable(QStringLiteral("%1 bytes, no more than the default %2: the panel asked for none")
                            .arg(before.bufferBytes)
                            .arg(defaultBuffer)));
    const int asked = qMin(CommandPort::PanelReceiveBufferBytes, receiveBufferSetting("rmem_max"));
    QVERIFY2(int(before.bufferBytes) >= asked,
             qPrintable(QStringLiteral("%1 bytes, expected at least %2").arg(before.bufferBytes).arg(asked)));

    // Every handled report shows its value; the values are all different.
    QVector<int> shown;
    shown.reserve(Reports);
    connect(named<QLineEdit>(window, "zoomVal"), &QLineEdit::textChanged, this,
            [&shown](const QString& text) { shown << text.toInt(); });

    // The event loop's lateness: a 5 ms timer that notes how late it fires.
    qint64 worstDelayUs = 0;
    QElapsedTimer sinceTick;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    connect(&heartbeat, &QTimer::timeout, this, [&] {
        worstDelayUs = qMax(worstDelayUs, sinceTick.nsecsElapsed() / 1000 - 5000);
        sinceTick.restart();
    });

    const qint64 memoryBefore = residentKiB();
    std::atomic<int> sent{0};
    std::atomic<qint64> heldBackUs{0};
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    heartbeat.start();
    std::thread sender(flood, controllerAddress.constData(), LensDeskTestAccess::commandSocket(window)->localPort(),
                       descriptor, std::ref(sent), std::ref(heldBackUs));
    // The last report is shown, or the flood is over and nothing more comes.
    QTRY_VERIFY_WITH_TIMEOUT((!shown.isEmpty() && shown.last() == Reports)
                                 || clock.elapsed() > TestWaits::scaled(20000),
                             TestWaits::scaled(30000));
    sender.join();
    const qint64 floodMs = clock.elapsed();
    heartbeat.stop();
    // What the flood left queued is handled before the figures are read.
    QTest::qWait(TestWaits::quiet());
    const qint64 memoryAfter = residentKiB();

    ReceiveQueue after;
    QVERIFY(receiveQueue(descriptor, &after));
    const int handled = shown.size();
    const bool inOrder = std::is_sorted(shown.cbegin(), shown.cend())
        && std::adjacent_find(shown.cbegin(), shown.cend()) == shown.cend();
    qInfo("flood: %d sent, %d handled in %lld ms (sender held back %.1f ms), worst event-loop delay %.1f ms, "
          "memory %+lld KiB, receive buffer %u bytes",
          sent.load(), handled, floodMs, heldBackUs.load() / 1000.0, worstDelayUs / 1000.0, memoryAfter - memoryBefore,
          before.bufferBytes);
    printFigure("Flood: worst event-loop delay", "<= 100 ms", "%.1f ms (%d reports, %d handled)", worstDelayUs / 1000.0,
                Reports, handled);

    QCOMPARE(sent.load(), Reports);
    QCOMPARE(after.drops, before.drops);
    QVERIFY2(inOrder, "reports handled out of order or twice");
    QCOMPARE(handled, Reports);
    QCOMPARE(named<QLineEdit>(window, "zoomVal")->text(), QString::number(Reports));
    // Generous bounds for a loaded two-core machine and sanitizer builds.
    QVERIFY2(worstDelayUs < 2000 * 1000, qPrintable(QString::number(worstDelayUs)));
    if (MemoryIsMeaningful)
        QVERIFY2(memoryAfter - memoryBefore < 4 * 1024, qPrintable(QString::number(memoryAfter - memoryBefore)));
}

LENSDESK_TEST_MAIN(FloodTest)
#include "tst_flood.moc"
