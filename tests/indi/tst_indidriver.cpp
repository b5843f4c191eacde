#include "IndiServer.h"
#include "ScriptedController.h"
#include "SimProcess.h"
#include "Skip.h"
#include "TestMain.h"

#include "link/LivenessCount.h"

#include <QtTest>

#include <csignal>
#include <memory>

// indi_lensdesk_focus end to end: the real driver, started by Debian's
// indiserver under device names of the test's choosing and driven with
// Debian's INDI clients (indi_setprop, indi_getprop, indi_eval), against the
// simulated controller on loopback addresses of this test's own. What reached
// the controller is read from the simulator's log.
class IndiDriverTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusesUnusableConnection_data();
    void refusesUnusableConnection();
    void connectIdentifies_data();
    void connectIdentifies();
    void busyUntilIdentified();
    void disconnectStopsTheLink_data();
    void disconnectStopsTheLink();
    void refusedIdentification_data();
    void refusedIdentification();
    void absoluteMove_data();
    void absoluteMove();
    void relativeMoves_data();
    void relativeMoves();
    void abortStopsTheMove_data();
    void abortStopsTheMove();
    void moveAtOnceAfterAbort_data();
    void moveAtOnceAfterAbort();
    void failedMoveIsAlert();
    void unconfirmedMoveIsAlert();
    void presetsMoveThere();
    void lensControls_data();
    void lensControls();
    void lostControllerRecovers();
    void twoControllersTwoDrivers();
    void restartKeepsTheAddress();

private:
    struct Rig
    {
        std::unique_ptr<SimProcess> sim;
        std::unique_ptr<IndiServer> server;
    };
    // A simulator with `arguments`, a server, and the driver started as
    // `device` and told the simulator's address; `connect` also connects it
    // and waits until the lens has reported its focus position (the focuser
    // is Ok from then on).
    static Rig startRig(const QStringList& arguments = {}, bool connect = true);
    static bool connectTo(IndiServer& server, const QString& device, const SimProcess& sim);
    static QString driver() { return QStringLiteral(LENSDESK_BIN_DIR "/indi_lensdesk_focus"); }
    // The commands the simulator heard, without the liveness pings.
    static QStringList received(const SimProcess& sim);
    static QStringList lensMoves(const SimProcess& sim);
    // A move the focuser refused: Alert with a message, and it stays so
    // while the controller answers the pings; nothing moved.
    static void verifyRefusalStands(const Rig& rig, const QString& property);
    // The focus count of the simulator's latest "Current=" report.
    static int lastReportedFocus(const SimProcess& sim);
    // Controllers that confirm a halted focus move and those that do not.
    static void haltConfirmationRows();
    // Starts a move across the whole travel and aborts it while it is Busy.
    static bool abortMoveUnderWay(IndiServer& server);
};

namespace {
const QString LensA = QStringLiteral("Lens A");
const QString LensB = QStringLiteral("Lens B");
// INDI's property states as indi_eval and indi_getprop give them.
constexpr int Ok = 1;
constexpr int Busy = 2;
constexpr int Alert = 3;
// Waits, in seconds as Debian's clients take them. A move of the whole
// travel takes 1.2 s; a lost controller is noticed after four pings 600 ms
// apart; an identification is given 6 s.
const int StateWaitSeconds = TestWaits::scaled(10);
const int LostWaitSeconds = TestWaits::scaled(6);
const int MessageWaitMs = TestWaits::scaled(10000);
const int ValueWaitMs = TestWaits::scaled(10000);

// The commands that move a drive of the lens.
const QStringList MoveWords{"setFocus", "setFocus2", "moveFocus", "FocusN", "FocusF",
                            "refRange", "setZoom",   "moveZoom",  "ZoomN",  "ZoomW",
                            "setAper",  "moveAper",  "openAper",  "IrisO",  "IrisC"};

QString path(const QString& device, const QString& name) { return QStringLiteral("%1.%2").arg(device, name); }

QString stateIs(const QString& device, const QString& name, int state)
{
    return QStringLiteral("\"%1._STATE\"==%2").arg(path(device, name)).arg(state);
}

QString absolutePosition(const QString& device)
{
    return path(device, QStringLiteral("ABS_FOCUS_POSITION.FOCUS_ABSOLUTE_POSITION"));
}

// A table of "PROPERTY.ELEMENT" and its expected value.
using Values = QMap<QString, QString>;
} // namespace

void IndiDriverTest::initTestCase() { SKIP_IF_UNAVAILABLE(IndiServer::unavailableReason()); }

IndiDriverTest::Rig IndiDriverTest::startRig(const QStringList& arguments, bool connect)
{
    Rig rig;
    auto sim = std::make_unique<SimProcess>(arguments);
    auto server = std::make_unique<IndiServer>();
    if (!sim->start() || !server->start() || !server->startDriver(driver(), LensA)) {
        qWarning("the simulator, the INDI server or the driver did not start");
        return rig;
    }
    if (connect ? !connectTo(*server, LensA, *sim)
                : !server->set(
                    QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS;PORT=%2;1339").arg(LensA, sim->address().toString()))) {
        qWarning("the driver was not connected to the simulator; its messages:\n%s\nthe simulator's log:\n%s",
                 qPrintable(server->messages(LensA).join(QLatin1Char('\n'))), qPrintable(sim->log()));
        return rig;
    }
    rig.sim = std::move(sim);
    rig.server = std::move(server);
    return rig;
}

bool IndiDriverTest::connectTo(IndiServer& server, const QString& device, const SimProcess& sim)
{
    return server.set(QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS;PORT=%2;1339").arg(device, sim.address().toString()))
        && server.set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(device))
        && server.waitFor(stateIs(device, QStringLiteral("CONTROLLER_INFO"), Ok) + QStringLiteral(" && ")
                              + stateIs(device, QStringLiteral("ABS_FOCUS_POSITION"), Ok),
                          StateWaitSeconds);
}

QStringList IndiDriverTest::received(const SimProcess& sim)
{
    QStringList commands = SimProcess::commandsIn(sim.log());
    commands.removeAll(QStringLiteral("ping"));
    return commands;
}

QStringList IndiDriverTest::lensMoves(const SimProcess& sim)
{
    QStringList moves;
    for (const QString& command : received(sim)) {
        if (MoveWords.contains(command.section(QLatin1Char('='), 0, 0)))
            moves << command;
    }
    return moves;
}

void IndiDriverTest::verifyRefusalStands(const Rig& rig, const QString& property)
{
    QVERIFY(rig.server->waitFor(stateIs(LensA, property, Alert), StateWaitSeconds));
    QVERIFY(rig.server->waitForMessage(LensA, QStringLiteral("^\\[ERROR\\] .*out of bound"), MessageWaitMs).hasMatch());
    QTest::qWait(2 * LivenessCount::NormalPeriodMs);
    QCOMPARE(rig.server->value(path(LensA, property + QStringLiteral("._STATE"))), QStringLiteral("Alert"));
    QCOMPARE(lensMoves(*rig.sim), QStringList());
}

int IndiDriverTest::lastReportedFocus(const SimProcess& sim)
{
    static const QRegularExpression current(QStringLiteral("tx \\S+ Current=\\d+,(\\d+)"));
    int focus = -1;
    auto reports = current.globalMatch(sim.log());
    while (reports.hasNext())
        focus = reports.next().captured(1).toInt();
    return focus;
}

void IndiDriverTest::refusesUnusableConnection_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("reason");
    const auto row = [](const char* name, const char* setting, const char* reason) {
        QTest::newRow(name) << QString::fromLatin1(setting) << QString::fromLatin1(reason);
    };
    row("a host name instead of an address", "%1.DEVICE_ADDRESS.ADDRESS=lens.local", "not an IPv4 address");
    row("an octet above 255", "%1.DEVICE_ADDRESS.ADDRESS=127.0.0.300", "not an IPv4 address");
    row("port 0", "%1.DEVICE_ADDRESS.PORT=0", "port must be a number from 1 to 65535");
    row("port above 65535", "%1.DEVICE_ADDRESS.PORT=70000", "port must be a number from 1 to 65535");
    row("TCP instead of UDP", "%1.CONNECTION_TYPE.TCP=On", "answers on UDP only");
}

void IndiDriverTest::refusesUnusableConnection()
{
    QFETCH(QString, setting);
    QFETCH(QString, reason);
    Rig rig = startRig({}, false);
    QVERIFY(rig.server);
    QVERIFY(rig.server->set(setting.arg(LensA)));

    QVERIFY(rig.server->set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(LensA)));
    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("CONNECTION"), Alert), StateWaitSeconds));
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONNECTION.CONNECT"))), QStringLiteral("Off"));
    QVERIFY2(rig.server
                 ->waitForMessage(LensA, QStringLiteral("^\\[ERROR\\] .*") + QRegularExpression::escape(reason),
                                  MessageWaitMs)
                 .hasMatch(),
             qPrintable(rig.server->messages(LensA).join(QLatin1Char('\n'))));
    QVERIFY2(received(*rig.sim).isEmpty(), qPrintable(rig.sim->log()));
}

void IndiDriverTest::connectIdentifies_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Values>("expected");
    QTest::addColumn<QStringList>("absent");

    const Values identity{{"CONTROLLER_INFO.MODEL", "ORVO KX-MQTR"},
                          {"CONTROLLER_INFO.FIRMWARE", "1.9.0"},
                          {"CONTROLLER_INFO.SERIAL", "15001"},
                          {"CONTROLLER_INFO.MAC", "2-0-0-17-34-51"}};
    Values zoomLens = identity;
    zoomLens.insert(Values{{"LENS_INFO.DESCRIPTION", "18-55mm f/3.5-5.6 IS"},
                           {"FOCUS_MAX.FOCUS_MAX_VALUE", "1150"},
                           {"ABS_FOCUS_POSITION.FOCUS_ABSOLUTE_POSITION", "575"},
                           {"LENS_ZOOM.FOCAL_LENGTH", "18"},
                           {"LENS_APERTURE.F_NUMBER", "3.5"},
                           {"LENS_APERTURE_STOPS.F_NUMBERS", "3.5 4 4.5 5 5.6 6.3 7.1 8 9 10 11 13 14 16 18 20 22"},
                           {"LENS_STABILIZER.STABILIZER_OFF", "On"}});
    const Values prime{{"CONTROLLER_INFO.MODEL", "ORVO RE-2"},
                       {"LENS_INFO.DESCRIPTION", "50mm f/1.8"},
                       {"FOCUS_MAX.FOCUS_MAX_VALUE", "980"},
                       {"ABS_FOCUS_POSITION.FOCUS_ABSOLUTE_POSITION", "490"},
                       {"LENS_APERTURE.F_NUMBER", "1.8"}};
    const Values oldFirmware{{"CONTROLLER_INFO.MODEL", "ORVO DuvudER"}, {"CONTROLLER_INFO.FIRMWARE", "1.7.4"}};
    const Values noAperture{{"LENS_INFO.DESCRIPTION", "35mm adapted lens, no aperture contacts"},
                            {"FOCUS_MAX.FOCUS_MAX_VALUE", "800"}};
    const QStringList noZoomNoStabiliser{"LENS_ZOOM", "LENS_STABILIZER"};
    const QStringList prime50{"--product", "ORVO RE-2", "--lens", "prime"};
    const QStringList firmware174{"--product", "ORVO DuvudER", "--firmware", "1.7.4"};

    QTest::newRow("power zoom, zoom lens with stabiliser") << QStringList{} << zoomLens << QStringList{};
    QTest::newRow("focus travel from count 200") << QStringList{"--focus-far", "200"} << zoomLens << QStringList{};
    const QStringList descending{"--focus-far", "1350", "--focus-near", "200"};
    QTest::newRow("focus counts falling from far to near") << descending << zoomLens << QStringList{};
    QTest::newRow("no power zoom, prime without stabiliser") << prime50 << prime << noZoomNoStabiliser;
    QTest::newRow("firmware 1.7.4 cannot switch the stabiliser") << firmware174 << oldFirmware << noZoomNoStabiliser;
    const QStringList noApertureProperties{"LENS_APERTURE", "LENS_APERTURE_STOPS"};
    const QStringList adapted{"--lens", "no-aperture"};
    QTest::newRow("lens without aperture contacts") << adapted << noAperture << noApertureProperties;
}

void IndiDriverTest::connectIdentifies()
{
    QFETCH(QStringList, arguments);
    QFETCH(Values, expected);
    QFETCH(QStringList, absent);
    Rig rig = startRig(arguments);
    QVERIFY(rig.server);

    // The lens reports and the answers to the identity questions arrive
    // after the identification.
    Values shown;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        shown.insert(path(LensA, it.key()), it.value());
    const QString wrong = rig.server->waitForValues(shown, ValueWaitMs);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    const QMap<QString, QString> values = rig.server->values(path(LensA, QStringLiteral("*.*")));
    for (const QString& name : absent) {
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            QVERIFY2(!it.key().startsWith(path(LensA, name) + QLatin1Char('.')), qPrintable(it.key()));
    }
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("FOCUS_MAX._PERM"))), QStringLiteral("ro"));
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("ABS_FOCUS_POSITION._STATE"))), QStringLiteral("Ok"));

    // Connecting asked, and moved nothing.
    const QStringList heard = received(*rig.sim);
    for (const char* question : {"blver", "getProto", "ver", "setFLAG=99", "getNAME", "getSN", "getMAC"})
        QVERIFY2(heard.contains(QLatin1String(question)), qPrintable(heard.join(QLatin1Char(' '))));
    QVERIFY2(lensMoves(*rig.sim).isEmpty(), qPrintable(heard.join(QLatin1Char(' '))));
}

void IndiDriverTest::busyUntilIdentified()
{
    // Every answer a second late: the identification takes that long.
    // INDI's connection is made at once; the controller's state says that
    // it is being identified.
    Rig rig = startRig({"--delay", "1000"}, false);
    QVERIFY(rig.server);
    QVERIFY(rig.server->set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(LensA)));
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONNECTION._STATE"))), QStringLiteral("Ok"));
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONTROLLER_INFO._STATE"))), QStringLiteral("Busy"));
    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("CONTROLLER_INFO"), Ok), StateWaitSeconds));
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONTROLLER_INFO.MODEL"))), QStringLiteral("ORVO KX-MQTR"));
}

void IndiDriverTest::disconnectStopsTheLink_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("silenceAfterMs");
    // Every answer late: the identification is still running. Or connected;
    // or lost, and being asked at the slower pace.
    QTest::newRow("while identifying") << QStringList{"--delay", "3000"} << -1;
    QTest::newRow("while connected") << QStringList{} << -1;
    QTest::newRow("while the controller does not answer") << QStringList{} << 0;
}

void IndiDriverTest::disconnectStopsTheLink()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, silenceAfterMs);
    Rig rig = startRig(arguments, false);
    QVERIFY(rig.server);
    QVERIFY(rig.server->set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(LensA)));
    QVERIFY(rig.sim->waitForLog(QStringLiteral(" rx \\S+ ver$")).hasMatch());
    if (silenceAfterMs >= 0) {
        QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("CONTROLLER_INFO"), Ok), StateWaitSeconds));
        rig.sim->sendSignal(SIGUSR1);
        QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("CONTROLLER_INFO"), Alert), StateWaitSeconds));
    }

    QVERIFY(rig.server->set(QStringLiteral("%1.CONNECTION.DISCONNECT=On").arg(LensA)));
    QVERIFY(rig.server->waitFor(QStringLiteral("\"%1\"==1").arg(path(LensA, QStringLiteral("CONNECTION.DISCONNECT"))),
                                StateWaitSeconds));
    // Nothing more goes out: no probe, no question, no ping, even at the
    // lost controller's pace.
    const int heard = SimProcess::commandsIn(rig.sim->log(), true).size();
    QTest::qWait(LivenessCount::SlowPeriodMs + 1000);
    QCOMPARE(SimProcess::commandsIn(rig.sim->log(), true).mid(heard), QStringList());
    QVERIFY(rig.server->value(absolutePosition(LensA)).isEmpty());
}

void IndiDriverTest::refusedIdentification_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("reason");
    QTest::newRow("firmware 1.3.9") << QStringList{"--firmware", "1.3.9"} << false << "1\\.3\\.9, which is too old";
    QTest::newRow("no answer") << QStringList{"--silent-after", "0"} << true << "No controller answered";
}

void IndiDriverTest::refusedIdentification()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, silent);
    QFETCH(QString, reason);
    Rig rig = startRig(arguments, false);
    QVERIFY(rig.server);
    QVERIFY(rig.server->set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(LensA)));

    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("CONNECTION"), Alert), StateWaitSeconds));
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONNECTION.CONNECT"))), QStringLiteral("Off"));
    QVERIFY2(rig.server->waitForMessage(LensA, QStringLiteral("^\\[ERROR\\] .*") + reason, MessageWaitMs).hasMatch(),
             qPrintable(rig.server->messages(LensA).join(QLatin1Char('\n'))));
    // The focuser went with the connection.
    QVERIFY(rig.server->value(absolutePosition(LensA)).isEmpty());
    // Only the probes went out; a refused controller gets no follow-up.
    const QStringList heard = SimProcess::commandsIn(rig.sim->log(), silent);
    QCOMPARE(heard, (QStringList{"blver", "getProto", "ver"}));
}

void IndiDriverTest::absoluteMove_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("command");
    const QStringList from200{"--focus-far", "200"};
    QTest::newRow("travel from 0") << QStringList{} << 1100 << "setFocus=1100";
    QTest::newRow("travel from count 200") << from200 << 1100 << "setFocus=1300";
    QTest::newRow("to the far end of a travel from count 200") << from200 << 0 << "setFocus=200";
    const QStringList descending{"--focus-far", "1350", "--focus-near", "200"};
    QTest::newRow("counts falling from far to near") << descending << 1100 << "setFocus=1300";
    QTest::newRow("no summary after the move") << QStringList{"--no-move-summary"} << 1100 << "setFocus=1100";
    QTest::newRow("beyond the near end: refused") << QStringList{} << 1151 << QString();
}

void IndiDriverTest::absoluteMove()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, target);
    QFETCH(QString, command);
    Rig rig = startRig(arguments);
    QVERIFY(rig.server);

    QVERIFY(rig.server->set(QStringLiteral("%1=%2").arg(absolutePosition(LensA)).arg(target)));
    if (command.isEmpty()) {
        verifyRefusalStands(rig, QStringLiteral("ABS_FOCUS_POSITION"));
        return;
    }
    // Busy while the lens moves, the position following its reports on the
    // way (the move starts at 575: well between start and target), Ok at the
    // target once it is confirmed. indi_eval takes each operand once.
    const double middle = (575 + target) / 2.0;
    const double halfWay = qAbs(target - 575) / 2.0 - 50;
    const QString between = QStringLiteral("abs(\"%1\"-%2)<%3 && %4")
                                .arg(absolutePosition(LensA))
                                .arg(middle)
                                .arg(halfWay)
                                .arg(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Busy));
    QVERIFY(rig.server->waitFor(between, StateWaitSeconds));
    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Ok), StateWaitSeconds));
    QCOMPARE(rig.server->value(absolutePosition(LensA)), QString::number(target));
    QVERIFY2(rig.sim->log().contains(QStringLiteral("focusDone")), qPrintable(rig.sim->log()));
    QCOMPARE(lensMoves(*rig.sim), QStringList{command});
}

void IndiDriverTest::relativeMoves_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("direction");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("command");
    // The lens starts at position 575.
    const QStringList from200{"--focus-far", "200"};
    QTest::newRow("outward 300") << QStringList{} << "FOCUS_OUTWARD" << 300 << 875 << "setFocus=875";
    QTest::newRow("inward 300") << QStringList{} << "FOCUS_INWARD" << 300 << 275 << "setFocus=275";
    QTest::newRow("inward 300 on a travel from 200") << from200 << "FOCUS_INWARD" << 300 << 275 << "setFocus=475";
    const QStringList descending{"--focus-far", "1350", "--focus-near", "200"};
    QTest::newRow("inward 300, counts falling to near") << descending << "FOCUS_INWARD" << 300 << 275 << "setFocus=475";
    // INDI's focuser refuses a move past either end.
    QTest::newRow("inward past the far end") << QStringList{} << "FOCUS_INWARD" << 600 << 575 << QString();
    QTest::newRow("outward past the near end") << QStringList{} << "FOCUS_OUTWARD" << 600 << 575 << QString();
}

void IndiDriverTest::relativeMoves()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, direction);
    QFETCH(int, steps);
    QFETCH(int, end);
    QFETCH(QString, command);
    Rig rig = startRig(arguments);
    QVERIFY(rig.server);

    QVERIFY(rig.server->set(QStringLiteral("%1.FOCUS_MOTION.%2=On").arg(LensA, direction)));
    const QString relative = path(LensA, QStringLiteral("REL_FOCUS_POSITION.FOCUS_RELATIVE_POSITION"));
    QVERIFY(rig.server->set(QStringLiteral("%1=%2").arg(relative).arg(steps)));
    if (command.isEmpty()) {
        verifyRefusalStands(rig, QStringLiteral("REL_FOCUS_POSITION"));
        QCOMPARE(rig.server->value(absolutePosition(LensA)), QString::number(end));
        return;
    }
    // Every move ends away from the start, 575.
    QVERIFY(rig.server->waitFor(QStringLiteral("\"%1\"==%2 && %3 && %4")
                                    .arg(absolutePosition(LensA))
                                    .arg(end)
                                    .arg(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Ok),
                                         stateIs(LensA, QStringLiteral("REL_FOCUS_POSITION"), Ok)),
                                StateWaitSeconds));
    QCOMPARE(lensMoves(*rig.sim), QStringList{command});
}

void IndiDriverTest::haltConfirmationRows()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("halt confirmed with focusDone") << QStringList{};
    QTest::newRow("halt not confirmed") << QStringList{"--stop-unconfirmed"};
}

bool IndiDriverTest::abortMoveUnderWay(IndiServer& server)
{
    return server.set(QStringLiteral("%1=1150").arg(absolutePosition(LensA)))
        && server.waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Busy), StateWaitSeconds)
        && server.set(QStringLiteral("%1.FOCUS_ABORT_MOTION.ABORT=On").arg(LensA));
}

void IndiDriverTest::abortStopsTheMove_data() { haltConfirmationRows(); }

void IndiDriverTest::abortStopsTheMove()
{
    QFETCH(QStringList, arguments);
    Rig rig = startRig(arguments);
    QVERIFY(rig.server);
    QVERIFY(abortMoveUnderWay(*rig.server));

    QVERIFY(rig.server->waitFor(QStringLiteral("!(%1)").arg(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Busy)),
                                StateWaitSeconds));
    QVERIFY(rig.sim->waitForLog(QStringLiteral(" rx \\S+ stopFocus$")).hasMatch());
    // The lens stopped short of the target, where its last report says.
    QVERIFY(rig.sim->waitForLog(QStringLiteral("stopFocus\\n(.*\\n)*.* tx \\S+ Current=")).hasMatch());
    QVERIFY(
        rig.server->waitForValue(absolutePosition(LensA), QString::number(lastReportedFocus(*rig.sim)), ValueWaitMs));
    QVERIFY(lastReportedFocus(*rig.sim) < 1150);
    QVERIFY(!lensMoves(*rig.sim).contains(QStringLiteral("setFocus=575")));
}

void IndiDriverTest::moveAtOnceAfterAbort_data() { haltConfirmationRows(); }

void IndiDriverTest::moveAtOnceAfterAbort()
{
    // A client that aborts and moves on at once: the new move is Busy until
    // its own confirmation, not the halted move's.
    QFETCH(QStringList, arguments);
    Rig rig = startRig(arguments);
    QVERIFY(rig.server);
    QVERIFY(abortMoveUnderWay(*rig.server));
    QVERIFY(rig.server->set(QStringLiteral("%1=300").arg(absolutePosition(LensA))));

    const QString movedThere =
        QStringLiteral("\"%1\"==300 && %2")
            .arg(absolutePosition(LensA), stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Ok));
    QVERIFY(rig.server->waitFor(movedThere, StateWaitSeconds));
    QCOMPARE(lensMoves(*rig.sim), (QStringList{"setFocus=1150", "setFocus=300"}));
    // The new command left after the halted move's last word: its position
    // report, and its focusDone where the controller sends one.
    const QString log = rig.sim->log();
    const QString afterStop = log.mid(log.indexOf(QStringLiteral(" stopFocus\n")));
    const int newMoveAt = afterStop.indexOf(QStringLiteral(" setFocus=300\n"));
    QVERIFY2(newMoveAt > afterStop.indexOf(QRegularExpression(QStringLiteral(" tx \\S+ Focus="))),
             qPrintable(afterStop));
    if (arguments.isEmpty())
        QVERIFY2(newMoveAt > afterStop.indexOf(QStringLiteral(" focusDone\n")), qPrintable(afterStop));
    QVERIFY2(afterStop.indexOf(QStringLiteral(" focusDone\n"), newMoveAt) > newMoveAt, qPrintable(afterStop));
}

void IndiDriverTest::failedMoveIsAlert()
{
    // The lens's AF switch is at MF: the controller refuses focus moves.
    Rig rig = startRig({"--lens", "manual-focus"});
    QVERIFY(rig.server);
    QVERIFY(rig.server->set(QStringLiteral("%1=100").arg(absolutePosition(LensA))));
    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Alert), StateWaitSeconds));
    QVERIFY2(
        rig.server->waitForMessage(LensA, QStringLiteral("^\\[ERROR\\] .*refused the move.*errorFocus"), MessageWaitMs)
            .hasMatch(),
        qPrintable(rig.server->messages(LensA).join(QLatin1Char('\n'))));
    // The controller itself answers.
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONTROLLER_INFO._STATE"))), QStringLiteral("Ok"));
}

void IndiDriverTest::unconfirmedMoveIsAlert()
{
    // A controller that identifies itself, reports its lens and answers
    // the pings, but never confirms a focus move.
    ScriptedController controller;
    QVERIFY(controller.isBound());
    controller.answer(QStringLiteral("ver"),
                      {"ORVO KX-MQTR=1.9.0", "Lens=18-55mm f/3.5-5.6 IS", "aRange=3.5,22", "zRange=18,55",
                       "fRange=0,1150", "AF=1", "IS=1", "ISactive=0", "Current=18,575,3.5"});
    controller.answer(QStringLiteral("ping"), {"AF=1"});
    controller.answer(QStringLiteral("getSN"), {"SN=15001"});
    controller.answer(QStringLiteral("getMAC"), {"MAC=2-0-0-17-34-51"});
    IndiServer server;
    QVERIFY(server.start());
    QVERIFY(server.startDriver(driver(), LensA));
    QVERIFY(server.set(QStringLiteral("%1.DEVICE_ADDRESS.ADDRESS;PORT=%2;1339").arg(LensA, controller.address())));
    QVERIFY(server.set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(LensA)));
    QVERIFY(server.waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Ok), StateWaitSeconds));

    QVERIFY(server.set(QStringLiteral("%1=300").arg(absolutePosition(LensA))));
    QVERIFY(controller.waitFor(QStringLiteral("setFocus=300")));
    // Busy for the move's time limit (10 s), then Alert with the reason.
    QVERIFY(server.waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Busy), StateWaitSeconds));
    QVERIFY(server.waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Alert), 2 * StateWaitSeconds));
    QVERIFY(server.waitForMessage(LensA, QStringLiteral("^\\[ERROR\\] .*did not confirm the move"), MessageWaitMs)
                .hasMatch());
    QCOMPARE(server.value(path(LensA, QStringLiteral("CONTROLLER_INFO._STATE"))), QStringLiteral("Ok"));
}

void IndiDriverTest::presetsMoveThere()
{
    Rig rig = startRig({"--focus-far", "200"});
    QVERIFY(rig.server);
    QVERIFY(rig.server->set(QStringLiteral("%1.Presets.PRESET_2=900").arg(LensA)));
    QVERIFY(rig.server->set(QStringLiteral("%1.Goto.Preset 2=On").arg(LensA)));
    QVERIFY(
        rig.server->waitFor(QStringLiteral("\"%1\"==900 && %2")
                                .arg(absolutePosition(LensA), stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Ok)),
                            StateWaitSeconds));
    QCOMPARE(lensMoves(*rig.sim), QStringList{"setFocus=1100"});
}

void IndiDriverTest::lensControls_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("reported");
    // The power-zoom model with the 18-55 mm f/3.5-5.6 lens, unless the row
    // names another. An empty command: nothing may go out; an empty state:
    // the property is not offered.
    const auto row = [](const char* name, const char* setting, const char* command, const char* state,
                        const char* reported, const QStringList& arguments = {}) {
        const auto text = [](const char* value) { return QString::fromLatin1(value); };
        QTest::newRow(name) << arguments << text(setting) << text(command) << text(state) << text(reported);
    };
    row("a listed f-number", "LENS_APERTURE.F_NUMBER=8", "setAper=8", "Ok", "LENS_APERTURE.F_NUMBER=8");
    row("an f-number between stops", "LENS_APERTURE.F_NUMBER=8.5", "", "Alert", "");
    row("an f-number wider than the lens", "LENS_APERTURE.F_NUMBER=2.8", "", "Alert", "");
    row("zoom on the power-zoom model", "LENS_ZOOM.FOCAL_LENGTH=35", "setZoom=35", "Ok", "LENS_ZOOM.FOCAL_LENGTH=35");
    row("zoom beyond the lens", "LENS_ZOOM.FOCAL_LENGTH=70", "", "Alert", "");
    row("stabiliser on", "LENS_STABILIZER.STABILIZER_ON=On", "enableIS=60", "Ok", "LENS_STABILIZER.STABILIZER_ON=On");
    row("stabiliser off", "LENS_STABILIZER.STABILIZER_OFF=On", "enableIS=0", "Ok", "LENS_STABILIZER.STABILIZER_OFF=On");
    row("focus re-initialisation", "LENS_FOCUS_REINIT.REINIT=On", "refRange", "Ok", "");
    row("zoom on a model without power zoom", "LENS_ZOOM.FOCAL_LENGTH=35", "", "", "", {"--product", "ORVO RE-2"});
}

void IndiDriverTest::lensControls()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, setting);
    QFETCH(QString, command);
    QFETCH(QString, state);
    QFETCH(QString, reported);
    Rig rig = startRig(arguments);
    QVERIFY(rig.server);
    const QString name = setting.section(QLatin1Char('.'), 0, 0);

    // indi_setprop refuses a property the driver does not offer.
    QCOMPARE(rig.server->set(path(LensA, setting)), !state.isEmpty());
    if (!state.isEmpty()) {
        QVERIFY(rig.server->waitForValue(path(LensA, name + QStringLiteral("._STATE")), state, ValueWaitMs));
    }
    if (command.isEmpty()) {
        if (state == QLatin1String("Alert"))
            QVERIFY(rig.server->waitForMessage(LensA, QStringLiteral("^\\[ERROR\\] "), MessageWaitMs).hasMatch());
        QVERIFY2(lensMoves(*rig.sim).isEmpty(), qPrintable(received(*rig.sim).join(QLatin1Char(' '))));
        QVERIFY(!received(*rig.sim).join(QLatin1Char(' ')).contains(QLatin1String("enableIS")));
        return;
    }
    QVERIFY2(rig.sim->waitForLog(QStringLiteral(" rx \\S+ ") + QRegularExpression::escape(command) + QLatin1Char('$'))
                 .hasMatch(),
             qPrintable(rig.sim->log()));
    if (reported.isEmpty())
        return;
    // The property follows what the controller reports.
    const QString element = reported.section(QLatin1Char('='), 0, 0);
    QVERIFY(rig.server->waitForValue(path(LensA, element), reported.section(QLatin1Char('='), 1), ValueWaitMs));
}

void IndiDriverTest::lostControllerRecovers()
{
    Rig rig = startRig();
    QVERIFY(rig.server);
    QVERIFY(rig.server->set(QStringLiteral("%1=1150").arg(absolutePosition(LensA))));
    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Busy), StateWaitSeconds));
    rig.sim->sendSignal(SIGUSR1);
    const int heardBeforeSilence = received(*rig.sim).size();

    // Four unanswered pings 600 ms apart: Alert, and a message saying so,
    // well before the move's own time limit (10 s).
    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Alert), LostWaitSeconds));
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONTROLLER_INFO._STATE"))), QStringLiteral("Alert"));
    // INDI's connection stays, so that the driver goes on asking.
    QCOMPARE(rig.server->value(path(LensA, QStringLiteral("CONNECTION.CONNECT"))), QStringLiteral("On"));
    QVERIFY(rig.server->waitForMessage(LensA, QStringLiteral("stopped answering"), MessageWaitMs).hasMatch());

    rig.sim->sendSignal(SIGUSR1);
    QVERIFY(rig.server->waitFor(stateIs(LensA, QStringLiteral("CONTROLLER_INFO"), Ok) + QStringLiteral(" && ")
                                    + stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Ok),
                                StateWaitSeconds));
    // Identified again, and not moved: the position is the one the
    // controller reports.
    const QStringList afterSilence = SimProcess::commandsIn(rig.sim->log()).mid(heardBeforeSilence);
    QVERIFY2(afterSilence.contains(QStringLiteral("ver")), qPrintable(afterSilence.join(QLatin1Char(' '))));
    for (const QString& command : afterSilence)
        QVERIFY2(!MoveWords.contains(command.section(QLatin1Char('='), 0, 0)), qPrintable(command));
    QVERIFY(
        rig.server->waitForValue(absolutePosition(LensA), QString::number(lastReportedFocus(*rig.sim)), ValueWaitMs));
}

void IndiDriverTest::twoControllersTwoDrivers()
{
    auto first = std::make_unique<SimProcess>(QStringList{});
    auto second = std::make_unique<SimProcess>(QStringList{"--focus-far", "200"});
    QVERIFY(first->start() && second->start());
    IndiServer server;
    QVERIFY(server.start());
    QVERIFY(server.startDriver(driver(), LensA));
    QVERIFY(server.startDriver(driver(), LensB));
    QVERIFY(connectTo(server, LensA, *first));
    QVERIFY(connectTo(server, LensB, *second));

    QVERIFY(server.set(QStringLiteral("%1=300").arg(absolutePosition(LensA))));
    QVERIFY(server.set(QStringLiteral("%1=900").arg(absolutePosition(LensB))));
    QVERIFY(server.waitFor(
        stateIs(LensA, QStringLiteral("ABS_FOCUS_POSITION"), Ok) + QStringLiteral(" && ")
            + stateIs(LensB, QStringLiteral("ABS_FOCUS_POSITION"), Ok)
            + QStringLiteral(" && \"%1\"==300 && \"%2\"==900").arg(absolutePosition(LensA), absolutePosition(LensB)),
        StateWaitSeconds));
    QCOMPARE(lensMoves(*first), QStringList{"setFocus=300"});
    QCOMPARE(lensMoves(*second), QStringList{"setFocus=1100"});
}

void IndiDriverTest::restartKeepsTheAddress()
{
    auto first = std::make_unique<SimProcess>(QStringList{});
    auto second = std::make_unique<SimProcess>(QStringList{});
    QVERIFY(first->start() && second->start());
    IndiServer server;
    QVERIFY(server.start());
    QVERIFY(server.startDriver(driver(), LensA));
    QVERIFY(server.startDriver(driver(), LensB));
    // Connecting stores the address in each device's own configuration.
    QVERIFY(connectTo(server, LensA, *first));
    QVERIFY(connectTo(server, LensB, *second));
    for (const QString& device : {LensA, LensB}) {
        QVERIFY(server.set(QStringLiteral("%1.CONNECTION.DISCONNECT=On").arg(device)));
        QVERIFY(server.stopDriver(driver(), device));
        QVERIFY(server.startDriver(driver(), device));
    }
    QCOMPARE(server.value(path(LensA, QStringLiteral("DEVICE_ADDRESS.ADDRESS"))), first->address().toString());
    QCOMPARE(server.value(path(LensB, QStringLiteral("DEVICE_ADDRESS.ADDRESS"))), second->address().toString());
    QCOMPARE(server.value(path(LensA, QStringLiteral("CONNECTION_TYPE.UDP"))), QStringLiteral("On"));
    // The maximum is the lens's: it is not stored to come back for another.
    QFile configuration(server.homePath() + QStringLiteral("/.indi/%1_config.xml").arg(LensA));
    QVERIFY(configuration.open(QIODevice::ReadOnly));
    const QByteArray stored = configuration.readAll();
    QVERIFY(stored.contains("DEVICE_ADDRESS"));
    QVERIFY2(!stored.contains("FOCUS_MAX"), stored.constData());

    // Connecting again reaches each one's own controller.
    for (const QString& device : {LensA, LensB}) {
        QVERIFY(server.set(QStringLiteral("%1.CONNECTION.CONNECT=On").arg(device)));
        QVERIFY(server.waitFor(stateIs(device, QStringLiteral("CONTROLLER_INFO"), Ok), StateWaitSeconds));
    }
    for (const SimProcess* sim : {first.get(), second.get()})
        QCOMPARE(received(*sim).count(QStringLiteral("ver")), 2);
}

LENSDESK_TEST_MAIN(IndiDriverTest)
#include "tst_indidriver.moc"
