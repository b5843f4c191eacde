#include "AlpacaProcess.h"
#include "HttpExchange.h"
#include "LoopbackAddress.h"
#include "SimProcess.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <future>
#include <memory>

// The real server, lensdesk-alpaca, against simulated controllers
// (lensdesk-sim), each on a loopback address of this test's own: the Alpaca
// API's contract as a client sees it, what reaches the controllers on the
// wire (the simulators' logs), moves and their end, a controller that falls
// silent, discovery, a burst of clients, and the device numbers across a
// restart. Three controllers: a power-zoom controller with a stabilised zoom
// lens and a name, a plain one with a prime lens, and one whose focus moves
// are never confirmed, with a lens without aperture. The simulators and the
// server are shared by the test functions, which run in order.
class AlpacaServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void management();
    void connecting();
    void members_data();
    void members();
    void identityAndState();
    void disconnectKeepsTheLink();
    void setupPages();
    void transactionNumbers_data();
    void transactionNumbers();
    void parametersInAnyCaseAndOrder_data();
    void parametersInAnyCaseAndOrder();
    void uninterpretable_data();
    void uninterpretable();
    void moveAndHaltOnTheWire();
    void moveEndsAtItsTimeLimit();
    void actions_data();
    void actions();
    void silencedController();
    void burstOfClients();
    void discovery();
    void numbersKeptAcrossARestart();

private:
    enum Controller { Zoom, Prime, Unconfirmed };

    HttpExchange::Reply get(const QByteArray& target) const;
    HttpExchange::Reply put(const QByteArray& path, const QByteArray& form) const;
    // The URL of a member of a controller's device.
    QByteArray member(Controller controller, const char* name) const;
    // The JSON envelope of an API reply; fails the test on anything else.
    static QJsonObject envelope(const HttpExchange::Reply& reply);
    QJsonObject getValue(Controller controller, const char* name) const;
    QJsonObject putValue(Controller controller, const char* name, const QByteArray& form) const;
    // Device number per UniqueID, from the management API.
    QHash<QString, int> configuredDevices() const;
    bool waitUntilListed(int count, int timeoutMs);
    // The commands a controller heard since `from` (a count of commands),
    // without the liveness pings.
    QStringList heardSince(Controller controller, int from) const;
    int heardSoFar(Controller controller) const;
    bool waitUntilIdle(Controller controller);

    QTemporaryDir m_state;
    std::unique_ptr<SimProcess> m_sims[3];
    std::unique_ptr<AlpacaProcess> m_server;
    QHash<QString, int> m_numbers;
};

namespace {

// Generous: the machine may be loaded.
const int ListedWithinMs = TestWaits::scaled(20000);
const int MoveEndsWithinMs = TestWaits::scaled(10000);
// The server's move time limit (the one the panel gives a move).
constexpr int MoveTimeLimitMs = 10000;
constexpr int NoAnswerWithinMs = 500;

const char* const Macs[] = {"2-0-0-17-34-51", "2-0-0-17-34-52", "2-0-0-17-34-53"};

QString uniqueId(int controller) { return QStringLiteral("lensdesk-mac-") + QLatin1String(Macs[controller]); }

int errorOf(const QJsonObject& envelope) { return envelope.value(QStringLiteral("ErrorNumber")).toInt(-1); }

QString compact(const QJsonValue& value)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

} // namespace

void AlpacaServerTest::initTestCase()
{
    QVERIFY(m_state.isValid());
    m_sims[Zoom] = std::make_unique<SimProcess>(QStringList{"--name", "north", "--mac", Macs[Zoom]});
    m_sims[Prime] = std::make_unique<SimProcess>(
        QStringList{"--product", "ORVO RE-2", "--lens", "prime", "--serial", "15002", "--mac", Macs[Prime]});
    m_sims[Unconfirmed] = std::make_unique<SimProcess>(
        QStringList{"--lens", "no-aperture", "--no-focus-done", "--serial", "15003", "--mac", Macs[Unconfirmed]});
    QStringList arguments{"--location", "Test bench"};
    for (const auto& sim : m_sims) {
        QVERIFY(sim->start());
        arguments << QStringLiteral("--controller") << sim->address().toString();
    }
    m_server = std::make_unique<AlpacaProcess>(LoopbackAddress::next(), m_state.path(), arguments);
    QVERIFY2(m_server->start(), qPrintable(m_server->output()));
    QVERIFY2(waitUntilListed(3, ListedWithinMs), qPrintable(m_server->output()));
    m_numbers = configuredDevices();
}

void AlpacaServerTest::cleanupTestCase()
{
    m_server.reset();
    for (auto& sim : m_sims)
        sim.reset();
}

HttpExchange::Reply AlpacaServerTest::get(const QByteArray& target) const
{
    return HttpExchange::get(m_server->address(), m_server->port(), target);
}

HttpExchange::Reply AlpacaServerTest::put(const QByteArray& path, const QByteArray& form) const
{
    return HttpExchange::put(m_server->address(), m_server->port(), path, form);
}

QByteArray AlpacaServerTest::member(Controller controller, const char* name) const
{
    return "/api/v1/focuser/" + QByteArray::number(m_numbers.value(uniqueId(controller), -1)) + '/' + name;
}

QJsonObject AlpacaServerTest::envelope(const HttpExchange::Reply& reply)
{
    if (reply.status != 200 || reply.header("Content-Type") != "application/json") {
        qWarning("not an API reply: %d %s", reply.status, reply.body.constData());
        return QJsonObject();
    }
    return reply.json();
}

QJsonObject AlpacaServerTest::getValue(Controller controller, const char* name) const
{
    return envelope(get(member(controller, name)));
}

QJsonObject AlpacaServerTest::putValue(Controller controller, const char* name, const QByteArray& form) const
{
    return envelope(put(member(controller, name), form));
}

QHash<QString, int> AlpacaServerTest::configuredDevices() const
{
    QHash<QString, int> numbers;
    const QJsonArray devices =
        envelope(get("/management/v1/configureddevices")).value(QStringLiteral("Value")).toArray();
    for (const QJsonValue& device : devices) {
        const QJsonObject entry = device.toObject();
        numbers.insert(entry.value(QStringLiteral("UniqueID")).toString(),
                       entry.value(QStringLiteral("DeviceNumber")).toInt());
    }
    return numbers;
}

bool AlpacaServerTest::waitUntilListed(int count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (configuredDevices().size() < count) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(100);
    }
    return true;
}

QStringList AlpacaServerTest::heardSince(Controller controller, int from) const
{
    QStringList heard = SimProcess::commandsIn(m_sims[controller]->log()).mid(from);
    heard.removeAll(QStringLiteral("ping"));
    return heard;
}

int AlpacaServerTest::heardSoFar(Controller controller) const
{
    return SimProcess::commandsIn(m_sims[controller]->log()).size();
}

bool AlpacaServerTest::waitUntilIdle(Controller controller)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < MoveEndsWithinMs) {
        const QJsonObject moving = getValue(controller, "ismoving");
        if (errorOf(moving) == 0 && !moving.value(QStringLiteral("Value")).toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}

void AlpacaServerTest::management()
{
    QCOMPARE(envelope(get("/management/apiversions")).value(QStringLiteral("Value")).toArray(), QJsonArray{1});
    const QJsonObject description =
        envelope(get("/management/v1/description")).value(QStringLiteral("Value")).toObject();
    QCOMPARE(description.value(QStringLiteral("Location")).toString(), QStringLiteral("Test bench"));
    QCOMPARE(description.value(QStringLiteral("ManufacturerVersion")).toString(), QStringLiteral(LENSDESK_VERSION));
    QVERIFY(!description.value(QStringLiteral("ServerName")).toString().isEmpty());
    QVERIFY(!description.value(QStringLiteral("Manufacturer")).toString().isEmpty());

    // One focuser per controller, numbered from 0, known by its MAC.
    const QJsonArray devices =
        envelope(get("/management/v1/configureddevices")).value(QStringLiteral("Value")).toArray();
    QCOMPARE(devices.size(), 3);
    QSet<int> numbers;
    QHash<QString, QString> names;
    for (const QJsonValue& device : devices) {
        const QJsonObject entry = device.toObject();
        QCOMPARE(entry.value(QStringLiteral("DeviceType")).toString(), QStringLiteral("Focuser"));
        numbers << entry.value(QStringLiteral("DeviceNumber")).toInt();
        names.insert(entry.value(QStringLiteral("UniqueID")).toString(),
                     entry.value(QStringLiteral("DeviceName")).toString());
    }
    QCOMPARE(numbers, (QSet<int>{0, 1, 2}));
    QCOMPARE(names.value(uniqueId(Zoom)), QStringLiteral("north"));
    QCOMPARE(names.value(uniqueId(Prime)), QStringLiteral("ORVO RE-2"));
    QCOMPARE(names.value(uniqueId(Unconfirmed)), QStringLiteral("ORVO KX-MQTR"));
}

void AlpacaServerTest::connecting()
{
    // Nothing before a client connects, though the server keeps the link.
    for (Controller controller : {Zoom, Prime, Unconfirmed}) {
        QCOMPARE(getValue(controller, "connected").value(QStringLiteral("Value")).toBool(), false);
        QCOMPARE(errorOf(getValue(controller, "position")), 0x407);
        QCOMPARE(errorOf(putValue(controller, "move", "Position=10")), 0x407);
    }
    for (Controller controller : {Zoom, Prime, Unconfirmed})
        QVERIFY(heardSince(controller, 0).filter(QStringLiteral("setFocus")).isEmpty());

    // PUT connected waits for the link; "connect" returns at once and
    // "connecting" tells until it is done.
    QCOMPARE(errorOf(putValue(Zoom, "connected", "Connected=true")), 0);
    QCOMPARE(errorOf(putValue(Prime, "connect", "")), 0);
    QCOMPARE(errorOf(putValue(Unconfirmed, "connected", "Connected=True")), 0);
    for (Controller controller : {Zoom, Prime, Unconfirmed}) {
        QTRY_COMPARE(getValue(controller, "connected").value(QStringLiteral("Value")).toBool(), true);
        QCOMPARE(getValue(controller, "connecting").value(QStringLiteral("Value")).toBool(), false);
    }
}

void AlpacaServerTest::members_data()
{
    QTest::addColumn<int>("controller");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<QString>("value"); // compact JSON; empty: no Value
    QTest::addColumn<int>("error");
    const auto get = [](const char* row, Controller controller, const char* name, const char* value, int error = 0) {
        dataRow(row, int(controller), QByteArray("GET"), QByteArray(name), QByteArray(), QString(value), error);
    };
    const auto put = [](const char* row, Controller controller, const char* name, const char* form, int error) {
        dataRow(row, int(controller), QByteArray("PUT"), QByteArray(name), QByteArray(form), QString(), error);
    };
    get("interfaceversion", Zoom, "interfaceversion", "4");
    get("absolute", Zoom, "absolute", "true");
    get("maxstep, zoom lens (fRange=0,1150)", Zoom, "maxstep", "1150");
    get("maxstep, prime lens (fRange=0,980)", Prime, "maxstep", "980");
    get("maxincrement is maxstep", Prime, "maxincrement", "980");
    get("position as reported (Current=)", Prime, "position", "490");
    get("not moving", Zoom, "ismoving", "false");
    get("stepsize not implemented", Zoom, "stepsize", "", 0x400);
    get("temperature not implemented", Zoom, "temperature", "", 0x400);
    get("no temperature compensation", Zoom, "tempcomp", "false");
    get("none available", Zoom, "tempcompavailable", "false");
    put("temperature compensation cannot be set", Zoom, "tempcomp", "TempComp=true", 0x400);
    get("the controller's name", Zoom, "name", "\"north\"");
    get("its model without a name", Prime, "name", "\"ORVO RE-2\"");
    get("driver version", Prime, "driverversion", "\"" LENSDESK_VERSION "\"");
    get("supported actions", Prime, "supportedactions",
        "[\"GetAperture\",\"SetAperture\",\"ListApertures\",\"GetZoom\",\"SetZoom\",\"SetStabiliser\","
        "\"LensDescription\"]");
    put("no raw command: blind", Zoom, "commandblind", "Command=Reboot&Raw=true", 0x400);
    put("no raw command: bool", Zoom, "commandbool", "Command=ChangeIP%3D10.0.0.1&Raw=true", 0x400);
    put("no raw command: string", Zoom, "commandstring", "Command=getSN&Raw=false", 0x400);
    put("move beyond maxstep", Prime, "move", "Position=981", 0x401);
    put("move below 0", Prime, "move", "Position=-1", 0x401);
    put("halt while idle", Prime, "halt", "", 0);
}

void AlpacaServerTest::members()
{
    QFETCH(int, controller);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, form);
    QFETCH(QString, value);
    QFETCH(int, error);
    const Controller which = Controller(controller);
    const int before = heardSoFar(which);
    const QJsonObject reply =
        method == "GET" ? getValue(which, name.constData()) : putValue(which, name.constData(), form);
    QCOMPARE(errorOf(reply), error);
    QCOMPARE(reply.value(QStringLiteral("ErrorMessage")).toString().isEmpty(), error == 0);
    if (value.isEmpty())
        QVERIFY(!reply.contains(QStringLiteral("Value")));
    else
        QCOMPARE(compact(reply.value(QStringLiteral("Value"))), value);
    // Of all these only halt reaches the controller.
    QTest::qWait(100);
    QCOMPARE(heardSince(which, before), name == "halt" ? QStringList{"stopFocus"} : QStringList());
}

void AlpacaServerTest::identityAndState()
{
    const QString address = m_sims[Prime]->address().toString();
    const QString description = getValue(Prime, "description").value(QStringLiteral("Value")).toString();
    QVERIFY2(description.contains(QLatin1String("ORVO RE-2")) && description.contains(address),
             qPrintable(description));
    QVERIFY(getValue(Prime, "driverinfo").value(QStringLiteral("Value")).toString().contains(LENSDESK_VERSION));

    const QJsonArray state = getValue(Prime, "devicestate").value(QStringLiteral("Value")).toArray();
    QHash<QString, QJsonValue> entries;
    for (const QJsonValue& entry : state)
        entries.insert(entry.toObject().value(QStringLiteral("Name")).toString(),
                       entry.toObject().value(QStringLiteral("Value")));
    QCOMPARE(entries.value(QStringLiteral("IsMoving")), QJsonValue(false));
    QCOMPARE(entries.value(QStringLiteral("Position")), QJsonValue(490));
    const QDateTime stamp = QDateTime::fromString(entries.value(QStringLiteral("TimeStamp")).toString(), Qt::ISODate);
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTimeUtc())) < 60);
}

// A client's disconnect is its own business: the server keeps the link, and
// the next connect is answered at once without identifying the controller
// again.
void AlpacaServerTest::disconnectKeepsTheLink()
{
    const int before = heardSoFar(Prime);
    QCOMPARE(errorOf(putValue(Prime, "disconnect", "")), 0);
    QCOMPARE(getValue(Prime, "connected").value(QStringLiteral("Value")).toBool(), false);
    QCOMPARE(errorOf(getValue(Prime, "position")), 0x407);
    QCOMPARE(errorOf(putValue(Prime, "connected", "Connected=true")), 0);
    QCOMPARE(getValue(Prime, "connected").value(QStringLiteral("Value")).toBool(), true);
    QCOMPARE(getValue(Prime, "position").value(QStringLiteral("Value")).toInt(), 490);
    QCOMPARE(heardSince(Prime, before), QStringList());
}

// The setup pages show what the controllers reported.
void AlpacaServerTest::setupPages()
{
    const HttpExchange::Reply all = get("/setup");
    QCOMPARE(all.status, 200);
    QVERIFY2(all.header("Content-Type").startsWith("text/html"), all.head.constData());
    const QString page = QString::fromUtf8(all.body);
    for (const QString& shown : {m_sims[Zoom]->address().toString(), m_sims[Prime]->address().toString(),
                                 m_sims[Unconfirmed]->address().toString(), QStringLiteral("ORVO RE-2"),
                                 QStringLiteral("50mm f/1.8"), QStringLiteral("490 of 980"), uniqueId(Unconfirmed)})
        QVERIFY2(page.contains(shown), qPrintable(shown));

    const QByteArray number = QByteArray::number(m_numbers.value(uniqueId(Prime)));
    const HttpExchange::Reply one = get("/setup/v1/focuser/" + number + "/setup");
    QCOMPARE(one.status, 200);
    QVERIFY(one.body.contains(m_sims[Prime]->address().toString().toUtf8()));
    QVERIFY(!one.body.contains(m_sims[Zoom]->address().toString().toUtf8()));
    // Started without --search: no search to ask for.
    QCOMPARE(put("/setup/search", "").status, 400);
    QCOMPARE(HttpExchange::raw(m_server->address(), m_server->port(),
                               {"POST /setup/search HTTP/1.1\r\nHost: lensdesk\r\nContent-Length: 0\r\n\r\n"})
                 .status,
             403);
}

void AlpacaServerTest::transactionNumbers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("parameters");
    QTest::addColumn<qint64>("echoed");
    const auto row = [](const char* name, const char* method, const char* parameters, qint64 echoed) {
        QTest::newRow(name) << QByteArray(method) << QByteArray(parameters) << echoed;
    };
    row("GET, echoed", "GET", "ClientTransactionID=7", 7);
    row("GET, name in lower case", "GET", "clienttransactionid=8", 8);
    row("GET, with ClientID", "GET", "ClientID=12&ClientTransactionID=9", 9);
    row("GET, the largest", "GET", "ClientTransactionID=4294967295", 4294967295);
    row("GET, none sent", "GET", "", 0);
    row("GET, unreadable", "GET", "ClientTransactionID=seven", 0);
    row("GET, negative", "GET", "ClientTransactionID=-3", 0);
    row("PUT, echoed", "PUT", "ClientTransactionID=10", 10);
    row("PUT, name in upper case", "PUT", "CLIENTTRANSACTIONID=11", 11);
    row("PUT, none sent", "PUT", "", 0);
}

void AlpacaServerTest::transactionNumbers()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, parameters);
    QFETCH(qint64, echoed);
    QVector<qint64> server;
    for (int i = 0; i < 3; ++i) {
        const QJsonObject reply = method == "GET" ? envelope(get(member(Prime, "position") + '?' + parameters))
                                                  : envelope(put(member(Prime, "halt"), parameters));
        QCOMPARE(errorOf(reply), 0);
        QCOMPARE(qint64(reply.value(QStringLiteral("ClientTransactionID")).toDouble()), echoed);
        server << qint64(reply.value(QStringLiteral("ServerTransactionID")).toDouble());
    }
    QVERIFY2(server[0] > 0 && server[0] < server[1] && server[1] < server[2],
             qPrintable(QStringLiteral("%1 %2 %3").arg(server[0]).arg(server[1]).arg(server[2])));
}

void AlpacaServerTest::parametersInAnyCaseAndOrder_data()
{
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<QString>("command");
    QTest::addColumn<qint64>("echoed");
    const auto row = [](const char* name, const char* form, const char* command, qint64 echoed) {
        QTest::newRow(name) << QByteArray(form) << QString(command) << echoed;
    };
    row("as documented", "Position=100&ClientID=1&ClientTransactionID=21", "setFocus=100", 21);
    row("lower case", "position=200&clientid=1&clienttransactionid=22", "setFocus=200", 22);
    row("upper case, transaction first", "CLIENTTRANSACTIONID=23&POSITION=300", "setFocus=300", 23);
    row("mixed case, position last", "cLiEnTiD=4&ClientTransactionId=24&pOsItIoN=400", "setFocus=400", 24);
}

void AlpacaServerTest::parametersInAnyCaseAndOrder()
{
    QFETCH(QByteArray, form);
    QFETCH(QString, command);
    QFETCH(qint64, echoed);
    const int before = heardSoFar(Prime);
    const QJsonObject reply = putValue(Prime, "move", form);
    QCOMPARE(errorOf(reply), 0);
    QCOMPARE(qint64(reply.value(QStringLiteral("ClientTransactionID")).toDouble()), echoed);
    // The halts of the test before may reach the simulator's log only now.
    const auto moves = [&] {
        return heardSince(Prime, before).filter(QRegularExpression(QStringLiteral("^setFocus")));
    };
    QTRY_COMPARE(moves(), QStringList{command});
    QVERIFY(waitUntilIdle(Prime));
}

void AlpacaServerTest::uninterpretable_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path"); // "N" stands for the prime lens's device number
    QTest::addColumn<QByteArray>("form");
    const auto row = [](const char* name, const char* method, const char* path, const char* form = "") {
        QTest::newRow(name) << QByteArray(method) << QByteArray(path) << QByteArray(form);
    };
    row("unknown device number", "GET", "/api/v1/focuser/3/position");
    row("unknown device number, PUT", "PUT", "/api/v1/focuser/17/move", "Position=10");
    row("device number not a number", "GET", "/api/v1/focuser/one/position");
    row("negative device number", "GET", "/api/v1/focuser/-1/position");
    row("another device type", "GET", "/api/v1/camera/0/connected");
    row("unknown member", "GET", "/api/v1/focuser/N/zoom");
    row("member in upper case", "GET", "/api/v1/focuser/N/Position");
    row("GET of a PUT member", "GET", "/api/v1/focuser/N/move?Position=10");
    row("PUT of a GET member", "PUT", "/api/v1/focuser/N/position", "Position=10");
    row("position missing", "PUT", "/api/v1/focuser/N/move", "ClientTransactionID=3");
    row("position not a number", "PUT", "/api/v1/focuser/N/move", "Position=far");
    row("position not whole", "PUT", "/api/v1/focuser/N/move", "Position=12.5");
    row("position beyond any integer", "PUT", "/api/v1/focuser/N/move", "Position=99999999999999999999");
    row("connected neither true nor false", "PUT", "/api/v1/focuser/N/connected", "Connected=maybe");
    row("action name missing", "PUT", "/api/v1/focuser/N/action", "Parameters=5.6");
}

// A request the server cannot interpret gets HTTP 400 with the reason as
// plain text, and reaches no controller.
void AlpacaServerTest::uninterpretable()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, form);
    path.replace("/N/", "/" + QByteArray::number(m_numbers.value(uniqueId(Prime))) + '/');
    const int before = heardSoFar(Prime);
    const HttpExchange::Reply reply = method == "GET" ? get(path) : put(path, form);
    QCOMPARE(reply.status, 400);
    QVERIFY2(reply.header("Content-Type").startsWith("text/plain"), reply.head.constData());
    QVERIFY(reply.body.trimmed().size() > 10);
    QTest::qWait(100);
    QCOMPARE(heardSince(Prime, before), QStringList());
    // The device is untouched and still connected.
    QCOMPARE(getValue(Prime, "connected").value(QStringLiteral("Value")).toBool(), true);
}

void AlpacaServerTest::moveAndHaltOnTheWire()
{
    // A move: the focus command, moving until "focusDone", then there.
    int before = heardSoFar(Zoom);
    QCOMPARE(errorOf(putValue(Zoom, "move", "Position=900")), 0);
    QCOMPARE(getValue(Zoom, "ismoving").value(QStringLiteral("Value")).toBool(), true);
    // A second move while the first runs is refused and sends nothing.
    QCOMPARE(errorOf(putValue(Zoom, "move", "Position=100")), 0x40B);
    QTRY_COMPARE(heardSince(Zoom, before), QStringList{"setFocus=900"});
    QVERIFY(waitUntilIdle(Zoom));
    QVERIFY(m_sims[Zoom]->log().contains(QLatin1String("focusDone")));
    QCOMPARE(getValue(Zoom, "position").value(QStringLiteral("Value")).toInt(), 900);
    QCOMPARE(heardSince(Zoom, before), QStringList{"setFocus=900"});

    // Halted on the way back: "stopFocus", no longer moving, stopped short.
    before = heardSoFar(Zoom);
    QCOMPARE(errorOf(putValue(Zoom, "move", "Position=0")), 0);
    QTRY_COMPARE(heardSince(Zoom, before), QStringList{"setFocus=0"});
    // The whole way takes the lens about a second.
    QTest::qWait(300);
    QCOMPARE(errorOf(putValue(Zoom, "halt", "")), 0);
    QCOMPARE(getValue(Zoom, "ismoving").value(QStringLiteral("Value")).toBool(), false);
    QTRY_COMPARE(heardSince(Zoom, before), (QStringList{"setFocus=0", "stopFocus"}));
    QTest::qWait(500);
    const int stopped = getValue(Zoom, "position").value(QStringLiteral("Value")).toInt();
    QVERIFY2(stopped > 0 && stopped < 900, qPrintable(QString::number(stopped)));
}

// A controller that never confirms a move: "ismoving" is true until the
// move's time limit and never after it, then reports the failure once.
void AlpacaServerTest::moveEndsAtItsTimeLimit()
{
    const int before = heardSoFar(Unconfirmed);
    QCOMPARE(errorOf(putValue(Unconfirmed, "move", "Position=100")), 0);
    QElapsedTimer sinceMove;
    sinceMove.start();
    QTRY_COMPARE(heardSince(Unconfirmed, before), QStringList{"setFocus=100"});
    // The lens got there long before the limit.
    QVERIFY(m_sims[Unconfirmed]->waitForLog(QStringLiteral("tx \\S+ Current=35,100")).hasMatch());
    QJsonObject moving;
    qint64 askedAt = 0;
    for (;;) {
        askedAt = sinceMove.elapsed();
        moving = getValue(Unconfirmed, "ismoving");
        if (errorOf(moving) != 0 || !moving.value(QStringLiteral("Value")).toBool())
            break;
        QVERIFY2(askedAt < MoveTimeLimitMs, qPrintable(QString::number(askedAt)));
        QTest::qWait(200);
    }
    QVERIFY2(askedAt > MoveTimeLimitMs - 1000, qPrintable(QString::number(askedAt)));
    QCOMPARE(errorOf(moving), 0x500);
    QVERIFY2(moving.value(QStringLiteral("ErrorMessage")).toString().contains(QLatin1String("confirm")),
             qPrintable(moving.value(QStringLiteral("ErrorMessage")).toString()));
    // Reported once; the position is the controller's.
    moving = getValue(Unconfirmed, "ismoving");
    QCOMPARE(errorOf(moving), 0);
    QCOMPARE(moving.value(QStringLiteral("Value")).toBool(), false);
    QCOMPARE(getValue(Unconfirmed, "position").value(QStringLiteral("Value")).toInt(), 100);
}

void AlpacaServerTest::actions_data()
{
    QTest::addColumn<int>("controller");
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<QString>("value"); // a pattern of the whole Value
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("command"); // what reaches the controller, if anything
    const auto done = [](const char* row, Controller controller, const char* form, const char* value,
                         const char* command = "") {
        QTest::newRow(row) << int(controller) << QByteArray(form) << QString(value) << 0 << QString(command);
    };
    const auto refused = [](const char* row, Controller controller, const char* form, int error) {
        QTest::newRow(row) << int(controller) << QByteArray(form) << QString() << error << QString();
    };
    done("aperture", Zoom, "Action=GetAperture&Parameters=", "3\\.5");
    done("apertures of a zoom lens", Zoom,
         "Action=ListApertures&Parameters=", "3\\.5,4,4\\.5,5,5\\.6,6\\.3,7\\.1,8,9,10,11,13,14,16,18,20,22");
    done("apertures of a prime", Prime, "Action=ListApertures&Parameters=",
         "1\\.8,2,2\\.2,2\\.5,2\\.8,3\\.2,3\\.5,4,4\\.5,5,5\\.6,6\\.3,7\\.1,8,9,10,11,13,14,16,18,20,22");
    done("set the aperture", Zoom, "Action=SetAperture&Parameters=5.6", "5\\.6", "setAper=5.6");
    refused("an f-number the lens has not", Zoom, "Action=SetAperture&Parameters=1.4", 0x401);
    refused("no f-number", Zoom, "Action=SetAperture&Parameters=wide", 0x401);
    refused("no aperture to read", Unconfirmed, "Action=GetAperture&Parameters=", 0x40B);
    done("zoom", Zoom, "Action=GetZoom&Parameters=", "18");
    done("set the zoom", Zoom, "Action=SetZoom&Parameters=35", "35", "setZoom=35");
    refused("zoom beyond the lens", Zoom, "Action=SetZoom&Parameters=70", 0x401);
    refused("no power zoom", Prime, "Action=SetZoom&Parameters=50", 0x40B);
    done("stabiliser on", Zoom, "Action=SetStabiliser&Parameters=on", "on", "enableIS=60");
    done("stabiliser off", Zoom, "Action=SetStabiliser&Parameters=off", "off", "enableIS=0");
    refused("stabiliser neither on nor off", Zoom, "Action=SetStabiliser&Parameters=half", 0x401);
    refused("no stabiliser", Prime, "Action=SetStabiliser&Parameters=on", 0x40B);
    done("lens description", Zoom, "Action=LensDescription&Parameters=", "18-55mm f/3\\.5-5\\.6 IS");
    done("action name in any case", Prime, "action=lensdescription&parameters=", "50mm f/1\\.8");
    refused("unknown action", Zoom, "Action=Reboot&Parameters=", 0x40C);
    refused("an address change is no action", Zoom, "Action=ChangeIP&Parameters=10.0.0.1", 0x40C);
}

void AlpacaServerTest::actions()
{
    QFETCH(int, controller);
    QFETCH(QByteArray, form);
    QFETCH(QString, value);
    QFETCH(int, error);
    QFETCH(QString, command);
    const Controller which = Controller(controller);
    const int before = heardSoFar(which);
    const QJsonObject reply = putValue(which, "action", form);
    QCOMPARE(errorOf(reply), error);
    if (error == 0) {
        const QString text = reply.value(QStringLiteral("Value")).toString();
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(value)).match(text).hasMatch(),
                 qPrintable(text));
    }
    const QStringList expected = command.isEmpty() ? QStringList() : QStringList{command};
    if (!command.isEmpty())
        QTRY_COMPARE(heardSince(which, before), expected);
    QTest::qWait(100);
    QCOMPARE(heardSince(which, before), expected);
}

// A controller that falls silent is not connected while it is (and moves
// are refused), and comes back by itself when it speaks again.
void AlpacaServerTest::silencedController()
{
    const int beforeSilence = heardSoFar(Prime);
    m_sims[Prime]->sendSignal(SIGUSR1);
    QVERIFY(m_sims[Prime]->waitForLog(QStringLiteral("falls silent")).hasMatch());
    QTRY_COMPARE_WITH_TIMEOUT(getValue(Prime, "connected").value(QStringLiteral("Value")).toBool(), false, 15000);
    QCOMPARE(errorOf(putValue(Prime, "move", "Position=500")), 0x407);
    QCOMPARE(errorOf(getValue(Prime, "position")), 0x407);
    // The others do not notice.
    QCOMPARE(getValue(Zoom, "connected").value(QStringLiteral("Value")).toBool(), true);
    QCOMPARE(errorOf(getValue(Zoom, "position")), 0);

    m_sims[Prime]->sendSignal(SIGUSR1);
    QVERIFY(m_sims[Prime]->waitForLog(QStringLiteral("speaks again")).hasMatch());
    QTRY_COMPARE_WITH_TIMEOUT(getValue(Prime, "connected").value(QStringLiteral("Value")).toBool(), true, 15000);
    // Identified again, and nothing moved it meanwhile.
    const QStringList meanwhile = heardSince(Prime, beforeSilence);
    QVERIFY2(meanwhile.contains(QLatin1String("ver")), qPrintable(meanwhile.join(' ')));
    QVERIFY2(meanwhile.filter(QRegularExpression(QStringLiteral("^(setFocus|setZoom|setAper|move|stop)"))).isEmpty(),
             qPrintable(meanwhile.join(' ')));

    const int before = heardSoFar(Prime);
    QCOMPARE(errorOf(putValue(Prime, "move", "Position=500")), 0);
    QTRY_COMPARE(heardSince(Prime, before), QStringList{"setFocus=500"});
    QVERIFY(waitUntilIdle(Prime));
}

// Many clients at once: every request answered, each once, none lost.
void AlpacaServerTest::burstOfClients()
{
    constexpr int Clients = 24;
    constexpr int RequestsEach = 20;
    const QHostAddress address = m_server->address();
    const quint16 port = m_server->port();
    const QByteArray targets[] = {member(Zoom, "position"), member(Prime, "ismoving"), member(Unconfirmed, "connected"),
                                  "/management/v1/configureddevices"};
    const QByteArray action = member(Zoom, "action");
    std::vector<std::future<QVector<QJsonObject>>> clients;
    for (int client = 0; client < Clients; ++client) {
        clients.push_back(std::async(std::launch::async, [=] {
            QVector<QJsonObject> replies;
            for (int i = 0; i < RequestsEach; ++i) {
                const QByteArray id = QByteArray::number(client * 1000 + i);
                const HttpExchange::Reply reply = i % 5 == 4
                    ? HttpExchange::put(address, port, action, "Action=GetZoom&Parameters=&ClientTransactionID=" + id)
                    : HttpExchange::get(address, port, targets[i % 4] + "?ClientTransactionID=" + id);
                replies << (reply.status == 200 ? reply.json() : QJsonObject());
            }
            return replies;
        }));
    }
    QSet<qint64> serverNumbers;
    for (int client = 0; client < Clients; ++client) {
        const QVector<QJsonObject> replies = clients[client].get();
        QCOMPARE(replies.size(), RequestsEach);
        for (int i = 0; i < RequestsEach; ++i) {
            const QJsonObject& reply = replies[i];
            QCOMPARE(errorOf(reply), 0);
            QCOMPARE(reply.value(QStringLiteral("ClientTransactionID")).toInt(), client * 1000 + i);
            serverNumbers << qint64(reply.value(QStringLiteral("ServerTransactionID")).toDouble());
        }
    }
    QCOMPARE(serverNumbers.size(), Clients * RequestsEach);
    QCOMPARE(getValue(Zoom, "connected").value(QStringLiteral("Value")).toBool(), true);
}

void AlpacaServerTest::discovery()
{
    const QHostAddress client(QHostAddress::LocalHost);
    const QHostAddress server = m_server->address();
    QCOMPARE(AlpacaProcess::askDiscovery(client, server, "alpacadiscovery1"),
             "{\"AlpacaPort\":" + QByteArray::number(m_server->port()) + '}');
    QCOMPARE(m_server->port(), quint16(11111));
    // What is not a question goes unanswered (an answer on loopback would
    // come within a millisecond).
    QCOMPARE(AlpacaProcess::askDiscovery(client, server, "alpacadiscovery", NoAnswerWithinMs), QByteArray());
    QCOMPARE(AlpacaProcess::askDiscovery(client, server, "ver", NoAnswerWithinMs), QByteArray());
}

// Device numbers stay with the controllers across a restart of the server,
// whatever order the controllers are given in, and also for a controller
// that is silent when the server starts: it is listed under its number at
// once, and connected when it speaks again, the server asking again by
// itself.
void AlpacaServerTest::numbersKeptAcrossARestart()
{
    QCOMPARE(m_server->terminate(), 0);
    QVERIFY(m_server->output().contains(QLatin1String("Stopping (signal 15)")));
    const int silences = m_sims[Prime]->log().count(QLatin1String("falls silent"));
    m_sims[Prime]->sendSignal(SIGUSR1);
    QTRY_COMPARE(m_sims[Prime]->log().count(QLatin1String("falls silent")), silences + 1);

    QStringList arguments;
    for (Controller controller : {Unconfirmed, Prime, Zoom})
        arguments << QStringLiteral("--controller") << m_sims[controller]->address().toString();
    m_server = std::make_unique<AlpacaProcess>(LoopbackAddress::next(), m_state.path(), arguments);
    QVERIFY2(m_server->start(), qPrintable(m_server->output()));
    QCOMPARE(configuredDevices(), m_numbers);
    // Connected means ready: the lens has reported its focus range and
    // position, which a client reads at once.
    QCOMPARE(errorOf(putValue(Unconfirmed, "connected", "Connected=true")), 0);
    const QJsonObject position = getValue(Unconfirmed, "position");
    QCOMPARE(errorOf(position), 0);
    QCOMPARE(position.value(QStringLiteral("Value")).toInt(), 100);
    QCOMPARE(getValue(Unconfirmed, "maxstep").value(QStringLiteral("Value")).toInt(), 800);

    // The silent one: not connected, and a client's connect gets nowhere.
    QCOMPARE(errorOf(putValue(Prime, "connect", "")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(getValue(Prime, "connecting").value(QStringLiteral("Value")).toBool(), false, 15000);
    QCOMPARE(getValue(Prime, "connected").value(QStringLiteral("Value")).toBool(), false);
    QVERIFY2(m_server->waitForOutput(QStringLiteral("No controller answered at %1")
                                         .arg(QRegularExpression::escape(m_sims[Prime]->address().toString()))),
             qPrintable(m_server->output()));

    const int returns = m_sims[Prime]->log().count(QLatin1String("speaks again"));
    m_sims[Prime]->sendSignal(SIGUSR1);
    QTRY_COMPARE(m_sims[Prime]->log().count(QLatin1String("speaks again")), returns + 1);
    QTRY_COMPARE_WITH_TIMEOUT(getValue(Prime, "connected").value(QStringLiteral("Value")).toBool(), true, 20000);
    QCOMPARE(getValue(Prime, "position").value(QStringLiteral("Value")).toInt(), 500);
    QCOMPARE(configuredDevices(), m_numbers);
}

LENSDESK_TEST_MAIN(AlpacaServerTest)
#include "tst_alpacaserver.moc"
