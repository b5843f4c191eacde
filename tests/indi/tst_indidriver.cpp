#include "IndiServer.h"
#include "SimProcess.h"
#include "Skip.h"
#include "TestMain.h"

#include <QtTest>

#include <memory>

// indi_lensdesk_focus end to end: the real driver, started by Debian's
// indiserver under device names of the test's choosing and driven with
// Debian's INDI clients, against the simulated controller on loopback
// addresses of this test's own. What reached the controller is read from the
// simulator's log.
class IndiDriverTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusesUnusableConnection_data();
    void refusesUnusableConnection();
    void configurationPerDevice();

private:
    static QString driver() { return QStringLiteral(LENSDESK_BIN_DIR "/indi_lensdesk_focus"); }
    std::unique_ptr<IndiServer> startServer();
    std::unique_ptr<SimProcess> startSim(const QStringList& arguments = {});
    static QString addressSpec(const QString& device, const SimProcess& sim);
};

namespace {
const QString LensA = QStringLiteral("Lens A");
const QString LensB = QStringLiteral("Lens B");
// INDI's property states as indi_eval and indi_getprop give them.
constexpr int Ok = 1;
constexpr int Alert = 3;
// Driver messages arrive within moments; a connection refusal at once.
constexpr int MessageWaitMs = 5000;
constexpr int StateWaitSeconds = 5;

QString stateIs(const QString& device, const QString& property, int state)
{
    return QStringLiteral("\"%1.%2._STATE\"==%3").arg(device, property).arg(state);
}
} // namespace

void IndiDriverTest::initTestCase() { SKIP_IF_UNAVAILABLE(IndiServer::unavailableReason()); }

std::unique_ptr<IndiServer> IndiDriverTest::startServer()
{
    auto server = std::make_unique<IndiServer>();
    if (!server->start())
        return nullptr;
    return server;
}

std::unique_ptr<SimProcess> IndiDriverTest::startSim(const QStringList& arguments)
{
    auto sim = std::make_unique<SimProcess>(arguments);
    if (!sim->start())
        return nullptr;
    return sim;
}

QString IndiDriverTest::addressSpec(const QString& device, const SimProcess& sim)
{
    return QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS;PORT=%2;1339").arg(device, sim.address().toString());
}

void IndiDriverTest::refusesUnusableConnection_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a host name instead of an address")
        << QStringList{QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS=lens.local")} << QStringLiteral("not an IPv4 address");
    QTest::newRow("an octet above 255") << QStringList{QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS=127.0.0.300")}
                                        << QStringLiteral("not an IPv4 address");
    QTest::newRow("port 0") << QStringList{QStringLiteral("%1.DEVICE_ADDRESS.PORT=0")}
                            << QStringLiteral("port must be a number from 1 to 65535");
    QTest::newRow("port above 65535") << QStringList{QStringLiteral("%1.DEVICE_ADDRESS.PORT=70000")}
                                      << QStringLiteral("port must be a number from 1 to 65535");
    QTest::newRow("TCP instead of UDP") << QStringList{QStringLiteral("%1.CONNECTION_TYPE.TCP=On")}
                                        << QStringLiteral("answers on UDP only");
}

void IndiDriverTest::refusesUnusableConnection()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, reason);
    auto sim = startSim();
    QVERIFY(sim);
    auto server = startServer();
    QVERIFY(server);
    QVERIFY(server->startDriver(driver(), LensA));
    // The simulator's address first, then the one unusable setting.
    QVERIFY(server->set(addressSpec(LensA, *sim)));
    for (const QString& setting : settings)
        QVERIFY(server->set(setting.arg(LensA)));

    QVERIFY(server->set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(LensA)));
    QVERIFY(server->waitFor(stateIs(LensA, QStringLiteral("CONNECTION"), Alert), StateWaitSeconds));
    QCOMPARE(server->value(QStringLiteral("%1.CONNECTION.CONNECT").arg(LensA)), QStringLiteral("Off"));
    QVERIFY2(server
                 ->waitForMessage(LensA, QStringLiteral("^\\[ERROR\\] .*") + QRegularExpression::escape(reason),
                                  MessageWaitMs)
                 .hasMatch(),
             qPrintable(server->messages(LensA).join(QLatin1Char('\n'))));
    QVERIFY2(SimProcess::commandsIn(sim->log()).isEmpty(), qPrintable(sim->log()));
}

void IndiDriverTest::configurationPerDevice()
{
    auto first = startSim();
    auto second = startSim();
    QVERIFY(first && second);
    auto server = startServer();
    QVERIFY(server);
    QVERIFY(server->startDriver(driver(), LensA));
    QVERIFY(server->startDriver(driver(), LensB));
    QVERIFY(server->set(addressSpec(LensA, *first)));
    QVERIFY(server->set(addressSpec(LensB, *second)));
    QVERIFY(server->set(QStringLiteral("%1.DEVICE_ADDRESS.PORT=1340").arg(LensB)));
    for (const QString& device : {LensA, LensB})
        QVERIFY(server->set(QStringLiteral("%1.CONFIG_PROCESS.CONFIG_SAVE=On").arg(device)));

    // Each instance comes back with its own address.
    for (const QString& device : {LensA, LensB}) {
        QVERIFY(server->stopDriver(driver(), device));
        QVERIFY(server->startDriver(driver(), device));
    }
    QCOMPARE(server->value(QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS").arg(LensA)), first->address().toString());
    QCOMPARE(server->value(QStringLiteral("%1.DEVICE_ADDRESS.PORT").arg(LensA)), QStringLiteral("1339"));
    QCOMPARE(server->value(QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS").arg(LensB)), second->address().toString());
    QCOMPARE(server->value(QStringLiteral("%1.DEVICE_ADDRESS.PORT").arg(LensB)), QStringLiteral("1340"));
    QCOMPARE(server->value(QStringLiteral("%1.CONNECTION_TYPE.UDP").arg(LensA)), QStringLiteral("On"));
}

LENSDESK_TEST_MAIN(IndiDriverTest)
#include "tst_indidriver.moc"
