// Held-button motion on the wire: a LensDesk connected to a peer on a
// loopback address of its own, which timestamps every datagram on arrival in
// a thread of its own and answers the identification and the pings as a
// controller does. Prints:
//   - the interval between "moveZoom" datagrams while a zoom button is held
//     (mean, median, 99th percentile, maximum), for the fast narrow button
//     and for the slow narrow one, which repeats itself while held,
//   - the delay from a press to its first datagram (same statistics),
//   - the process's CPU use while connected and idle.
// Traffic stays on a loopback address of this run's own.
#include "BenchFigure.h"
#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"

#include "app/LensDesk.h"

#include <QApplication>
#include <QPushButton>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
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

// Receives on PeerAddress:1339 and keeps what arrives with its time;
// answers "ver" and "ping" as a controller with a power zoom and an
// autofocus lens does.
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

    // Arrivals so far that begin with `prefix`.
    size_t count(const char* prefix)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return size_t(std::count_if(m_arrivals.begin(), m_arrivals.end(),
                                    [prefix](const Arrival& arrival) { return arrival.text.rfind(prefix, 0) == 0; }));
    }

private:
    void receive()
    {
        char buffer[512];
        while (!m_stop) {
            sockaddr_in sender{};
            socklen_t senderSize = sizeof sender;
            const ssize_t size =
                ::recvfrom(m_socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &senderSize);
            if (size < 0)
                continue;
            const Clock::time_point at = Clock::now();
            const std::string text(buffer, size_t(size));
            const char* answer = text == "ver" ? "ORVO KX-MQTR=1.9.0" : text == "ping" ? "AF=1" : nullptr;
            if (answer)
                ::sendto(m_socket, answer, std::strlen(answer), 0, reinterpret_cast<sockaddr*>(&sender), senderSize);
            std::lock_guard<std::mutex> lock(m_lock);
            m_arrivals.push_back({at, text});
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
    window.isORVOProduct(QString::fromLatin1(PeerAddress));
    for (int waited = 0; !LensDeskTestAccess::motionWorker(window) && waited < 6000; waited += 50)
        runEventsFor(50);
    if (!LensDeskTestAccess::motionWorker(window)) {
        std::fprintf(stderr, "the peer at %s was not identified\n", PeerAddress.constData());
        return 1;
    }
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
        while (peer.count("moveZoom") == 0 && Clock::now() < giveUp)
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

    peer.close();
    return 0;
}
