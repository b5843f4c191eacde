// Held-button motion on the wire: a LensDesk with its motion worker sends to
// a peer on a loopback address of its own, which timestamps every datagram
// on arrival in a thread of its own. Prints:
//   - the interval between "moveZoom" datagrams while a zoom button is held
//     (mean, median, 99th percentile, maximum), for the fast narrow button
//     and for the slow narrow one, which repeats itself while held,
//   - the delay from a press to its first datagram (same statistics),
//   - the process's CPU use while connected and idle, and while paused.
// Traffic stays on a loopback address of this run's own.
#include "BenchFigure.h"
#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"

#include "app/LensDesk.h"
#include "lens/zoomWorker.h"
#include "link/pingWorker.h"

#include <QApplication>
#include <QPushButton>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
const QByteArray PeerAddress = LoopbackAddress::next().toString().toLatin1();

struct Arrival
{
    Clock::time_point at;
    std::string text;
};

// Receives on PeerAddress:1339 and keeps what arrives with its time.
class Peer
{
public:
    bool open()
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(1339);
        inet_pton(AF_INET, PeerAddress.constData(), &address.sin_addr);
        timeval timeout{0, 100000};
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        m_thread = std::thread([this] { receive(); });
        return true;
    }

    void close()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_socket);
    }

    std::vector<Arrival> take()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<Arrival> result;
        result.swap(m_arrivals);
        return result;
    }

    size_t count()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_arrivals.size();
    }

private:
    void receive()
    {
        char buffer[512];
        while (!m_stop) {
            const ssize_t size = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (size < 0)
                continue;
            const Clock::time_point at = Clock::now();
            std::lock_guard<std::mutex> lock(m_lock);
            m_arrivals.push_back({at, std::string(buffer, size_t(size))});
        }
    }

    int m_socket = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<Arrival> m_arrivals;
};

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// Prints the statistics line and, given a figure name, the same figure for
// scripts/bench's table.
void printStatistics(const char* what, std::vector<double> values, const char* figure = nullptr,
                     const char* goal = nullptr)
{
    if (values.empty()) {
        std::printf("%-42s no samples\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double value : values)
        sum += value;
    const auto at = [&values](double fraction) {
        return values[std::min(values.size() - 1, size_t(fraction * double(values.size() - 1) + 0.5))];
    };
    std::printf("%-42s n=%zu mean=%.2f ms median=%.2f ms p99=%.2f ms max=%.2f ms\n", what, values.size(),
                sum / double(values.size()), at(0.5), at(0.99), values.back());
    if (figure)
        printFigure(figure, goal, "mean %.2f ms, p99 %.2f ms (n=%zu)", sum / double(values.size()), at(0.99),
                    values.size());
}

// Milliseconds between successive "moveZoom" datagrams.
std::vector<double> moveZoomIntervals(const std::vector<Arrival>& arrivals)
{
    std::vector<double> intervals;
    Clock::time_point previous{};
    for (const Arrival& arrival : arrivals) {
        if (arrival.text.rfind("moveZoom", 0) != 0)
            continue;
        if (previous != Clock::time_point{})
            intervals.push_back(milliseconds(arrival.at - previous));
        previous = arrival.at;
    }
    return intervals;
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuPercentOver(int ms)
{
    const double cpuBefore = processCpuMs();
    const Clock::time_point wallBefore = Clock::now();
    runEventsFor(ms);
    return 100.0 * (processCpuMs() - cpuBefore) / milliseconds(Clock::now() - wallBefore);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit());
    QApplication application(argc, argv);

    const int holdSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int presses = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;

    Peer peer;
    if (!peer.open()) {
        std::fprintf(stderr, "cannot bind %s:1339\n", PeerAddress.constData());
        return 1;
    }

    LensDesk window;
    LensDeskTestAccess::productName(window) = QStringLiteral("ORVO KX-MQTR");
    LensDeskTestAccess::controllerAddress(window) = QString::fromLatin1(PeerAddress);
    LensDeskTestAccess::motionWorker(window) = new zoomWorker(LensDeskTestAccess::controllerAddress(window),
                                                              LensDeskTestAccess::commandSocket(window), &window);
    LensDeskTestAccess::motionWorker(window)->start();
    LensDeskTestAccess::livenessMonitor(window) = new pingWorker(LensDeskTestAccess::controllerAddress(window),
                                                                 LensDeskTestAccess::commandSocket(window), &window);
    LensDeskTestAccess::livenessMonitor(window)->start();
    window.setLensControlsEnabled(true);
    runEventsFor(300);
    peer.take();

    // A held zoom button.
    window.zoomFastNarrowPressed();
    std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
    window.zoomFastNarrowReleased();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    printStatistics("moveZoom interval while held:", moveZoomIntervals(peer.take()), "Zoom cadence while held",
                    "40 +- 5 ms at p99");

    // The slow narrow button, held down with the event loop running: it
    // repeats released() and pressed() every 100 ms.
    window.findChild<QPushButton*>(QStringLiteral("slowNarrowZoom"))->setDown(true);
    window.zoomSlowNarrowPressed();
    runEventsFor(holdSeconds * 1000);
    window.findChild<QPushButton*>(QStringLiteral("slowNarrowZoom"))->setDown(false);
    window.zoomSlowNarrowReleased();
    runEventsFor(100);
    printStatistics("moveZoom interval, auto-repeating button:", moveZoomIntervals(peer.take()),
                    "Zoom cadence, auto-repeating button held", "40 +- 5 ms at p99");

    // Presses at random points of the worker's cycle.
    std::vector<double> delays;
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(40000)));
        peer.take();
        const Clock::time_point pressed = Clock::now();
        window.zoomFastNarrowPressed();
        const Clock::time_point giveUp = pressed + std::chrono::seconds(1);
        while (peer.count() == 0 && Clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        window.zoomFastNarrowReleased();
        for (const Arrival& arrival : peer.take())
            if (arrival.text.rfind("moveZoom", 0) == 0) {
                delays.push_back(milliseconds(arrival.at - pressed));
                break;
            }
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    printStatistics("press to first moveZoom:", delays, "Press to first datagram", "<= 5 ms at p99");

    // Connected and idle: the worker's empty cycles and the pings.
    std::printf("%-42s %.3f %% of one core\n", "CPU while connected and idle:", cpuPercentOver(10000));
    LensDeskTestAccess::motionWorker(window)->paused = true;
    LensDeskTestAccess::livenessMonitor(window)->pause();
    std::printf("%-42s %.3f %% of one core\n", "CPU while both workers are paused:", cpuPercentOver(5000));

    peer.close();
    return 0;
}
