// lensdesk-alpaca figures, the server run as a child process on loopback with
// scripted controllers in this process (each on a loopback address of its
// own, answering the connection exchange, pings and focus moves):
//  - "GET position" at 200 requests a second for 10 s, spread over 8
//    controllers, from four client threads on a fixed schedule: p50, p99
//    and the worst, each counted from the request's planned time;
//  - from sending "PUT move" to the focus command reaching its controller,
//    100 moves one after the other over the 8 controllers: p50, p99, worst;
//  - the server's resident memory serving 16 connected controllers after a
//    round of requests to each.

#include "AlpacaProcess.h"
#include "BenchFigure.h"
#include "HttpExchange.h"
#include "LoopbackAddress.h"
#include "ProcessMemory.h"
#include "ScriptedController.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int SpreadControllers = 8;
constexpr int MemoryControllers = 16;
constexpr int RequestsPerSecond = 200;
constexpr int LoadSeconds = 10;
constexpr int ClientThreads = 4;
constexpr int Moves = 100;
constexpr int MovePauseMs = 20;
// The focus positions moves alternate between; fRange=0,1000 makes them the
// controller's own.
const int MovePositions[] = {900, 100};

double msSince(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    return values[index];
}

// Runs `work` on another thread while this one keeps serving the scripted
// controllers in its event loop, and returns its result.
template <class Work>
auto offThread(Work work)
{
    QEventLoop loop;
    auto result = std::async(std::launch::async, [&] {
        auto done = qScopeGuard([&] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); });
        return work();
    });
    loop.exec();
    return result.get();
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A controller with a prime lens that answers everything the server asks
// at once; number `index` tells its MAC from the others'.
std::unique_ptr<ScriptedController> scriptedController(int index)
{
    auto controller = std::make_unique<ScriptedController>(LoopbackAddress::next());
    controller->answer(
        QStringLiteral("ver"),
        {"ORVO RE-2=1.8.3", "Lens=EF50mm f/1.8 II", "aRange=1.8,22", "fRange=0,1000", "IS=0", "Current=50,500,1.8"});
    controller->answer(QStringLiteral("getSN"), {QStringLiteral("SN=%1").arg(16000 + index)});
    controller->answer(QStringLiteral("getMAC"), {QStringLiteral("MAC=2-0-0-0-1-%1").arg(index)});
    controller->answer(QStringLiteral("getNAME"), {QStringLiteral("NAME=bench%1").arg(index)});
    controller->answer(QStringLiteral("ping"), {QStringLiteral("AF=1")});
    for (int position : MovePositions)
        controller->answer(QStringLiteral("setFocus=%1").arg(position),
                           {QStringLiteral("Focus=%1").arg(position), QStringLiteral("focusDone")});
    return controller;
}

struct Rig
{
    QTemporaryDir state;
    std::vector<std::unique_ptr<ScriptedController>> controllers;
    std::unique_ptr<AlpacaProcess> server;
    // Device number of each controller.
    std::vector<int> numbers;

    bool start(int count)
    {
        QStringList arguments{"--discovery-port", "0"};
        for (int i = 0; i < count; ++i) {
            controllers.push_back(scriptedController(i));
            if (!controllers.back()->isBound())
                return false;
            arguments << QStringLiteral("--controller") << controllers.back()->address();
        }
        server = std::make_unique<AlpacaProcess>(LoopbackAddress::next(), state.path(), arguments);
        if (!server->start())
            return false;
        numbers.assign(size_t(count), -1);
        const QHostAddress address = server->address();
        const quint16 port = server->port();
        for (int attempt = 0; attempt < 100 && std::count(numbers.begin(), numbers.end(), -1) > 0; ++attempt) {
            const QJsonArray devices = offThread([=] {
                return HttpExchange::get(address, port, "/management/v1/configureddevices")
                    .json()
                    .value(QStringLiteral("Value"))
                    .toArray();
            });
            for (const QJsonValue& device : devices) {
                const QString mac = device.toObject().value(QStringLiteral("UniqueID")).toString().section('-', -1);
                if (mac.toInt() < count)
                    numbers[size_t(mac.toInt())] = device.toObject().value(QStringLiteral("DeviceNumber")).toInt();
            }
            if (std::count(numbers.begin(), numbers.end(), -1) > 0)
                wait(100);
        }
        if (std::count(numbers.begin(), numbers.end(), -1) > 0)
            return false;
        // Every device connected by its client.
        return offThread([=] {
            for (int number : numbers) {
                const HttpExchange::Reply reply = HttpExchange::put(
                    address, port, "/api/v1/focuser/" + QByteArray::number(number) + "/connected", "Connected=true");
                if (reply.json().value(QStringLiteral("ErrorNumber")).toInt(-1) != 0)
                    return false;
            }
            return true;
        });
    }

    QByteArray member(int controller, const char* name) const
    {
        return "/api/v1/focuser/" + QByteArray::number(numbers[size_t(controller)]) + '/' + name;
    }
};

void measureGets(const Rig& rig)
{
    const int total = RequestsPerSecond * LoadSeconds;
    const auto gap = std::chrono::microseconds(1000000 / RequestsPerSecond);
    const QHostAddress address = rig.server->address();
    const quint16 port = rig.server->port();
    std::vector<QByteArray> targets;
    for (int i = 0; i < SpreadControllers; ++i)
        targets.push_back(rig.member(i, "position"));
    std::atomic<int> failed{0};
    const Clock::time_point start = Clock::now() + std::chrono::milliseconds(100);
    const std::vector<double> latencies = offThread([&] {
        std::vector<std::future<std::vector<double>>> clients;
        for (int client = 0; client < ClientThreads; ++client) {
            clients.push_back(std::async(std::launch::async, [&, client] {
                std::vector<double> own;
                for (int n = client; n < total; n += ClientThreads) {
                    const Clock::time_point planned = start + n * gap;
                    std::this_thread::sleep_until(planned);
                    const HttpExchange::Reply reply = HttpExchange::get(
                        address, port,
                        targets[size_t(n % SpreadControllers)] + "?ClientTransactionID=" + QByteArray::number(n));
                    own.push_back(msSince(planned, Clock::now()));
                    if (reply.status != 200 || reply.json().value(QStringLiteral("ErrorNumber")).toInt(-1) != 0)
                        ++failed;
                }
                return own;
            }));
        }
        std::vector<double> all;
        for (auto& client : clients) {
            const std::vector<double> own = client.get();
            all.insert(all.end(), own.begin(), own.end());
        }
        return all;
    });
    std::printf("GET position, %d requests at %d/s over %d controllers: p50 %.2f ms, p99 %.2f ms, worst %.2f ms, "
                "%d failed\n",
                total, RequestsPerSecond, SpreadControllers, percentile(latencies, 0.5), percentile(latencies, 0.99),
                percentile(latencies, 1.0), failed.load());
    printFigure("Alpaca GET position, 200 requests/s over 8 controllers, p99", "<= 5 ms",
                "%.2f ms (p50 %.2f, %d failed)", percentile(latencies, 0.99), percentile(latencies, 0.5),
                failed.load());
}

void measureMoves(Rig& rig)
{
    // When each controller last heard a focus command, in ns of Clock.
    std::vector<std::atomic<qint64>> arrivals(SpreadControllers);
    for (int i = 0; i < SpreadControllers; ++i) {
        arrivals[size_t(i)] = 0;
        std::atomic<qint64>* arrival = &arrivals[size_t(i)];
        QObject::connect(rig.controllers[size_t(i)].get(), &ScriptedController::commandReceived,
                         [arrival](const QString& text) {
                             if (text.startsWith(QLatin1String("setFocus=")))
                                 *arrival = Clock::now().time_since_epoch().count();
                         });
    }
    const QHostAddress address = rig.server->address();
    const quint16 port = rig.server->port();
    int failed = 0;
    const std::vector<double> latencies = offThread([&] {
        std::vector<double> own;
        for (int move = 0; move < Moves; ++move) {
            const int controller = move % SpreadControllers;
            const int position = MovePositions[(move / SpreadControllers) % 2];
            std::atomic<qint64>& arrival = arrivals[size_t(controller)];
            arrival = 0;
            const Clock::time_point sent = Clock::now();
            const HttpExchange::Reply reply = HttpExchange::put(address, port, rig.member(controller, "move"),
                                                                "Position=" + QByteArray::number(position));
            const Clock::time_point limit = Clock::now() + std::chrono::seconds(1);
            while (arrival == 0 && Clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            if (reply.json().value(QStringLiteral("ErrorNumber")).toInt(-1) != 0 || arrival == 0) {
                ++failed;
                continue;
            }
            own.push_back(msSince(sent, Clock::time_point(Clock::duration(arrival.load()))));
            std::this_thread::sleep_for(std::chrono::milliseconds(MovePauseMs));
        }
        return own;
    });
    std::printf("PUT move to the focus command on the wire, %d moves: p50 %.2f ms, p99 %.2f ms, worst %.2f ms, "
                "%d failed\n",
                Moves, percentile(latencies, 0.5), percentile(latencies, 0.99), percentile(latencies, 1.0), failed);
    printFigure("Alpaca PUT move to the focus command on the wire, p99", "<= 10 ms", "%.2f ms (p50 %.2f, %d failed)",
                percentile(latencies, 0.99), percentile(latencies, 0.5), failed);
}

void measureMemory(Rig& rig)
{
    const QHostAddress address = rig.server->address();
    const quint16 port = rig.server->port();
    std::vector<QByteArray> targets;
    for (int i = 0; i < MemoryControllers; ++i) {
        for (const char* name : {"position", "ismoving", "devicestate", "supportedactions"})
            targets.push_back(rig.member(i, name));
    }
    targets.push_back("/setup");
    targets.push_back("/management/v1/configureddevices");
    offThread([=] {
        for (const QByteArray& target : targets)
            HttpExchange::get(address, port, target);
        return 0;
    });
    wait(2000);
    const double mib = double(residentKiB(rig.server->pid())) / 1024;
    std::printf("Resident memory with %d controllers: %.1f MiB\n", MemoryControllers, mib);
    printFigure("Alpaca server resident memory, 16 controllers", "<= 40 MiB", "%.1f MiB", mib);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    {
        Rig rig;
        if (!rig.start(SpreadControllers)) {
            std::fprintf(stderr, "the server did not come up with %d controllers:\n%s\n", SpreadControllers,
                         qPrintable(rig.server ? rig.server->output() : QString()));
            return 1;
        }
        measureGets(rig);
        measureMoves(rig);
    }
    Rig rig;
    if (!rig.start(MemoryControllers)) {
        std::fprintf(stderr, "the server did not come up with %d controllers:\n%s\n", MemoryControllers,
                     qPrintable(rig.server ? rig.server->output() : QString()));
        return 1;
    }
    measureMemory(rig);
    return 0;
}
