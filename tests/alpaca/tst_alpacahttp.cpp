#include "HttpExchange.h"
#include "LoopbackAddress.h"
#include "ScriptedDevices.h"
#include "TestMain.h"

#include "alpaca/AlpacaDiscovery.h"
#include "alpaca/AlpacaHttpServer.h"
#include "alpaca/AlpacaServer.h"
#include "alpaca/DeviceNumbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <future>
#include <memory>
#include <thread>

// The Alpaca server's HTTP side over real sockets on a loopback address of
// this test's own: requests handed from the server's threads to the
// controller thread (this one) and back, the bounds on what a client can
// send or hold, malformed and hostile requests, a burst of clients, and
// discovery. The controllers are set up by the test.
class AlpacaHttpTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void requestsCrossToTheControllerThread();
    void malformedRequests_data();
    void malformedRequests();
    void slowSenderIsCutOff();
    void connectionsAreBounded();
    void keepAliveAndPipelining();
    void burstOfClients();
    void busyControllerThread();
    void stopsWithAClientConnected();
    void discovery();
    void discoveryFlood();
    void wholeServer();
    void portInUse();

private:
    // Runs `work` on a thread of its own while this thread, the controller
    // thread, handles events; returns its result.
    template <typename Work>
    static auto whileServing(Work work) -> decltype(work());
    HttpExchange::Reply get(const QByteArray& target);

    std::unique_ptr<ScriptedDevices> m_devices;
    std::unique_ptr<AlpacaHttpServer> m_server;
    QHostAddress m_address;
    ScriptedFocuser* m_focuser = nullptr;
};

namespace {
// Generous: the machine may be loaded.
const int ServeLimitMs = TestWaits::scaled(60000);
} // namespace

template <typename Work>
auto AlpacaHttpTest::whileServing(Work work) -> decltype(work())
{
    auto result = std::async(std::launch::async, std::move(work));
    QElapsedTimer waited;
    waited.start();
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready
           && waited.elapsed() < ServeLimitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return result.get();
}

void AlpacaHttpTest::init()
{
    m_devices = std::make_unique<ScriptedDevices>(1000);
    m_focuser = m_devices->add(QStringLiteral("10.231.99.1"), QStringLiteral("2-0-0-17-34-51"));
    m_focuser->facts.name = QStringLiteral("cam1");
    m_devices->devices().review();
    m_server = std::make_unique<AlpacaHttpServer>(
        [this](const AlpacaRequest& request) { return m_devices->router().answer(request); });
    m_address = LoopbackAddress::next();
    QString error;
    QVERIFY2(m_server->start(m_address.toString(), 0, &error), qPrintable(error));
}

void AlpacaHttpTest::cleanup()
{
    m_server.reset();
    m_devices.reset();
}

HttpExchange::Reply AlpacaHttpTest::get(const QByteArray& target)
{
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    return whileServing([=] { return HttpExchange::get(address, port, target); });
}

void AlpacaHttpTest::requestsCrossToTheControllerThread()
{
    HttpExchange::Reply reply = get("/api/v1/focuser/0/name?ClientTransactionID=5");
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(reply.json().value(QStringLiteral("Value")).toString(), QStringLiteral("cam1"));
    QCOMPARE(reply.json().value(QStringLiteral("ClientTransactionID")).toInt(), 5);

    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    reply = whileServing([=] {
        HttpExchange::put(address, port, "/api/v1/focuser/0/connected", "Connected=true");
        return HttpExchange::put(address, port, "/api/v1/focuser/0/move", "ClientTransactionID=6&Position=640");
    });
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.json().value(QStringLiteral("ErrorNumber")).toInt(), 0);
    QCOMPARE(m_focuser->orders, QStringList{QStringLiteral("moveTo 640")});

    // The plain-text reason of a request the server cannot interpret.
    reply = get("/api/v1/focuser/3/position");
    QCOMPARE(reply.status, 400);
    QVERIFY(reply.header("Content-Type").startsWith("text/plain"));
    QVERIFY(reply.body.contains("no focuser 3"));

    reply = get("/setup");
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.body.contains("10.231.99.1"));
    reply = get("/");
    QCOMPARE(reply.status, 303);
    QCOMPARE(reply.header("Location"), QByteArray("/setup"));
}

void AlpacaHttpTest::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("atOnce");

    // `atOnce`: answered without waiting for the request's time limit.
    auto row = [](const char* name, const QByteArray& request, int status, bool atOnce = true) {
        QTest::newRow(name) << request << status << atOnce;
    };
    const QByteArray put = "PUT /api/v1/focuser/0/move HTTP/1.1\r\n";
    const QByteArray form = "Content-Type: application/x-www-form-urlencoded\r\n";
    const QByteArray filler = "X-Filler: " + QByteArray(90, 'x') + "\r\n";
    row("no request line", "\r\n\r\n", 400);
    row("garbage", "hello there\r\n\r\n", 400);
    row("method only", "GET\r\n\r\n", 400);
    row("binary", QByteArray("\0\x01\x02\xff\xfe GET / HTTP/1.1\r\n\r\n", 22), 400);
    row("no HTTP version", "GET /management/apiversions\r\n\r\n", 400);
    row("header without colon", "GET /management/apiversions HTTP/1.1\r\nnonsense\r\n\r\n", 200);
    row("long path", "GET /" + QByteArray(8000, 'a') + " HTTP/1.1\r\n\r\n", 404);
    row("request line too long", "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n\r\n", 414);
    row("one endless header", "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'y') + "\r\n\r\n", 400);
    row("too many headers", "GET / HTTP/1.1\r\n" + filler.repeated(200) + "\r\n", 400);
    // Nothing is read past the bound: the line is not awaited to its end.
    row("endless request line", "GET /" + QByteArray(100000, 'a'), 431);
    row("endless header line", "GET / HTTP/1.1\r\nX: " + QByteArray(100000, 'y'), 400);
    row("body over the limit", put + "Content-Length: 5000\r\n\r\n" + QByteArray(5000, 'a'), 413);
    // The library awaits the body it is to skip until the time limit.
    row("negative length", put + "Content-Length: -5\r\n\r\n", 413, false);
    row("huge length", put + "Content-Length: 99999999999999999999\r\n\r\n", 413, false);
    row("chunked body over the limit",
        put + "Transfer-Encoding: chunked\r\n\r\n2000\r\n" + QByteArray(8192, 'a') + "\r\n0\r\n\r\n", 400);
    row("form of many parameters",
        put + form + "Content-Length: 3999\r\n\r\n" + QByteArray("a=1&").repeated(999) + "b=2", 400);
    row("percent escapes in the path", "GET /api/v1/focuser/%30/name HTTP/1.1\r\n\r\n", 200);
    row("path with a NUL escape", "GET /api/v1/focuser/0%00/name HTTP/1.1\r\n\r\n", 400);
}

void AlpacaHttpTest::malformedRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(bool, atOnce);
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    const HttpExchange::Reply reply = whileServing([=] { return HttpExchange::raw(address, port, {request}); });
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.body.isEmpty());
    if (atOnce)
        QVERIFY2(reply.ms < AlpacaHttpServer::RequestTimeMs - 1000, qPrintable(QString::number(reply.ms)));
    else
        QVERIFY2(reply.ms < AlpacaHttpServer::RequestTimeMs + 3000, qPrintable(QString::number(reply.ms)));
    // The server goes on serving, and nothing reached the controller.
    QCOMPARE(get("/management/apiversions").status, 200);
    QVERIFY(m_focuser->orders.isEmpty());
}

void AlpacaHttpTest::slowSenderIsCutOff()
{
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    // One byte every 200 ms: the request would take far longer than the
    // time a request is given.
    QList<QByteArray> bytes;
    for (const char c : QByteArray("GET /management/apiversions HTTP/1.1\r\nHost: a\r\nX-Slow: yes\r\n\r\n"))
        bytes << QByteArray(1, c);
    auto slow = std::async(std::launch::async, [=] { return HttpExchange::raw(address, port, bytes, 0, 200, 30000); });
    // Meanwhile others are served.
    const HttpExchange::Reply quick = get("/management/apiversions");
    QCOMPARE(quick.status, 200);
    const HttpExchange::Reply reply = whileServing([&] { return slow.get(); });
    QCOMPARE(reply.status, 408);
    QVERIFY(reply.closedByServer);
    QVERIFY2(reply.ms < AlpacaHttpServer::RequestTimeMs + 3000, qPrintable(QString::number(reply.ms)));
}

void AlpacaHttpTest::connectionsAreBounded()
{
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    // More idle connections than the server keeps: the surplus is answered
    // at once with 503 and closed; the rest are closed when they have
    // nothing to say.
    const int opened = AlpacaHttpServer::MaxConnections + 40;
    const QVector<HttpExchange::Reply> replies = whileServing([=] {
        std::vector<std::future<HttpExchange::Reply>> idle;
        for (int i = 0; i < opened; ++i)
            idle.push_back(
                std::async(std::launch::async, [=] { return HttpExchange::raw(address, port, {}, 0, 0, 30000); }));
        QVector<HttpExchange::Reply> all;
        for (auto& connection : idle)
            all << connection.get();
        return all;
    });
    int refused = 0;
    for (const HttpExchange::Reply& reply : replies) {
        QVERIFY(reply.closedByServer);
        QVERIFY(reply.status == 0 || reply.status == 503);
        if (reply.status == 503)
            ++refused;
    }
    QVERIFY(refused >= 1);
    QCOMPARE(get("/management/apiversions").status, 200);
}

void AlpacaHttpTest::keepAliveAndPipelining()
{
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    // Three requests in one go on one connection, the last one closing it.
    const QByteArray request = "GET /management/apiversions?ClientTransactionID=1 HTTP/1.1\r\nHost: a\r\n\r\n"
                               "GET /management/apiversions?ClientTransactionID=2 HTTP/1.1\r\nHost: a\r\n\r\n"
                               "GET /management/apiversions?ClientTransactionID=3 HTTP/1.1\r\nHost: a\r\n"
                               "Connection: close\r\n\r\n";
    const HttpExchange::Reply reply = whileServing([=] { return HttpExchange::raw(address, port, {request}, 0); });
    QCOMPARE(reply.answers, 3);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.closedByServer);
    QVERIFY(reply.ms < AlpacaHttpServer::KeepAliveMs);
}

void AlpacaHttpTest::burstOfClients()
{
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    constexpr int Clients = 12;
    constexpr int Requests = 40;
    m_focuser->focusPosition = 123;
    whileServing([=] { return HttpExchange::put(address, port, "/api/v1/focuser/0/connected", "Connected=true"); });
    const QVector<QJsonObject> replies = whileServing([=] {
        std::vector<std::future<QVector<QJsonObject>>> clients;
        for (int client = 0; client < Clients; ++client) {
            clients.push_back(std::async(std::launch::async, [=] {
                QVector<QJsonObject> mine;
                for (int i = 0; i < Requests; ++i) {
                    const QByteArray id = QByteArray::number(client * 1000 + i);
                    mine << (i % 2 ? HttpExchange::get(address, port,
                                                       "/api/v1/focuser/0/position?ClientTransactionID=" + id)
                                   : HttpExchange::put(address, port, "/api/v1/focuser/0/halt",
                                                       "ClientTransactionID=" + id))
                                .json();
                }
                return mine;
            }));
        }
        QVector<QJsonObject> all;
        for (auto& client : clients)
            all += client.get();
        return all;
    });
    QCOMPARE(replies.size(), Clients * Requests);
    QSet<qint64> clientIds;
    QSet<qint64> serverIds;
    for (const QJsonObject& reply : replies) {
        QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), 0);
        clientIds.insert(qint64(reply.value(QStringLiteral("ClientTransactionID")).toDouble()));
        serverIds.insert(qint64(reply.value(QStringLiteral("ServerTransactionID")).toDouble()));
        if (reply.contains(QStringLiteral("Value")))
            QCOMPARE(reply.value(QStringLiteral("Value")).toInt(), 123);
    }
    // Every reply belongs to its own request, and no server number repeats.
    QCOMPARE(clientIds.size(), Clients * Requests);
    QCOMPARE(serverIds.size(), Clients * Requests);
    QCOMPARE(m_focuser->orders.count(QStringLiteral("halt")), Clients * Requests / 2);
}

void AlpacaHttpTest::busyControllerThread()
{
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    // The controller thread does not get to the request within the bridge's
    // limit (1 s here): the client gets an error instead of waiting on.
    auto reply =
        std::async(std::launch::async, [=] { return HttpExchange::get(address, port, "/api/v1/focuser/0/name"); });
    QCOMPARE(reply.wait_for(std::chrono::milliseconds(3000)), std::future_status::ready);
    const HttpExchange::Reply busy = reply.get();
    QCOMPARE(busy.status, 500);
    QVERIFY(busy.body.contains("in time"));
    // The work handed over runs later, harmlessly; then all is served again.
    QCOMPARE(get("/api/v1/focuser/0/name").status, 200);
}

void AlpacaHttpTest::stopsWithAClientConnected()
{
    const QHostAddress address = m_address;
    const quint16 port = m_server->port();
    auto idle = std::async(std::launch::async,
                           [=] { return HttpExchange::raw(address, port, {"GET / HTTP/1.1\r\n"}, 0, 0, 30000); });
    QTest::qWait(200);
    QElapsedTimer stopping;
    stopping.start();
    m_server->stop();
    QVERIFY2(stopping.elapsed() < 2000, qPrintable(QString::number(stopping.elapsed())));
    QVERIFY(idle.get().closedByServer);
}

void AlpacaHttpTest::discovery()
{
    AlpacaDiscovery discovery(m_server->port());
    QString error;
    QVERIFY2(discovery.start(m_address, 0, &error), qPrintable(error));
    QUdpSocket asker;
    QVERIFY(asker.bind(QHostAddress(QHostAddress::LocalHost), 0));
    for (const QByteArray& datagram :
         {QByteArray("alpacadiscovery2"), QByteArray("hello"), QByteArray(), QByteArray("alpacadiscovery1")})
        asker.writeDatagram(datagram, m_address, discovery.port());
    QTRY_VERIFY(asker.hasPendingDatagrams());
    QByteArray answer(256, Qt::Uninitialized);
    QHostAddress from;
    answer.truncate(int(asker.readDatagram(answer.data(), answer.size(), &from)));
    QCOMPARE(from, m_address);
    QCOMPARE(QJsonDocument::fromJson(answer).object().value(QStringLiteral("AlpacaPort")).toInt(),
             int(m_server->port()));
    // Only the question is answered.
    QTest::qWait(200);
    QVERIFY(!asker.hasPendingDatagrams());
}

void AlpacaHttpTest::discoveryFlood()
{
    AlpacaDiscovery discovery(m_server->port());
    QString error;
    QVERIFY2(discovery.start(m_address, 0, &error), qPrintable(error));
    QUdpSocket asker;
    QVERIFY(asker.bind(QHostAddress(QHostAddress::LocalHost), 0));
    asker.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
    // A timer of the controller thread keeps its pace while the questions
    // are answered in bounded passes. Each burst is more than one pass and
    // fits the kernel's queue of the discovery socket.
    constexpr int Bursts = 4;
    constexpr int Burst = 3 * AlpacaDiscovery::DatagramsPerPass;
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 worstGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstGap = qMax(worstGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(5);
    int answers = 0;
    for (int burst = 1; burst <= Bursts; ++burst) {
        for (int i = 0; i < Burst; ++i)
            asker.writeDatagram("alpacadiscovery1", m_address, discovery.port());
        QElapsedTimer waited;
        waited.start();
        while (answers < burst * Burst && waited.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            for (; asker.hasPendingDatagrams(); ++answers)
                asker.readDatagram(nullptr, 0);
        }
        QCOMPARE(answers, burst * Burst);
    }
    QVERIFY2(worstGap < 1000, qPrintable(QString::number(worstGap)));
}

namespace {

// Controllers as the whole server's devices see them, each with a MAC of
// its own.
FocuserDevices::FocuserFactory scriptedFactory()
{
    return [](const QString& address) {
        auto focuser = std::make_unique<ScriptedFocuser>(address);
        focuser->facts.mac = QStringLiteral("2-0-0-0-0-") + address.section(QLatin1Char('.'), 3);
        return focuser;
    };
}

} // namespace

void AlpacaHttpTest::wholeServer()
{
    QTemporaryDir state;
    DeviceNumbers numbers(state.filePath(QStringLiteral("alpaca-devices.json")));
    AlpacaOptions options;
    options.controllers = QStringList{QStringLiteral("10.231.99.7"), QStringLiteral("10.231.99.8")};
    options.listen = LoopbackAddress::next().toString();
    options.port = 0;
    options.location = QStringLiteral("Pier 3");
    AlpacaServer server(options, numbers, scriptedFactory());
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(server.httpPort() != 0);
    QCOMPARE(server.discoveryPort(), options.discoveryPort);
    server.devices().review();

    const QHostAddress address(options.listen);
    const quint16 port = server.httpPort();
    const HttpExchange::Reply devices =
        whileServing([=] { return HttpExchange::get(address, port, "/management/v1/configureddevices"); });
    QCOMPARE(devices.json().value(QStringLiteral("Value")).toArray().size(), 2);
    const HttpExchange::Reply description =
        whileServing([=] { return HttpExchange::get(address, port, "/management/v1/description"); });
    QCOMPARE(description.json().value(QStringLiteral("Value")).toObject().value(QStringLiteral("Location")).toString(),
             QStringLiteral("Pier 3"));

    // Discovery on the loopback address it listens on tells its HTTP port.
    QUdpSocket asker;
    QVERIFY(asker.bind(QHostAddress(QHostAddress::LocalHost), 0));
    asker.writeDatagram("alpacadiscovery1", address, server.discoveryPort());
    QTRY_VERIFY(asker.hasPendingDatagrams());
    QByteArray answer(256, Qt::Uninitialized);
    answer.truncate(int(asker.readDatagram(answer.data(), answer.size())));
    QCOMPARE(QJsonDocument::fromJson(answer).object().value(QStringLiteral("AlpacaPort")).toInt(), int(port));
}

void AlpacaHttpTest::portInUse()
{
    QTemporaryDir state;
    DeviceNumbers numbers(state.filePath(QStringLiteral("alpaca-devices.json")));
    AlpacaOptions options;
    options.listen = m_address.toString();
    options.port = m_server->port();
    options.discoveryPort = 0;
    AlpacaServer second(options, numbers, scriptedFactory());
    QString error;
    QVERIFY(!second.start(&error));
    QVERIFY2(error.contains(QString::number(options.port)), qPrintable(error));
    QCOMPARE(second.discoveryPort(), quint16(0));

    // The discovery port taken without sharing: the API serves all the same.
    QUdpSocket holder;
    QVERIFY(holder.bind(m_address, 0, QUdpSocket::DontShareAddress));
    options.port = 0;
    options.discoveryPort = holder.localPort();
    AlpacaServer third(options, numbers, scriptedFactory());
    QSignalSpy warnings(&third, &AlpacaServer::warning);
    QVERIFY2(third.start(&error), qPrintable(error));
    QCOMPARE(warnings.count(), 1);
    QCOMPARE(third.discoveryPort(), quint16(0));
    const QHostAddress address = m_address;
    const quint16 port = third.httpPort();
    QCOMPARE(whileServing([=] { return HttpExchange::get(address, port, "/management/apiversions"); }).status, 200);
}

LENSDESK_TEST_MAIN(AlpacaHttpTest)
#include "tst_alpacahttp.moc"
