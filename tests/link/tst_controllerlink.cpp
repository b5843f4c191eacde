#include "ScriptedController.h"
#include "SimProcess.h"
#include "TestMain.h"
#include "VirtualLinkDrive.h"

#include "link/ControllerLink.h"
#include "link/LinkClock.h"
#include "link/LinkPump.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(ControllerLink::State)
Q_DECLARE_METATYPE(ControllerLink::Refusal)

namespace {

// Commands that would move the lens or change the controller.
const QRegularExpression LensMove(QStringLiteral("^(set(Zoom|Focus|Aper)|move|Zoom[NW]|Focus[NF]|Iris[OC]|"
                                                 "openAper|enableIS|stopFocus|refRange|setProto|Reboot|Change)"));

} // namespace

// The controller link of lensdesk-cli and the drivers, against a scripted
// controller and the simulator on loopback: the connection exchange and its
// refusals, the identity questions, the liveness rule with re-identification
// after a loss (never a lens move), and the pump of a Qt event loop on
// another port.
class ControllerLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void identification_data();
    void identification();
    void unansweredIdentityQuestionIsAskedOnceMore();
    void lossAndReidentification();
    void reidentificationWithoutAnswerStaysLost();
    void pumpOnAnotherPort();
};

void ControllerLinkTest::identification_data()
{
    using State = ControllerLink::State;
    using Refusal = ControllerLink::Refusal;
    QTest::addColumn<QString>("answer"); // to "ver"; empty: none
    QTest::addColumn<State>("state");
    QTest::addColumn<Refusal>("refusal");
    QTest::addColumn<QString>("commands");
    const QString probes = QStringLiteral("blver getProto ver");
    const QString everything = probes + QStringLiteral(" setFLAG=99 getNAME getSN getMAC");
    const auto row = [](const char* name, const char* answer, State state, Refusal refusal, const QString& commands) {
        QTest::newRow(name) << QString(answer) << state << refusal << commands;
    };
    row("known model", "ORVO RE-2=1.8.3", State::Connected, Refusal::None, everything);
    row("power-zoom model, recent firmware", "ORVO KX-MQTR=1.9.0", State::Connected, Refusal::None, everything);
    // Nothing more goes to it: no follow-up, no question.
    row("firmware too old", "ORVO RE-2=1.3.9", State::Refused, Refusal::FirmwareTooOld, probes);
    row("unknown model", "ACME X=1.9.0", State::Refused, Refusal::NoAnswer, probes);
    row("known model inside another answer", "Lens=ORVO RE-2=1.8.3", State::Refused, Refusal::NoAnswer, probes);
    row("silence", "", State::Refused, Refusal::NoAnswer, probes);
}

void ControllerLinkTest::identification()
{
    QFETCH(QString, answer);
    QFETCH(ControllerLink::State, state);
    QFETCH(QString, commands);
    ScriptedController controller;
    QVERIFY(controller.isBound());
    if (!answer.isEmpty())
        controller.answer(QStringLiteral("ver"), {answer, QStringLiteral("Current=20,300,5.6")});
    controller.answer(QStringLiteral("getSN"), {QStringLiteral("SN=15077")});
    controller.answer(QStringLiteral("getMAC"), {QStringLiteral("MAC=2-0-0-1-2-3")});

    ControllerLink link(controller.address());
    link.setKeepsAlive(false);
    QVERIFY(link.open());
    QVERIFY(link.descriptor() >= 0);
    QStringList sent;
    QVector<ControllerLink::State> states;
    link.onDatagram = [&sent](const QString& text, bool outgoing) {
        if (outgoing)
            sent << text;
    };
    link.onStateChanged = [&states](ControllerLink::State now) { states << now; };

    VirtualLinkDrive drive(link, controller);
    const qint64 start = drive.now();
    link.connectToController(start);
    QCOMPARE(link.state(), ControllerLink::State::Identifying);
    // Runs until nothing is planned any more.
    drive.settle(60000);

    QCOMPARE(link.state(), state);
    QTEST(link.refusal(), "refusal");
    QCOMPARE(states.last(), state);
    QCOMPARE(link.refusalText().isEmpty(), link.refusal() == ControllerLink::Refusal::None);
    QCOMPARE(controller.commands().join(' '), commands);
    QCOMPARE(sent, controller.commands());
    QVERIFY(controller.commands().filter(LensMove).isEmpty());
    if (state == ControllerLink::State::Connected) {
        QCOMPARE(link.record().serial, QStringLiteral("15077"));
        QCOMPARE(link.record().mac, QStringLiteral("2-0-0-1-2-3"));
        QCOMPARE(link.record().focus, 300);
    } else if (link.refusal() == ControllerLink::Refusal::NoAnswer) {
        // At the identify limit, not later.
        QCOMPARE(drive.now() - start, qint64(ConnectionExchange::IdentifyLimitMs));
    }
}

void ControllerLinkTest::unansweredIdentityQuestionIsAskedOnceMore()
{
    ScriptedController controller;
    QVERIFY(controller.isBound());
    controller.answer(QStringLiteral("ver"), {QStringLiteral("ORVO RE-2=1.8.3")});
    controller.answer(QStringLiteral("getSN"), {QStringLiteral("SN=15077")});
    ControllerLink link(controller.address());
    link.setKeepsAlive(false);
    QVERIFY(link.open());
    VirtualLinkDrive drive(link, controller);
    link.connectToController(drive.now());
    drive.settle(60000);
    QCOMPARE(link.state(), ControllerLink::State::Connected);
    QCOMPARE(controller.count(QStringLiteral("getSN")), 1);
    QCOMPARE(controller.count(QStringLiteral("getMAC")), ControllerLink::IdentityAsks);
    QVERIFY(link.record().mac.isEmpty());
}

// A controller that stops answering is lost after more than three pings,
// pinged slowly, and identified again on its first answer; the lens is never
// driven, and what is known of it stays.
void ControllerLinkTest::lossAndReidentification()
{
    ScriptedController controller;
    QVERIFY(controller.isBound());
    controller.answer(QStringLiteral("ver"),
                      {QStringLiteral("ORVO KX-MQTR=1.9.0"), QStringLiteral("Current=20,300,5.6")});
    controller.answer(QStringLiteral("ping"), {QStringLiteral("AF=1")});
    ControllerLink link(controller.address());
    link.setAsksIdentity(false);
    QVERIFY(link.open());
    VirtualLinkDrive drive(link, controller);
    link.connectToController(drive.now());
    QVERIFY(drive.until([&] { return link.state() == ControllerLink::State::Connected; }, 1000));

    // Answered pings: ten periods later still connected, at the normal pace.
    const qint64 connectedAt = drive.now();
    QVERIFY(!drive.until([&] { return link.state() != ControllerLink::State::Connected; }, 6000));
    QCOMPARE(controller.count(QStringLiteral("ping")), 10);
    QVERIFY(drive.now() - connectedAt <= 6000);

    controller.forget(QStringLiteral("ping"));
    controller.clear();
    const qint64 silentFrom = drive.now();
    QVERIFY(drive.until([&] { return link.state() == ControllerLink::State::Lost; }, 10000));
    // The fourth unanswered ping, three periods after the first.
    QCOMPARE(controller.count(QStringLiteral("ping")), 4);
    QCOMPARE(drive.now() - silentFrom, qint64(4 * LivenessCount::NormalPeriodMs));

    // Lost: pinged every 2 s, and nothing else.
    controller.clear();
    QVERIFY(!drive.until([&] { return link.state() != ControllerLink::State::Lost; }, 6000));
    QCOMPARE(controller.texts(), (QStringList{"ping", "ping", "ping"}));
    QCOMPARE(controller.intervals(QStringLiteral("ping")).size(), 2);

    // Its first answer: identified again, without a move.
    controller.clear();
    controller.answer(QStringLiteral("ping"), {QStringLiteral("AF=1")});
    QVERIFY(drive.until([&] { return link.state() == ControllerLink::State::Identifying; }, 3000));
    QVERIFY(drive.until([&] { return link.state() == ControllerLink::State::Connected; }, 1000));
    QCOMPARE(controller.commands(), (QStringList{"blver", "getProto", "ver", "setFLAG=99", "getNAME"}));
    QCOMPARE(link.record().focus, 300);
    QCOMPARE(link.liveness().missed(), 0);
}

void ControllerLinkTest::reidentificationWithoutAnswerStaysLost()
{
    ScriptedController controller;
    QVERIFY(controller.isBound());
    controller.answer(QStringLiteral("ver"), {QStringLiteral("ORVO RE-2=1.8.3")});
    ControllerLink link(controller.address());
    link.setAsksIdentity(false);
    link.setIdentifyLimitMs(500);
    QVERIFY(link.open());
    VirtualLinkDrive drive(link, controller);
    link.connectToController(drive.now());
    QVERIFY(drive.until([&] { return link.state() == ControllerLink::State::Lost; }, 10000));

    // It answers pings, but no longer identifies itself.
    controller.forget(QStringLiteral("ver"));
    controller.answer(QStringLiteral("ping"), {QStringLiteral("AF=0")});
    QVERIFY(drive.until([&] { return link.state() == ControllerLink::State::Identifying; }, 3000));
    QVERIFY(drive.until([&] { return link.state() != ControllerLink::State::Identifying; }, 1000));
    QCOMPARE(link.state(), ControllerLink::State::Lost);
    QCOMPARE(link.refusal(), ControllerLink::Refusal::None);
    QVERIFY(controller.commands().filter(LensMove).isEmpty());
}

// lensdesk-cli and the Alpaca server drive the link from a Qt event loop
// through a pump; a controller may listen on another port than 1339.
void ControllerLinkTest::pumpOnAnotherPort()
{
    constexpr quint16 Port = 1340;
    SimProcess sim({"--port", QString::number(Port), "--gap", "0", "--report-delay", "20", "--serial", "15123"});
    QVERIFY(sim.start());
    ControllerLink link(sim.address().toString(), Port);
    QVERIFY(link.open());
    LinkPump pump(link);
    QSignalSpy pumped(&pump, &LinkPump::pumped);
    link.connectToController(LinkClock::now());
    pump.reschedule();
    QTRY_COMPARE_WITH_TIMEOUT(link.state(), ControllerLink::State::Connected, TestWaits::processStart());
    TRY_COMPARE(link.record().serial, QStringLiteral("15123"));
    TRY_VERIFY(link.record().zoomWide.has_value());
    QVERIFY(pumped.count() > 0);
    QVERIFY(sim.waitForLog(QStringLiteral(" rx \\S+ ping$")).hasMatch());
    const QStringList heard = SimProcess::commandsIn(sim.log());
    QCOMPARE(heard.mid(0, 5), (QStringList{"blver", "getProto", "ver", "setFLAG=99", "getNAME"}));
    QVERIFY(heard.filter(LensMove).isEmpty());
}

LENSDESK_TEST_MAIN(ControllerLinkTest)
#include "tst_controllerlink.moc"
