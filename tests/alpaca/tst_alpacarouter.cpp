#include "ScriptedDevices.h"
#include "TestMain.h"

#include "alpaca/AlpacaErrors.h"
#include "alpaca/AlpacaRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

// The router of the Alpaca server, request by request, on two controllers
// the test sets up: every endpoint's values and error numbers, the reply
// envelope and transaction numbers, parameters in any case and order, the
// 400 answers, connection, moves, actions and the setup pages. Nothing here
// opens a socket.
class AlpacaRouterTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void managementApi();
    void transactionNumbers_data();
    void transactionNumbers();
    void serverTransactionNumbersIncrease();
    void members_data();
    void members();
    void needConnection_data();
    void needConnection();
    void connecting_data();
    void connecting();
    void disconnectKeepsTheLink();
    void badRequests_data();
    void badRequests();
    void parametersInAnyCaseAndOrder_data();
    void parametersInAnyCaseAndOrder();
    void moveAndHalt();
    void moveRefusals_data();
    void moveRefusals();
    void failedMoveIsReportedOnce_data();
    void failedMoveIsReportedOnce();
    void deviceState();
    void actions_data();
    void actions();
    void noRawCommandReachesTheController_data();
    void noRawCommandReachesTheController();
    void setupPages();
    void setupPageEscapesControllerTexts();
    void searchFromTheSetupPageWhenOff();

private:
    HttpReply request(const QByteArray& method, const QByteArray& target, const QByteArray& body = QByteArray(),
                      const QByteArray& contentType = "application/x-www-form-urlencoded");
    HttpReply get(const QByteArray& target) { return request("GET", target); }
    HttpReply put(const QByteArray& path, const QByteArray& form) { return request("PUT", path, form); }
    // The JSON envelope of an API reply (fails the test on anything else).
    static QJsonObject envelope(const HttpReply& reply);
    void connectClient(int number);
    void setUpLens(const QString& kind);

    std::unique_ptr<ScriptedDevices> m_server;
    ScriptedFocuser* m_first = nullptr;
    ScriptedFocuser* m_second = nullptr;
};

namespace {
const QString FirstAddress = QStringLiteral("10.231.99.1");
const QString SecondAddress = QStringLiteral("10.231.99.2");
} // namespace

void AlpacaRouterTest::init()
{
    m_server = std::make_unique<ScriptedDevices>();
    m_first = m_server->add(FirstAddress, QStringLiteral("2-0-0-17-34-51"));
    m_second = m_server->add(SecondAddress, QStringLiteral("2-0-0-17-34-52"));
    m_first->facts = {QStringLiteral("ORVO KX-MQTR"), QStringLiteral("1.9.0"), QStringLiteral("cam1"),
                      QStringLiteral("15001"), QStringLiteral("2-0-0-17-34-51")};
    m_second->facts = {QStringLiteral("ORVO RE-2"), QStringLiteral("1.8.12 "), QString(), QStringLiteral("15002"),
                       QStringLiteral("2-0-0-17-34-52")};
    m_first->focusPosition = 250;
    m_server->devices().review();
    setUpLens(QStringLiteral("zoom"));
}

void AlpacaRouterTest::cleanup() { m_server.reset(); }

void AlpacaRouterTest::setUpLens(const QString& kind)
{
    m_first->lens = QStringLiteral("EF-S18-55mm f/3.5-5.6 IS");
    m_first->lensFNumbers = {3.5f, 4.0f, 4.5f, 5.0f, 5.6f, 6.3f, 7.1f, 8, 9, 10, 11, 13, 14, 16, 18, 20, 22};
    m_first->currentFNumber = 5.6f;
    m_first->powerZoom = true;
    m_first->lensZoomRange = std::make_pair(18, 55);
    m_first->currentZoom = 35;
    m_first->stabiliser = true;
    if (kind == QLatin1String("no power zoom"))
        m_first->powerZoom = false;
    if (kind == QLatin1String("no aperture")) {
        m_first->lensFNumbers.clear();
        m_first->currentFNumber.reset();
    }
    if (kind == QLatin1String("no stabiliser"))
        m_first->stabiliser = false;
    if (kind == QLatin1String("nothing reported")) {
        m_first->currentFNumber.reset();
        m_first->currentZoom.reset();
        m_first->lensZoomRange.reset();
    }
}

HttpReply AlpacaRouterTest::request(const QByteArray& method, const QByteArray& target, const QByteArray& body,
                                    const QByteArray& contentType)
{
    AlpacaRequest request;
    request.method = method;
    const int query = target.indexOf('?');
    request.path = query < 0 ? target : target.left(query);
    request.query = query < 0 ? QByteArray() : target.mid(query + 1);
    request.body = body;
    request.contentType = method == "PUT" ? contentType : QByteArray();
    return m_server->router().answer(request);
}

QJsonObject AlpacaRouterTest::envelope(const HttpReply& reply)
{
    if (reply.status != 200 || reply.contentType != "application/json")
        qWarning("not an API reply: %d %s", reply.status, reply.body.constData());
    const QJsonObject object = QJsonDocument::fromJson(reply.body).object();
    for (const char* key : {"ClientTransactionID", "ServerTransactionID", "ErrorNumber", "ErrorMessage"}) {
        if (!object.contains(QLatin1String(key)))
            qWarning("the envelope lacks %s: %s", key, reply.body.constData());
    }
    return object;
}

void AlpacaRouterTest::connectClient(int number)
{
    const QJsonObject reply =
        envelope(put("/api/v1/focuser/" + QByteArray::number(number) + "/connected", "Connected=true"));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), 0);
}

void AlpacaRouterTest::managementApi()
{
    QJsonObject reply = envelope(get("/management/apiversions?ClientTransactionID=3"));
    QCOMPARE(reply.value(QStringLiteral("Value")).toArray(), QJsonArray{1});
    QCOMPARE(reply.value(QStringLiteral("ClientTransactionID")).toInt(), 3);

    reply = envelope(get("/management/v1/description"));
    const QJsonObject description = reply.value(QStringLiteral("Value")).toObject();
    QCOMPARE(description.value(QStringLiteral("Manufacturer")).toString(), QStringLiteral("ORVO"));
    QCOMPARE(description.value(QStringLiteral("ManufacturerVersion")).toString(), QStringLiteral(LENSDESK_VERSION));
    QCOMPARE(description.value(QStringLiteral("Location")).toString(), QStringLiteral("Test bench"));
    QVERIFY(!description.value(QStringLiteral("ServerName")).toString().isEmpty());

    reply = envelope(get("/management/v1/configureddevices"));
    const QJsonArray devices = reply.value(QStringLiteral("Value")).toArray();
    QCOMPARE(devices.size(), 2);
    const QJsonObject first = devices.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("DeviceName")).toString(), QStringLiteral("cam1"));
    QCOMPARE(first.value(QStringLiteral("DeviceType")).toString(), QStringLiteral("Focuser"));
    QCOMPARE(first.value(QStringLiteral("DeviceNumber")).toInt(), 0);
    QCOMPARE(first.value(QStringLiteral("UniqueID")).toString(), QStringLiteral("lensdesk-mac-2-0-0-17-34-51"));
    const QJsonObject second = devices.at(1).toObject();
    QCOMPARE(second.value(QStringLiteral("DeviceName")).toString(), QStringLiteral("ORVO RE-2"));
    QCOMPARE(second.value(QStringLiteral("DeviceNumber")).toInt(), 1);
    QCOMPARE(second.value(QStringLiteral("UniqueID")).toString(), QStringLiteral("lensdesk-mac-2-0-0-17-34-52"));
}

void AlpacaRouterTest::transactionNumbers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("echoed");

    auto row = [](const char* name, const char* method, const char* target, const char* body, qint64 echoed) {
        QTest::newRow(name) << QByteArray(method) << QByteArray(target) << QByteArray(body) << echoed;
    };
    row("GET, in the query", "GET", "/api/v1/focuser/0/name?ClientTransactionID=12", "", 12);
    row("GET, lower case name", "GET", "/api/v1/focuser/0/name?clienttransactionid=12", "", 12);
    row("GET, largest", "GET", "/api/v1/focuser/0/name?ClientTransactionID=4294967295", "", 4294967295LL);
    row("GET, not a number", "GET", "/api/v1/focuser/0/name?ClientTransactionID=x", "", 0);
    row("GET, missing", "GET", "/api/v1/focuser/0/name", "", 0);
    row("GET, body ignored", "GET", "/api/v1/focuser/0/name", "ClientTransactionID=5", 0);
    row("PUT, in the body", "PUT", "/api/v1/focuser/0/halt", "ClientID=1&ClientTransactionID=77", 77);
    row("PUT, query ignored", "PUT", "/api/v1/focuser/0/halt?ClientTransactionID=5", "", 0);
}

void AlpacaRouterTest::transactionNumbers()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(qint64, echoed);
    const QJsonObject reply = envelope(request(method, target, body));
    QCOMPARE(reply.value(QStringLiteral("ClientTransactionID")).toDouble(), double(echoed));
}

void AlpacaRouterTest::serverTransactionNumbersIncrease()
{
    double last = 0;
    const QList<QByteArray> targets{"/management/apiversions", "/api/v1/focuser/0/name", "/api/v1/focuser/1/position",
                                    "/management/v1/configureddevices", "/api/v1/focuser/0/stepsize"};
    for (const QByteArray& target : targets) {
        const double number = envelope(get(target)).value(QStringLiteral("ServerTransactionID")).toDouble();
        QVERIFY2(number > last, target.constData());
        last = number;
    }
}

void AlpacaRouterTest::members_data()
{
    QTest::addColumn<QByteArray>("member");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<int>("error");

    auto row = [](const char* member, const QJsonValue& value, int error = 0) {
        QTest::newRow(member) << QByteArray(member) << value << error;
    };
    row("absolute", true);
    row("interfaceversion", 4);
    row("driverversion", QStringLiteral(LENSDESK_VERSION));
    row("name", QStringLiteral("cam1"));
    row("connected", true);
    row("connecting", false);
    row("position", 250);
    row("maxstep", 1000);
    row("maxincrement", 1000);
    row("ismoving", false);
    row("tempcomp", false);
    row("tempcompavailable", false);
    row("stepsize", QJsonValue(), AlpacaError::NotImplemented);
    row("temperature", QJsonValue(), AlpacaError::NotImplemented);
    row("supportedactions",
        QJsonArray{"GetAperture", "SetAperture", "ListApertures", "GetZoom", "SetZoom", "SetStabiliser",
                   "LensDescription"});
}

void AlpacaRouterTest::members()
{
    QFETCH(QByteArray, member);
    QFETCH(QJsonValue, value);
    QFETCH(int, error);
    connectClient(0);
    const QJsonObject reply = envelope(get("/api/v1/focuser/0/" + member));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), error);
    if (error == 0) {
        QCOMPARE(reply.value(QStringLiteral("Value")), value);
        QCOMPARE(reply.value(QStringLiteral("ErrorMessage")).toString(), QString());
    } else {
        QVERIFY(!reply.contains(QStringLiteral("Value")));
        QVERIFY(!reply.value(QStringLiteral("ErrorMessage")).toString().isEmpty());
    }
}

void AlpacaRouterTest::needConnection_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("member");
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<bool>("clientConnects");
    QTest::addColumn<int>("error");

    auto row = [](const char* name, const char* method, const char* member, const char* form, bool connects,
                  int error) {
        QTest::newRow(name) << QByteArray(method) << QByteArray(member) << QByteArray(form) << connects << error;
    };
    // Before a client connects, only what describes the device answers.
    const int notConnected = AlpacaError::NotConnected;
    row("name, not connected", "GET", "name", "", false, 0);
    row("description, not connected", "GET", "description", "", false, 0);
    row("driverinfo, not connected", "GET", "driverinfo", "", false, 0);
    row("supportedactions, not connected", "GET", "supportedactions", "", false, 0);
    row("connected, not connected", "GET", "connected", "", false, 0);
    row("position, not connected", "GET", "position", "", false, notConnected);
    row("ismoving, not connected", "GET", "ismoving", "", false, notConnected);
    row("maxstep, not connected", "GET", "maxstep", "", false, notConnected);
    row("devicestate, not connected", "GET", "devicestate", "", false, notConnected);
    row("move, not connected", "PUT", "move", "Position=5", false, notConnected);
    row("halt, not connected", "PUT", "halt", "", false, notConnected);
    row("action, not connected", "PUT", "action", "Action=GetZoom&Parameters=", false, notConnected);
    // A client connected, but the controller stopped answering.
    row("position, link lost", "GET", "position", "", true, notConnected);
    row("move, link lost", "PUT", "move", "Position=5", true, notConnected);
    row("connected, link lost", "GET", "connected", "", true, 0);
}

void AlpacaRouterTest::needConnection()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, member);
    QFETCH(QByteArray, form);
    QFETCH(bool, clientConnects);
    QFETCH(int, error);
    if (clientConnects) {
        connectClient(0);
        m_first->linkState = AlpacaFocuser::Link::Lost;
    }
    const QByteArray path = "/api/v1/focuser/0/" + member;
    const QJsonObject reply = envelope(method == "GET" ? get(path) : put(path, form));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), error);
    if (member == "connected")
        QCOMPARE(reply.value(QStringLiteral("Value")), QJsonValue(false));
    QVERIFY(m_first->orders.isEmpty());
}

void AlpacaRouterTest::connecting_data()
{
    QTest::addColumn<int>("linkBefore");
    QTest::addColumn<int>("linkAfter");
    QTest::addColumn<bool>("reconnects");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("connected");

    using Link = AlpacaFocuser::Link;
    auto row = [](const char* name, Link before, Link after, bool reconnects, int error) {
        QTest::newRow(name) << int(before) << int(after) << reconnects << error << (error == 0);
    };
    const int unreachable = AlpacaError::ControllerUnreachable;
    row("link up", Link::Connected, Link::Connected, false, 0);
    row("lost, answers again", Link::Lost, Link::Connected, true, 0);
    row("lost, stays silent", Link::Lost, Link::Lost, true, unreachable);
    row("refused", Link::Refused, Link::Refused, true, unreachable);
    row("never came up", Link::Disconnected, Link::Connected, true, 0);
}

void AlpacaRouterTest::connecting()
{
    QFETCH(int, linkBefore);
    QFETCH(int, linkAfter);
    QFETCH(bool, reconnects);
    QFETCH(int, error);
    QFETCH(bool, connected);
    m_first->linkState = AlpacaFocuser::Link(linkBefore);
    m_first->afterReconnect = AlpacaFocuser::Link(linkAfter);
    m_first->problem = QStringLiteral("Firmware 1.3 is too old.");

    // Setting "connected" answers when the link is up or has failed.
    QJsonObject reply = envelope(put("/api/v1/focuser/0/connected", "Connected=True"));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), error);
    QCOMPARE(m_first->orders.contains(QStringLiteral("reconnect")), reconnects);
    if (linkAfter == int(AlpacaFocuser::Link::Refused))
        QCOMPARE(reply.value(QStringLiteral("ErrorMessage")).toString(), m_first->problem);
    QCOMPARE(envelope(get("/api/v1/focuser/0/connected")).value(QStringLiteral("Value")), QJsonValue(connected));

    // "connect" returns at once; "connecting" tells while the link is being identified.
    QCOMPARE(envelope(put("/api/v1/focuser/0/disconnect", "")).value(QStringLiteral("ErrorNumber")).toInt(), 0);
    m_first->linkState = AlpacaFocuser::Link(linkBefore);
    m_first->afterReconnect = AlpacaFocuser::Link::Identifying;
    QCOMPARE(envelope(put("/api/v1/focuser/0/connect", "")).value(QStringLiteral("ErrorNumber")).toInt(), 0);
    const bool identifying = m_first->linkState == AlpacaFocuser::Link::Identifying;
    QCOMPARE(identifying, reconnects);
    QCOMPARE(envelope(get("/api/v1/focuser/0/connecting")).value(QStringLiteral("Value")), QJsonValue(identifying));
    m_first->linkState = AlpacaFocuser::Link(linkAfter);
    QCOMPARE(envelope(get("/api/v1/focuser/0/connecting")).value(QStringLiteral("Value")), QJsonValue(false));
    QCOMPARE(envelope(get("/api/v1/focuser/0/connected")).value(QStringLiteral("Value")), QJsonValue(connected));
}

void AlpacaRouterTest::disconnectKeepsTheLink()
{
    connectClient(0);
    connectClient(1);
    QCOMPARE(
        envelope(put("/api/v1/focuser/0/connected", "Connected=false")).value(QStringLiteral("ErrorNumber")).toInt(),
        0);
    QCOMPARE(envelope(get("/api/v1/focuser/0/connected")).value(QStringLiteral("Value")), QJsonValue(false));
    QCOMPARE(envelope(get("/api/v1/focuser/0/position")).value(QStringLiteral("ErrorNumber")).toInt(),
             AlpacaError::NotConnected);
    // The server keeps the controller's link; the other device is untouched.
    QCOMPARE(m_first->linkState, AlpacaFocuser::Link::Connected);
    QCOMPARE(envelope(get("/api/v1/focuser/1/connected")).value(QStringLiteral("Value")), QJsonValue(true));
}

void AlpacaRouterTest::badRequests_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");

    using B = QByteArray;
    auto row = [](const char* name, const char* method, const char* target, const char* body, int status,
                  const char* reason, const char* type = "application/x-www-form-urlencoded") {
        QTest::newRow(name) << B(method) << B(target) << B(body) << B(type) << status << QString::fromLatin1(reason);
    };
    row("unknown device number", "GET", "/api/v1/focuser/7/position", "", 400, "no focuser 7");
    row("unknown device number, PUT", "PUT", "/api/v1/focuser/2/move", "Position=5", 400, "no focuser 2");
    row("device number not a number", "GET", "/api/v1/focuser/x/position", "", 400, "not a device number");
    row("negative device number", "GET", "/api/v1/focuser/-1/position", "", 400, "not a device number");
    row("huge device number", "GET", "/api/v1/focuser/99999999999/position", "", 400, "not a device number");
    row("other device type", "GET", "/api/v1/camera/0/connected", "", 400, "only focusers");
    row("device type in capitals", "GET", "/api/v1/Focuser/0/position", "", 400, "lower case");
    row("member in capitals", "GET", "/api/v1/focuser/0/Position", "", 400, "lower case");
    row("unknown member", "GET", "/api/v1/focuser/0/focus", "", 400, "no member");
    row("other API version", "GET", "/api/v2/focuser/0/position", "", 400, "/api/v1/");
    row("path too short", "GET", "/api/v1/focuser/0", "", 400, "/api/v1/");
    row("PUT of a GET member", "PUT", "/api/v1/focuser/0/position", "Position=5", 400, "takes GET");
    row("GET of a PUT member", "GET", "/api/v1/focuser/0/move?Position=5", "", 400, "takes PUT");
    row("POST", "POST", "/api/v1/focuser/0/move", "Position=5", 400, "GET or PUT");
    row("DELETE", "DELETE", "/api/v1/focuser/0/position", "", 400, "GET or PUT");
    row("missing parameter", "PUT", "/api/v1/focuser/0/move", "ClientTransactionID=3", 400, "Position is missing");
    row("parameter in the query of a PUT", "PUT", "/api/v1/focuser/0/move?Position=5", "", 400, "Position is missing");
    row("position not a number", "PUT", "/api/v1/focuser/0/move", "Position=abc", 400, "an integer");
    row("position a fraction", "PUT", "/api/v1/focuser/0/move", "Position=12.5", 400, "an integer");
    row("position empty", "PUT", "/api/v1/focuser/0/move", "Position=", 400, "an integer");
    row("position beyond int", "PUT", "/api/v1/focuser/0/move", "Position=2147483648", 400, "an integer");
    row("connected not a boolean", "PUT", "/api/v1/focuser/0/connected", "Connected=yes", 400, "true or false");
    row("tempcomp not a boolean", "PUT", "/api/v1/focuser/0/tempcomp", "TempComp=1", 400, "true or false");
    row("action without its name", "PUT", "/api/v1/focuser/0/action", "Parameters=", 400, "Action is missing");
    row("PUT body as JSON", "PUT", "/api/v1/focuser/0/move", "{\"Position\":5}", 400, "form-encoded",
        "application/json");
    row("management PUT", "PUT", "/management/apiversions", "", 400, "GET only");
    row("unknown management member", "GET", "/management/v1/devices", "", 400, "No management member");
    row("elsewhere", "GET", "/index.html", "", 404, "/api/v1/");
    row("upper-case API path", "GET", "/API/v1/focuser/0/position", "", 404, "/api/v1/");
}

void AlpacaRouterTest::badRequests()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(int, status);
    QFETCH(QString, reason);
    connectClient(0);
    const HttpReply reply = request(method, target, body, contentType);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.contentType.startsWith("text/plain"));
    QVERIFY2(QString::fromUtf8(reply.body).contains(reason, Qt::CaseInsensitive), reply.body.constData());
    QVERIFY(m_first->orders.isEmpty());
}

void AlpacaRouterTest::parametersInAnyCaseAndOrder_data()
{
    QTest::addColumn<QByteArray>("form");

    QTest::newRow("as documented") << QByteArray("Position=300&ClientID=1&ClientTransactionID=4");
    QTest::newRow("transaction first") << QByteArray("ClientTransactionID=4&ClientID=1&Position=300");
    QTest::newRow("lower case") << QByteArray("clienttransactionid=4&position=300");
    QTest::newRow("capitals") << QByteArray("POSITION=300&CLIENTTRANSACTIONID=4");
    QTest::newRow("mixed") << QByteArray("pOsItIoN=300&ClientTransactionId=4");
    QTest::newRow("escaped name") << QByteArray("%50osition=300&ClientTransactionID=4");
    QTest::newRow("unknown ones beside") << QByteArray("Speed=fast&Position=300&ClientTransactionID=4");
    QTest::newRow("twice: the first counts") << QByteArray("position=300&Position=400&ClientTransactionID=4");
}

void AlpacaRouterTest::parametersInAnyCaseAndOrder()
{
    QFETCH(QByteArray, form);
    connectClient(0);
    const QJsonObject reply = envelope(put("/api/v1/focuser/0/move", form));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), 0);
    QCOMPARE(reply.value(QStringLiteral("ClientTransactionID")).toInt(), 4);
    QCOMPARE(m_first->orders, QStringList{QStringLiteral("moveTo 300")});
}

void AlpacaRouterTest::moveAndHalt()
{
    connectClient(0);
    connectClient(1);
    QJsonObject reply = envelope(put("/api/v1/focuser/0/move", "Position=500"));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), 0);
    QVERIFY(!reply.contains(QStringLiteral("Value")));
    QCOMPARE(m_first->orders, QStringList{QStringLiteral("moveTo 500")});
    QCOMPARE(envelope(get("/api/v1/focuser/0/ismoving")).value(QStringLiteral("Value")), QJsonValue(true));
    // Nothing crosses to the other device.
    QVERIFY(m_second->orders.isEmpty());
    QCOMPARE(envelope(get("/api/v1/focuser/1/ismoving")).value(QStringLiteral("Value")), QJsonValue(false));

    QCOMPARE(envelope(put("/api/v1/focuser/0/halt", "")).value(QStringLiteral("ErrorNumber")).toInt(), 0);
    QCOMPARE(m_first->orders.last(), QStringLiteral("halt"));
    QCOMPARE(envelope(get("/api/v1/focuser/0/ismoving")).value(QStringLiteral("Value")), QJsonValue(false));

    // Both ends of the range are positions.
    for (const QByteArray position : {"0", "1000"}) {
        QCOMPARE(envelope(put("/api/v1/focuser/0/move", "Position=" + position))
                     .value(QStringLiteral("ErrorNumber"))
                     .toInt(),
                 0);
        QCOMPARE(m_first->orders.last(), QStringLiteral("moveTo ") + QString::fromLatin1(position));
    }
}

void AlpacaRouterTest::moveRefusals_data()
{
    QTest::addColumn<QByteArray>("position");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("focusRange");
    QTest::addColumn<int>("error");

    auto row = [](const char* name, const char* position, const char* refusal, bool focusRange, int error) {
        QTest::newRow(name) << QByteArray(position) << QString::fromLatin1(refusal) << focusRange << error;
    };
    row("below 0", "-1", "", true, AlpacaError::InvalidValue);
    row("beyond maxstep", "1001", "", true, AlpacaError::InvalidValue);
    row("controller cannot move now", "10", "The lens reports no focus drive.", true, AlpacaError::InvalidOperation);
    row("no lens", "10", "", false, AlpacaError::InvalidOperation);
}

void AlpacaRouterTest::moveRefusals()
{
    QFETCH(QByteArray, position);
    QFETCH(QString, refusal);
    QFETCH(bool, focusRange);
    QFETCH(int, error);
    connectClient(0);
    m_first->refusal = refusal;
    m_first->focusRange = focusRange;
    const QJsonObject reply = envelope(put("/api/v1/focuser/0/move", "Position=" + position));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), error);
    if (!refusal.isEmpty())
        QCOMPARE(reply.value(QStringLiteral("ErrorMessage")).toString(), refusal);
    QVERIFY(m_first->orders.isEmpty());
    QCOMPARE(envelope(get("/api/v1/focuser/0/ismoving")).value(QStringLiteral("Value")), QJsonValue(false));
}

void AlpacaRouterTest::failedMoveIsReportedOnce_data()
{
    QTest::addColumn<QString>("message");

    QTest::newRow("controller error") << "errorFocus: focus time-out";
    QTest::newRow("never confirmed") << "The move was not confirmed within 10 s.";
}

void AlpacaRouterTest::failedMoveIsReportedOnce()
{
    QFETCH(QString, message);
    connectClient(0);
    QCOMPARE(envelope(put("/api/v1/focuser/0/move", "Position=700")).value(QStringLiteral("ErrorNumber")).toInt(), 0);
    m_first->motionState = AlpacaFocuser::Motion::Failed;
    m_first->motionText = message;
    QJsonObject reply = envelope(get("/api/v1/focuser/0/ismoving"));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), AlpacaError::ControllerFailed);
    QCOMPARE(reply.value(QStringLiteral("ErrorMessage")).toString(), message);
    reply = envelope(get("/api/v1/focuser/0/ismoving"));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), 0);
    QCOMPARE(reply.value(QStringLiteral("Value")), QJsonValue(false));

    // A move that ended well is not reported as failed later.
    QCOMPARE(envelope(put("/api/v1/focuser/0/move", "Position=100")).value(QStringLiteral("ErrorNumber")).toInt(), 0);
    m_first->motionState = AlpacaFocuser::Motion::Idle;
    QCOMPARE(envelope(get("/api/v1/focuser/0/ismoving")).value(QStringLiteral("Value")), QJsonValue(false));
    m_first->motionState = AlpacaFocuser::Motion::Failed;
    QCOMPARE(envelope(get("/api/v1/focuser/0/ismoving")).value(QStringLiteral("ErrorNumber")).toInt(), 0);
}

void AlpacaRouterTest::deviceState()
{
    connectClient(0);
    m_first->motionState = AlpacaFocuser::Motion::Moving;
    const QJsonObject reply = envelope(get("/api/v1/focuser/0/devicestate"));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), 0);
    QHash<QString, QJsonValue> state;
    for (const QJsonValue& entry : reply.value(QStringLiteral("Value")).toArray())
        state.insert(entry.toObject().value(QStringLiteral("Name")).toString(),
                     entry.toObject().value(QStringLiteral("Value")));
    QCOMPARE(state.value(QStringLiteral("IsMoving")), QJsonValue(true));
    QCOMPARE(state.value(QStringLiteral("Position")), QJsonValue(250));
    const QDateTime stamp =
        QDateTime::fromString(state.value(QStringLiteral("TimeStamp")).toString(), Qt::ISODateWithMs);
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTimeUtc())) < 60);
    QVERIFY(!state.contains(QStringLiteral("Temperature")));
}

void AlpacaRouterTest::actions_data()
{
    QTest::addColumn<QString>("lens");
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QByteArray>("parameters");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("order");

    using B = QByteArray;
    auto row = [](const char* name, const char* lens, const char* action, const char* parameters, int error,
                  const char* value, const char* order) {
        QTest::newRow(name) << QString::fromLatin1(lens) << B(action) << B(parameters) << error << B(value) << B(order);
    };
    const int invalidValue = AlpacaError::InvalidValue;
    const int invalidOperation = AlpacaError::InvalidOperation;
    const int noAction = AlpacaError::ActionNotImplemented;
    row("GetAperture", "zoom", "GetAperture", "", 0, "5.6", "");
    row("name in any case", "zoom", "getaperture", "", 0, "5.6", "");
    row("SetAperture", "zoom", "SetAperture", "8", 0, "8", "setFNumber 8");
    row("SetAperture, fraction", "zoom", "SetAperture", "7.1", 0, "7.1", "setFNumber 7.1");
    row("SetAperture, not the lens's", "zoom", "SetAperture", "2.8", invalidValue, "", "");
    row("SetAperture, not a number", "zoom", "SetAperture", "wide", invalidValue, "", "");
    row("ListApertures", "zoom", "ListApertures", "", 0, "3.5,4,4.5,5,5.6,6.3,7.1,8,9,10,11,13,14,16,18,20,22", "");
    row("GetAperture, no aperture", "no aperture", "GetAperture", "", invalidOperation, "", "");
    row("SetAperture, no aperture", "no aperture", "SetAperture", "5.6", invalidOperation, "", "");
    row("GetAperture, not reported", "nothing reported", "GetAperture", "", invalidOperation, "", "");
    row("GetZoom", "zoom", "GetZoom", "", 0, "35", "");
    row("GetZoom, not reported", "nothing reported", "GetZoom", "", invalidOperation, "", "");
    row("SetZoom", "zoom", "SetZoom", "50", 0, "50", "setZoom 50");
    row("SetZoom, wide end", "zoom", "SetZoom", "18", 0, "18", "setZoom 18");
    row("SetZoom, beyond tele", "zoom", "SetZoom", "56", invalidValue, "", "");
    row("SetZoom, not a number", "zoom", "SetZoom", "35mm", invalidValue, "", "");
    row("SetZoom, no power zoom", "no power zoom", "SetZoom", "35", invalidOperation, "", "");
    row("SetStabiliser on", "zoom", "SetStabiliser", "on", 0, "on", "setStabiliser on");
    row("SetStabiliser off", "zoom", "SetStabiliser", "Off", 0, "off", "setStabiliser off");
    row("SetStabiliser true", "zoom", "SetStabiliser", "true", 0, "on", "setStabiliser on");
    row("SetStabiliser, unclear", "zoom", "SetStabiliser", "maybe", invalidValue, "", "");
    row("SetStabiliser, none", "no stabiliser", "SetStabiliser", "on", invalidOperation, "", "");
    row("LensDescription", "zoom", "LensDescription", "", 0, "EF-S18-55mm f/3.5-5.6 IS", "");
    row("unknown action", "zoom", "Reboot", "", noAction, "", "");
    row("no name change", "zoom", "SetName", "x", noAction, "", "");
}

void AlpacaRouterTest::actions()
{
    QFETCH(QString, lens);
    QFETCH(QByteArray, action);
    QFETCH(QByteArray, parameters);
    QFETCH(int, error);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, order);
    setUpLens(lens);
    connectClient(0);
    const QJsonObject reply = envelope(
        put("/api/v1/focuser/0/action", "Action=" + action + "&Parameters=" + parameters + "&ClientTransactionID=9"));
    QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), error);
    QCOMPARE(reply.value(QStringLiteral("ClientTransactionID")).toInt(), 9);
    if (error == 0)
        QCOMPARE(reply.value(QStringLiteral("Value")).toString(), QString::fromUtf8(value));
    else
        QVERIFY(!reply.value(QStringLiteral("ErrorMessage")).toString().isEmpty());
    QCOMPARE(m_first->orders, order.isEmpty() ? QStringList() : QStringList{QString::fromUtf8(order)});
}

void AlpacaRouterTest::noRawCommandReachesTheController_data()
{
    QTest::addColumn<QByteArray>("member");

    QTest::newRow("commandblind") << QByteArray("commandblind");
    QTest::newRow("commandbool") << QByteArray("commandbool");
    QTest::newRow("commandstring") << QByteArray("commandstring");
}

void AlpacaRouterTest::noRawCommandReachesTheController()
{
    QFETCH(QByteArray, member);
    connectClient(0);
    for (const QByteArray command : {"ChangeIP=10.0.0.9", "setNAME=evil", "Reboot", "setFLAG=0"}) {
        const QJsonObject reply = envelope(put("/api/v1/focuser/0/" + member, "Command=" + command + "&Raw=true"));
        QCOMPARE(reply.value(QStringLiteral("ErrorNumber")).toInt(), AlpacaError::NotImplemented);
    }
    QCOMPARE(envelope(put("/api/v1/focuser/0/tempcomp", "TempComp=true")).value(QStringLiteral("ErrorNumber")).toInt(),
             AlpacaError::NotImplemented);
    QVERIFY(m_first->orders.isEmpty());
}

void AlpacaRouterTest::setupPages()
{
    HttpReply reply = get("/setup");
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.contentType.startsWith("text/html"));
    const QString page = QString::fromUtf8(reply.body);
    for (const QString& text :
         {FirstAddress, SecondAddress, QStringLiteral("ORVO KX-MQTR"), QStringLiteral("ORVO RE-2"),
          QStringLiteral("1.8.12"), QStringLiteral("EF-S18-55mm f/3.5-5.6 IS"), QStringLiteral("250 of 1000"),
          QStringLiteral("/setup/v1/focuser/1/setup"), QStringLiteral("lensdesk-mac-2-0-0-17-34-52"),
          QStringLiteral("SetAperture")})
        QVERIFY2(page.contains(text), qPrintable(text));

    reply = get("/setup/v1/focuser/1/setup");
    QCOMPARE(reply.status, 200);
    QVERIFY(QString::fromUtf8(reply.body).contains(SecondAddress));
    QVERIFY(!QString::fromUtf8(reply.body).contains(FirstAddress));
    QCOMPARE(get("/setup/v1/focuser/5/setup").status, 404);
    QCOMPARE(get("/setup/v1/focuser/x/setup").status, 404);
    QCOMPARE(get("/setup/other").status, 404);

    reply = get("/");
    QCOMPARE(reply.status, 303);
    QCOMPARE(reply.location, QByteArray("/setup"));

    // A controller that has not identified itself is shown, without a number.
    m_server->devices().addController(QStringLiteral("10.231.99.3"));
    m_server->focuser(QStringLiteral("10.231.99.3"))->linkState = AlpacaFocuser::Link::Lost;
    m_server->devices().review();
    const QString withThird = QString::fromUtf8(get("/setup").body);
    QVERIFY(withThird.contains(QStringLiteral("10.231.99.3")));
    QVERIFY(withThird.contains(QStringLiteral("not answering")));
    QCOMPARE(envelope(get("/management/v1/configureddevices")).value(QStringLiteral("Value")).toArray().size(), 2);
}

void AlpacaRouterTest::setupPageEscapesControllerTexts()
{
    m_first->facts.name = QStringLiteral("<b>x");
    m_first->facts.firmware = QStringLiteral("1.9\"><script>alert(1)</script>");
    m_first->lens = QStringLiteral("EF & co") + QChar(0) + QChar(7) + QStringLiteral("'lens'");
    for (const QByteArray& target : {QByteArray("/setup"), QByteArray("/setup/v1/focuser/0/setup")}) {
        const QString page = QString::fromUtf8(get(target).body);
        QVERIFY(!page.contains(QStringLiteral("<script>")));
        QVERIFY(!page.contains(QStringLiteral("<b>x")));
        QVERIFY(page.contains(QStringLiteral("&lt;b&gt;x")));
        QVERIFY(page.contains(QStringLiteral("1.9&quot;&gt;&lt;script&gt;")));
        QVERIFY(page.contains(QStringLiteral("EF &amp; co'lens'")));
        QVERIFY(!page.contains(QChar(0)));
        QVERIFY(!page.contains(QChar(7)));
    }
}

void AlpacaRouterTest::searchFromTheSetupPageWhenOff()
{
    // With searching allowed the page offers the button (pressing it would
    // broadcast: that is tried inside a network namespace only).
    QVERIFY(!QString::fromUtf8(get("/setup").body).contains(QStringLiteral("action=\"/setup/search\"")));
    m_server->devices().allowSearch(true);
    QVERIFY(QString::fromUtf8(get("/setup").body).contains(QStringLiteral("action=\"/setup/search\"")));
    m_server->devices().allowSearch(false);

    const HttpReply reply = request("POST", "/setup/search");
    QCOMPARE(reply.status, 403);
    QVERIFY(!m_server->devices().isSearching());
    QCOMPARE(get("/setup/search").status, 400);
}

LENSDESK_TEST_MAIN(AlpacaRouterTest)
#include "tst_alpacarouter.moc"
