// indi_lensdesk_focus figures, the driver run by Debian's indiserver and
// connected to the simulated controller on loopback:
//  - from an INDI client's absolute-move request to the focus command on the
//    wire: the request is written to the server's TCP port, and a marker
//    datagram goes to the simulator at the same moment; the simulator's log
//    times both, so the latency is read off one clock (millisecond
//    resolution);
//  - the CPU time of a connected driver left idle for 10 s (it pings the
//    controller every 600 ms meanwhile).

#include "BenchFigure.h"
#include "IndiServer.h"
#include "ProcessCpu.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

const QString Driver = QStringLiteral(LENSDESK_BIN_DIR "/indi_lensdesk_focus");
const QString Device = QStringLiteral("Lens A");
constexpr int Moves = 200;
constexpr int IdleSeconds = 10;
constexpr int WaitMs = 5000;
constexpr int PollMs = 2;

// One line of the simulator's log: "<ms> rx <peer> <text>" or "<ms> tx ...".
struct LogLine
{
    qint64 ms;
    QString direction;
    QString peer;
    QString text;
};

QVector<LogLine> logLines(const SimProcess& sim)
{
    static const QRegularExpression line(QStringLiteral("^\\s*(\\d+) (rx|tx) (\\S+) (.*)$"),
                                         QRegularExpression::MultilineOption);
    QVector<LogLine> lines;
    auto matches = line.globalMatch(sim.log());
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        lines.append({match.captured(1).toLongLong(), match.captured(2), match.captured(3), match.captured(4)});
    }
    return lines;
}

// Waits until the simulator has logged, after the marker from `markerPeer`,
// the focus command and then its confirmation; returns the milliseconds from
// the marker to the command, -1 when either did not come.
qint64 latencyOfNextMove(const SimProcess& sim, const QString& markerPeer, int markersBefore)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < WaitMs) {
        const QVector<LogLine> lines = logLines(sim);
        int markers = 0;
        qint64 markerAt = -1;
        qint64 commandAt = -1;
        for (const LogLine& line : lines) {
            if (line.direction == QLatin1String("rx") && line.peer == markerPeer && ++markers == markersBefore + 1)
                markerAt = line.ms;
            else if (markerAt >= 0 && commandAt < 0 && line.direction == QLatin1String("rx")
                     && line.text.startsWith(QLatin1String("setFocus=")))
                commandAt = line.ms;
            else if (commandAt >= 0 && line.direction == QLatin1String("tx") && line.text == QLatin1String("focusDone"))
                return commandAt - markerAt;
        }
        QTest::qWait(PollMs);
    }
    return -1;
}

double percentile(std::vector<qint64> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::max(1.0, std::ceil(share * double(values.size())))) - 1;
    return double(values[std::min(rank, values.size() - 1)]);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString unavailable = IndiServer::unavailableReason();
    if (!unavailable.isEmpty()) {
        std::printf("INDI figures not measured: %s\n", qPrintable(unavailable));
        return 0;
    }
    // Answers at once, as the figure is about the driver, not the bus.
    SimProcess sim({QStringLiteral("--gap"), QStringLiteral("0")});
    IndiServer server;
    if (!sim.start() || !server.start() || !server.startDriver(Driver, Device)) {
        std::printf("INDI figures not measured: the simulator, the server or the driver did not start\n");
        return 1;
    }
    server.set(QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS;PORT=%2;1339").arg(Device, sim.address().toString()));
    server.set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(Device));
    // Identified, and the lens's focus position known.
    if (!server.waitFor(
            QStringLiteral("\"%1.CONTROLLER_INFO._STATE\"==1 && \"%1.ABS_FOCUS_POSITION._STATE\"==1").arg(Device),
            10)) {
        std::printf("INDI figures not measured: the driver did not connect\n");
        return 1;
    }

    // Idle: connected, nothing asked of it.
    const qint64 pid = server.driverPid(Driver);
    QTest::qWait(1000);
    const double cpuBefore = cpuSecondsOf(pid);
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(IdleSeconds * 1000);
    const double seconds = double(idle.elapsed()) / 1000;
    const double idleShare = 100 * (cpuSecondsOf(pid) - cpuBefore) / seconds;
    // The kernel counts CPU time in clock ticks: one tick in the whole
    // stretch is the smallest share that can show.
    const double tickShare = 100 / double(sysconf(_SC_CLK_TCK)) / seconds;
    std::printf("idle: %.2f %% of one core over %d s (one clock tick: %.2f %%)\n", idleShare, IdleSeconds, tickShare);
    printFigure("indi_lensdesk_focus idle CPU, connected", "< 1 % of one core",
                "%.2f %% of one core (%d s; resolution %.2f %%)", idleShare, IdleSeconds, tickShare);

    // Moves: a client on the server's TCP port asks for small absolute moves
    // in turn; the marker goes out from a socket of its own.
    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), server.port());
    QUdpSocket marker;
    marker.bind(QHostAddress(QHostAddress::LocalHost), 0);
    if (!client.waitForConnected(WaitMs)) {
        std::printf("move latency not measured: no connection to the server\n");
        return 1;
    }
    const QString markerPeer = QStringLiteral("127.0.0.1:%1").arg(marker.localPort());
    std::vector<qint64> latencies;
    for (int move = 0; move < Moves; ++move) {
        const int target = 500 + (move % 2) * 10;
        const QByteArray request = QStringLiteral("<newNumberVector device='%1' name='ABS_FOCUS_POSITION'>"
                                                  "<oneNumber name='FOCUS_ABSOLUTE_POSITION'>%2</oneNumber>"
                                                  "</newNumberVector>\n")
                                       .arg(Device)
                                       .arg(target)
                                       .toUtf8();
        marker.writeDatagram("ping", sim.address(), 1339);
        client.write(request);
        client.flush();
        const qint64 latency = latencyOfNextMove(sim, markerPeer, move);
        if (latency < 0) {
            std::printf("move %d: the focus command or its confirmation did not arrive\n", move);
            break;
        }
        latencies.push_back(latency);
        // The driver takes the confirmation before the next request.
        QTest::qWait(20);
    }
    const double p99 = percentile(latencies, 0.99);
    std::printf("move request to focus command: median %.0f ms, p99 %.0f ms, max %.0f ms (n=%zu)\n",
                percentile(latencies, 0.5), p99, percentile(latencies, 1.0), latencies.size());
    printFigure("indi_lensdesk_focus: absolute-move request to focus command on the wire", "<= 20 ms at p99",
                "p99 %.0f ms, median %.0f ms (n=%zu)", p99, percentile(latencies, 0.5), latencies.size());
    return 0;
}
