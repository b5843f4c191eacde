// lensdesk-cli figures, the client run as a child process on loopback:
//  - "info" against the simulated controller (answers at once, lens reports
//    right after "ver"): median wall time, process start included;
//  - "move --focus" against the simulator: wall time beyond the simulated
//    motion (read from the simulator's log), process start included, and the
//    process start alone for comparison;
//  - "watch --json" fed 1,000 reports a second for five seconds by a
//    scripted controller: every report printed, in order, and the client's
//    CPU time meanwhile.

#include "BenchFigure.h"
#include "LoopbackAddress.h"
#include "ProcessCpu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

const QString Bin = QStringLiteral(LENSDESK_BIN_DIR);
constexpr int InfoRuns = 21;
constexpr int MoveRuns = 10;
constexpr int WatchRate = 1000;
constexpr int WatchSeconds = 5;

// Loopback addresses of this run's own.
QString address(int host) { return LoopbackAddress::host(host).toString(); }

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the client to its end; returns the wall time in ms, -1 on failure.
double runCli(const QStringList& arguments)
{
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(Bin + QStringLiteral("/lensdesk-cli"), arguments);
    if (!cli.waitForFinished(30000) || cli.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

class Simulator
{
public:
    bool start()
    {
        m_process.start(Bin + QStringLiteral("/lensdesk-sim"),
                        {"--address", address(1), "--gap", "0", "--report-delay", "0", "--log", logPath()});
        for (int i = 0; i < 200 && !log().contains(QLatin1String("-- ready")); ++i)
            wait(10);
        return log().contains(QLatin1String("-- ready"));
    }
    ~Simulator()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QString log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QString logPath() const { return m_dir.filePath(QStringLiteral("sim.log")); }
    QTemporaryDir m_dir;
    QProcess m_process;
};

// What every command pays before its first datagram: loading and starting
// the program (its --help does nothing else).
double startFigure()
{
    std::vector<double> times;
    for (int i = 0; i < InfoRuns; ++i) {
        const double ms = runCli({"--help"});
        if (ms >= 0)
            times.push_back(ms);
    }
    std::printf("start: %zu runs, median %.1f ms\n", times.size(), median(times));
    printFigure("lensdesk-cli process start and exit (--help)", "none set (measured only)", "%.1f ms median of %zu",
                median(times), times.size());
    return median(times);
}

void infoFigure()
{
    std::vector<double> times;
    for (int i = 0; i < InfoRuns; ++i) {
        const double ms = runCli({"info", address(1)});
        if (ms >= 0)
            times.push_back(ms);
    }
    std::printf("info: %zu runs, median %.1f ms\n", times.size(), median(times));
    printFigure("lensdesk-cli info (process start included)", "<= 150 ms", "%.1f ms median of %zu", median(times),
                times.size());
}

void moveFigure(const Simulator& simulator, double startMs)
{
    std::vector<double> overheads;
    for (int i = 0; i < MoveRuns; ++i) {
        const QString target = QString::number(i % 2 ? 100 : 900);
        const double ms = runCli({"move", address(1), "--focus", target});
        // The simulated motion: from the command's arrival to "focusDone".
        static const QRegularExpression motion(
            QStringLiteral("^\\s*(\\d+) rx \\S+ setFocus=(\\d+)\\n(?:.*\\n)*?\\s*(\\d+) tx "
                           "\\S+ focusDone$"),
            QRegularExpression::MultilineOption);
        QRegularExpressionMatch last;
        auto matches = motion.globalMatch(simulator.log());
        while (matches.hasNext())
            last = matches.next();
        if (ms < 0 || !last.hasMatch() || last.captured(2) != target)
            continue;
        overheads.push_back(ms - (last.captured(3).toDouble() - last.captured(1).toDouble()));
    }
    std::printf("move: %zu runs, median overhead %.1f ms\n", overheads.size(), median(overheads));
    printFigure("lensdesk-cli move: time beyond the simulated motion (process start included)", "<= 20 ms",
                "%.1f ms median of %zu", median(overheads), overheads.size());
    printFigure("lensdesk-cli move: time beyond the simulated motion and the process start", "<= 20 ms", "%.1f ms",
                median(overheads) - startMs);
}

// A controller that identifies itself, answers pings and, once the client
// has identified it, streams numbered zoom reports at a steady rate.
class StreamingController : public QObject
{
public:
    StreamingController()
    {
        m_socket.bind(QHostAddress(address(2)), 1339);
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = m_socket.receiveDatagram();
                m_client = datagram.senderAddress();
                m_port = quint16(datagram.senderPort());
                if (datagram.data() == "ver")
                    m_socket.writeDatagram("ORVO KX-MQTR=1.9.0", m_client, m_port);
                else if (datagram.data() == "ping")
                    m_socket.writeDatagram("AF=1", m_client, m_port);
                else if (datagram.data() == "getNAME" && !m_clock.isValid())
                    m_clock.start();
            }
        });
        connect(&m_pace, &QTimer::timeout, this, [this] {
            if (!m_clock.isValid())
                return;
            const qint64 due = qMin<qint64>(m_clock.elapsed() * WatchRate / 1000, qint64(WatchRate) * WatchSeconds);
            while (m_sent < due)
                m_socket.writeDatagram("Zoom=" + QByteArray::number(++m_sent), m_client, m_port);
        });
        m_pace.setTimerType(Qt::PreciseTimer);
        m_pace.start(1);
    }
    bool streaming() const { return m_clock.isValid(); }
    bool done() const { return m_sent >= qint64(WatchRate) * WatchSeconds; }
    qint64 sent() const { return m_sent; }

private:
    QUdpSocket m_socket;
    QTimer m_pace;
    QElapsedTimer m_clock;
    QHostAddress m_client;
    quint16 m_port = 0;
    qint64 m_sent = 0;
};

void watchFigures()
{
    StreamingController controller;
    QProcess watch;
    watch.start(Bin + QStringLiteral("/lensdesk-cli"), {"--json", "watch", address(2)});
    QByteArray output;
    QObject::connect(&watch, &QProcess::readyReadStandardOutput, [&] { output += watch.readAllStandardOutput(); });
    QElapsedTimer limit;
    limit.start();
    while (!controller.streaming() && limit.elapsed() < 10000)
        wait(10);
    const double cpuBefore = cpuSecondsOf(watch.processId());
    QElapsedTimer window;
    window.start();
    while (!controller.done() && limit.elapsed() < 30000)
        wait(10);
    // Let the last reports through, then end the client.
    wait(300);
    const double cpu = cpuSecondsOf(watch.processId()) - cpuBefore;
    const double seconds = window.nsecsElapsed() / 1e9;
    watch.terminate();
    watch.waitForFinished(5000);
    output += watch.readAllStandardOutput();

    static const QRegularExpression report(QStringLiteral("\"reply\":\"Zoom=(\\d+)\""));
    qint64 expected = 1;
    qint64 printed = 0;
    qint64 outOfOrder = 0;
    for (const QByteArray& line : output.split('\n')) {
        const QRegularExpressionMatch match = report.match(QString::fromUtf8(line));
        if (!match.hasMatch())
            continue;
        ++printed;
        const qint64 number = match.captured(1).toLongLong();
        if (number < expected)
            ++outOfOrder;
        expected = number + 1;
    }
    const qint64 lost = controller.sent() - printed;
    std::printf("watch: %lld sent, %lld printed, %lld out of order, %.2f s CPU in %.2f s\n", controller.sent(), printed,
                outOfOrder, cpu, seconds);
    printFigure("lensdesk-cli watch at 1,000 reports/s: lost, out of order", "none",
                "%lld lost, %lld out of order (of %lld)", lost, outOfOrder, controller.sent());
    printFigure("lensdesk-cli watch at 1,000 reports/s: CPU", "< 10 % of one core", "%.1f %% of one core",
                100 * cpu / seconds);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Simulator simulator;
    if (!simulator.start()) {
        std::fprintf(stderr, "the simulated controller did not start\n");
        return 1;
    }
    const double startMs = startFigure();
    infoFigure();
    moveFigure(simulator, startMs);
    watchFigures();
    return 0;
}
