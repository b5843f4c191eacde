#include "AlpacaProcess.h"
#include "HttpExchange.h"
#include "NetnsLab.h"
#include "SimProcess.h"
#include "Skip.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

// What lensdesk-alpaca sends and answers as broadcasts, inside network
// namespaces made by the test and nowhere else: the server in the panel
// namespace with --search, simulated controllers in the two device
// namespaces, and the clients (HTTP, Alpaca discovery) on threads moved into
// the namespaces.
class AlpacaSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void searchAtStartAndOnRequest();
    void discoveryByBroadcast_data();
    void discoveryByBroadcast();

private:
    // A request to the server from the panel namespace, at the panel's
    // address on the link to device A; a body is sent form-encoded.
    HttpExchange::Reply fromPanel(const QByteArray& method, const QByteArray& target, const QByteArray& form = {});
    // Device number per UniqueID, from the management API.
    QHash<QString, int> configuredDevices();
    bool waitUntilListed(int count);
    bool startSim(std::unique_ptr<SimProcess>& sim, const QString& ns, const char* address, const char* mac);

    std::unique_ptr<NetnsLab> m_lab;
    QTemporaryDir m_state;
    std::unique_ptr<SimProcess> m_simA;
    std::unique_ptr<SimProcess> m_simB;
    std::unique_ptr<AlpacaProcess> m_server;
};

namespace {

const QHostAddress PanelAddress(QStringLiteral("10.231.1.1"));
constexpr quint16 HttpPort = 11111;
// A search listens for 6 s, and a controller found is identified after it.
const int ListedWithinMs = TestWaits::scaled(20000);
// An answer between namespaces comes within a millisecond.
constexpr int NoAnswerWithinMs = 1000;

} // namespace

void AlpacaSearchTest::init()
{
    SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason());
    m_lab = std::make_unique<NetnsLab>();
    QString error;
    QVERIFY2(m_lab->setUp(&error), qPrintable(error));
    QVERIFY(startSim(m_simA, m_lab->deviceA, "10.231.1.2", "2-0-0-17-34-97"));
    // The API narrowed to one address of the panel's: discovery questions
    // come as broadcasts all the same, which a socket bound to that address
    // would never see, from that address's network and from others.
    m_server = std::make_unique<AlpacaProcess>(PanelAddress, m_state.path(), QStringList{"--search"});
    m_server->setNamespace(m_lab->panel);
    QVERIFY2(m_server->start(), qPrintable(m_server->output()));
}

void AlpacaSearchTest::cleanup()
{
    m_server.reset();
    m_simA.reset();
    m_simB.reset();
    m_lab.reset();
}

bool AlpacaSearchTest::startSim(std::unique_ptr<SimProcess>& sim, const QString& ns, const char* address,
                                const char* mac)
{
    sim = std::make_unique<SimProcess>(QHostAddress(QLatin1String(address)), QStringList{"--mac", mac});
    sim->setNamespace(ns);
    return sim->start();
}

HttpExchange::Reply AlpacaSearchTest::fromPanel(const QByteArray& method, const QByteArray& target,
                                                const QByteArray& form)
{
    QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: lensdesk\r\nConnection: close\r\n";
    if (method != "GET")
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
            + QByteArray::number(form.size()) + "\r\n";
    request += "\r\n" + form;
    HttpExchange::Reply reply;
    QString error;
    if (!NetnsLab::inside(
            m_lab->panel, [&] { reply = HttpExchange::raw(PanelAddress, HttpPort, {request}); }, &error))
        qWarning("%s", qPrintable(error));
    return reply;
}

QHash<QString, int> AlpacaSearchTest::configuredDevices()
{
    QHash<QString, int> numbers;
    const QJsonArray devices =
        fromPanel("GET", "/management/v1/configureddevices").json().value(QStringLiteral("Value")).toArray();
    for (const QJsonValue& device : devices)
        numbers.insert(device.toObject().value(QStringLiteral("UniqueID")).toString(),
                       device.toObject().value(QStringLiteral("DeviceNumber")).toInt());
    return numbers;
}

bool AlpacaSearchTest::waitUntilListed(int count)
{
    QElapsedTimer clock;
    clock.start();
    while (configuredDevices().size() < count) {
        if (clock.elapsed() > ListedWithinMs)
            return false;
        QTest::qWait(200);
    }
    return true;
}

// The controller the start-up search finds is served (once, though two
// panel addresses reach it); one that comes later is found when the setup
// page's button asks again, and can be driven.
void AlpacaSearchTest::searchAtStartAndOnRequest()
{
    QVERIFY2(waitUntilListed(1), qPrintable(m_server->output()));
    QTest::qWait(500);
    QCOMPARE(configuredDevices(), (QHash<QString, int>{{"lensdesk-mac-2-0-0-17-34-97", 0}}));
    QVERIFY(fromPanel("GET", "/setup").body.contains("10.231.1.2"));

    QVERIFY(startSim(m_simB, m_lab->deviceB, "10.231.2.2", "2-0-0-17-34-98"));
    QCOMPARE(configuredDevices().size(), 1);
    const HttpExchange::Reply search = fromPanel("POST", "/setup/search");
    QCOMPARE(search.status, 303);
    QVERIFY2(search.header("Location") == "/setup", search.head.constData());
    QVERIFY2(waitUntilListed(2), qPrintable(m_server->output()));
    QCOMPARE(configuredDevices(),
             (QHash<QString, int>{{"lensdesk-mac-2-0-0-17-34-97", 0}, {"lensdesk-mac-2-0-0-17-34-98", 1}}));

    const int heard = SimProcess::commandsIn(m_simB->log()).size();
    const auto errorOf = [](const HttpExchange::Reply& reply) {
        return reply.json().value(QStringLiteral("ErrorNumber")).toInt(-1);
    };
    QCOMPARE(errorOf(fromPanel("PUT", "/api/v1/focuser/1/connected", "Connected=true")), 0);
    QCOMPARE(errorOf(fromPanel("PUT", "/api/v1/focuser/1/move", "Position=300")), 0);
    QTRY_VERIFY(SimProcess::commandsIn(m_simB->log()).mid(heard).contains(QStringLiteral("setFocus=300")));
}

void AlpacaSearchTest::discoveryByBroadcast_data()
{
    QTest::addColumn<bool>("fromDeviceA"); // else from device B
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("answered");
    dataRow("from the API's network, to every host", true, QString("10.231.1.2"), QString("255.255.255.255"), true);
    // Device B's network reaches the panel, but not the address the API
    // listens on: an answer would give it a port it cannot use.
    dataRow("from another network, to its broadcast", false, QString("10.231.2.2"), QString("10.231.2.255"), false);
}

// A client on another host asks everyone; the server answers a discovery
// question, and only where its API can be reached.
void AlpacaSearchTest::discoveryByBroadcast()
{
    QFETCH(bool, fromDeviceA);
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(bool, answered);
    QByteArray answer;
    QByteArray noAnswer;
    QString error;
    const auto ask = [&] {
        const int within = answered ? TestWaits::reply() : NoAnswerWithinMs;
        answer = AlpacaProcess::askDiscovery(QHostAddress(source), QHostAddress(target), "alpacadiscovery1", within);
        noAnswer = AlpacaProcess::askDiscovery(QHostAddress(source), QHostAddress(target), "alpaca", NoAnswerWithinMs);
    };
    QVERIFY2(NetnsLab::inside(fromDeviceA ? m_lab->deviceA : m_lab->deviceB, ask, &error), qPrintable(error));
    QCOMPARE(answer, answered ? QByteArray("{\"AlpacaPort\":11111}") : QByteArray());
    QCOMPARE(noAnswer, QByteArray());
}

LENSDESK_TEST_MAIN(AlpacaSearchTest)
#include "tst_alpacasearch.moc"
