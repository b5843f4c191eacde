#include "ScriptedController.h"
#include "TestMain.h"
#include "VirtualLinkDrive.h"

#include "lens/FocuserSession.h"
#include "lens/LensWaits.h"
#include "link/ControllerLink.h"

#include <QtTest>

namespace {

// What a power-zoom controller with an 18-55 mm lens reports after "ver";
// rows replace or leave out single reports.
const QStringList LensReports{
    "ORVO KX-MQTR=1.9.0", "Lens=EF-S18-55mm f/3.5-5.6 IS", "aRange=3.5,22", "zRange=18,55", "fRange=100,1123", "IS=1",
    "Current=20,400,5.6"};

QStringList reportsWith(const QString& changes)
{
    QStringList reports = LensReports;
    if (changes.isEmpty())
        return reports;
    for (const QString& change : changes.split(QLatin1Char('|'))) {
        // "-key" leaves the report out; "key=..." replaces it or is added; a
        // model's answer replaces the identification.
        if (change.startsWith(QLatin1String("ORVO "))) {
            reports[0] = change;
            continue;
        }
        const QString key = change.section(QLatin1Char('='), 0, 0).remove(QLatin1Char('-'));
        const int index = reports.indexOf(QRegularExpression(QStringLiteral("^%1(=.*)?$").arg(key)));
        if (change.startsWith(QLatin1Char('-')) && index < 0)
            qFatal("no report %s to leave out", qPrintable(key));
        if (change.startsWith(QLatin1Char('-')))
            reports.removeAt(index);
        else if (index >= 0)
            reports[index] = change;
        else
            reports << change;
    }
    return reports;
}

// A focuser on a link to a scripted controller, driven on a virtual clock.
struct Rig
{
    explicit Rig(const QStringList& versionReplies, bool answersPings = true)
        : link(controller.address())
        , session(link)
        , drive(link, controller, [this](qint64 now) { return session.advance(now); })
    {
        controller.answer(QStringLiteral("ver"), versionReplies);
        if (answersPings)
            controller.answer(QStringLiteral("ping"), {QStringLiteral("AF=1")});
        link.setAsksIdentity(false);
        opened = link.open();
        session.onChanged = [this] { ++changes; };
    }

    bool connect()
    {
        if (!opened)
            return false;
        link.connectToController(drive.now());
        return drive.until([this] { return link.state() == ControllerLink::State::Connected; }, 1000);
    }

    // "moveTo 500", "setFNumber 5.6", "halt"...
    bool act(const QString& action, QString* why)
    {
        const QString verb = action.section(QLatin1Char(' '), 0, 0);
        const QString argument = action.section(QLatin1Char(' '), 1);
        if (verb == QLatin1String("moveTo"))
            return session.moveTo(argument.toInt(), drive.now(), why);
        if (verb == QLatin1String("moveBy"))
            return session.moveBy(argument.toInt(), drive.now(), why);
        if (verb == QLatin1String("setFNumber"))
            return session.setFNumber(argument.toFloat(), why);
        if (verb == QLatin1String("setZoom"))
            return session.setZoom(argument.toInt(), why);
        if (verb == QLatin1String("setStabiliser"))
            return session.setStabiliser(argument == QLatin1String("1"), why);
        if (verb == QLatin1String("reinitialiseFocus"))
            return session.reinitialiseFocus(why);
        if (verb == QLatin1String("halt")) {
            session.halt(drive.now());
            return true;
        }
        qFatal("unknown action %s", qPrintable(action));
        return false;
    }

    ScriptedController controller;
    ControllerLink link;
    FocuserSession session;
    VirtualLinkDrive drive;
    bool opened = false;
    int changes = 0;
};

} // namespace

// The focuser of the INDI driver and the Alpaca server on the wire, against
// a scripted controller: the position mapping, how a move ends (confirmed,
// refused, not confirmed in time, the controller lost), halt, the lens's
// extras, and the requests refused before anything is sent.
class FocuserSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void moves_data();
    void moves();
    void timeLimitEndsTheMove();
    void haltEndsTheMove();
    void moveAfterHalt_data();
    void moveAfterHalt();
    void refusals_data();
    void refusals();
    void lensExtras_data();
    void lensExtras();
    void lensAndIdentity();
    void changesAreNotified();
};

void FocuserSessionTest::moves_data()
{
    QTest::addColumn<QString>("focusRange");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("command");
    // The controller's replies to the command, "|" between them; "silent":
    // none, and no answer to the pings either.
    QTest::addColumn<QString>("replies");
    // "idle" or "failed", the position then, and a part of the message.
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char* name, const char* focusRange, const char* request, const char* command,
                        const char* replies, const char* outcome) {
        dataRow(name, QString(focusRange), QString(request), QString(command), QString(replies), QString(outcome));
    };
    row("absolute, ends from 0", "0,1023", "moveTo 500", "setFocus=500", "Focus=500|focusDone", "idle 500");
    row("absolute, shifted ends", "100,1123", "moveTo 500", "setFocus=600", "Focus=600|focusDone", "idle 500");
    row("absolute, reversed ends", "1123,100", "moveTo 500", "setFocus=600", "Focus=600|focusDone", "idle 500");
    row("absolute, the far end", "100,1123", "moveTo 0", "setFocus=100", "Focus=100|focusDone", "idle 0");
    // From the reported count 400, position 300.
    row("relative in", "100,1123", "moveBy -40", "setFocus=360", "Focus=360|focusDone", "idle 260");
    row("relative, past the end", "100,1123", "moveBy 5000", "setFocus=1123", "Focus=1123|focusDone", "idle 1023");
    row("a report is no confirmation", "100,1123", "moveTo 500", "setFocus=600", "Focus=600", "failed 500 10 s");
    row("error reply", "100,1123", "moveTo 500", "setFocus=600", "errorFocus: time-out", "failed 300 errorFocus");
    row("lost link", "100,1123", "moveTo 500", "setFocus=600", "silent", "failed 300 stopped answering");
}

void FocuserSessionTest::moves()
{
    QFETCH(QString, focusRange);
    QFETCH(QString, request);
    QFETCH(QString, command);
    QFETCH(QString, replies);
    QFETCH(QString, outcome);

    const bool silent = replies == QLatin1String("silent");
    Rig rig(reportsWith(QStringLiteral("fRange=") + focusRange), !silent);
    QVERIFY(rig.connect());
    QCOMPARE(rig.session.maxStep(), 1023);
    QCOMPARE(rig.session.position(), focusRange.startsWith(QLatin1String("0,")) ? 400 : 300);
    if (!silent)
        rig.controller.answer(command, replies.split(QLatin1Char('|')));

    QString why;
    const qint64 requestedAt = rig.drive.now();
    QVERIFY2(rig.act(request, &why), qPrintable(why));
    QCOMPARE(rig.session.motion(), FocuserSession::Motion::Moving);
    QVERIFY(rig.drive.until([&] { return rig.session.motion() != FocuserSession::Motion::Moving; }, 60000));
    const qint64 took = rig.drive.now() - requestedAt;

    QCOMPARE(rig.controller.commands().filter(QStringLiteral("Focus")), QStringList{command});
    const QString motion = outcome.section(QLatin1Char(' '), 0, 0);
    QCOMPARE(rig.session.motion(),
             motion == QLatin1String("idle") ? FocuserSession::Motion::Idle : FocuserSession::Motion::Failed);
    QCOMPARE(rig.session.position(), outcome.section(QLatin1Char(' '), 1, 1).toInt());
    const QString message = outcome.section(QLatin1Char(' '), 2);
    QVERIFY2(rig.session.motionMessage().contains(message), qPrintable(rig.session.motionMessage()));
    // Never Moving past the limit.
    QVERIFY2(took <= LensWaits::MoveConfirmTimeoutMs, qPrintable(QString::number(took)));
}

// Unconfirmed, a move ends at its limit exactly, also while the controller
// answers everything else.
void FocuserSessionTest::timeLimitEndsTheMove()
{
    Rig rig(LensReports);
    QVERIFY(rig.connect());
    rig.controller.answer(QStringLiteral("setFocus=600"), {QStringLiteral("Focus=600")});
    const qint64 requestedAt = rig.drive.now();
    QVERIFY(rig.session.moveTo(500, requestedAt, nullptr));
    QVERIFY(rig.drive.until([&] { return rig.session.motion() != FocuserSession::Motion::Moving; }, 60000));
    QCOMPARE(rig.drive.now() - requestedAt, qint64(LensWaits::MoveConfirmTimeoutMs));
    QCOMPARE(rig.session.motion(), FocuserSession::Motion::Failed);
    QVERIFY(rig.controller.count(QStringLiteral("ping")) > 10);
}

void FocuserSessionTest::haltEndsTheMove()
{
    Rig rig(LensReports);
    QVERIFY(rig.connect());
    rig.controller.answer(QStringLiteral("setFocus=600"), {QStringLiteral("Focus=450")});
    QVERIFY(rig.session.moveTo(500, rig.drive.now(), nullptr));
    QVERIFY(rig.drive.until([&] { return rig.session.position() == 350; }, 1000));
    QCOMPARE(rig.session.motion(), FocuserSession::Motion::Moving);

    rig.session.halt(rig.drive.now());
    QCOMPARE(rig.session.motion(), FocuserSession::Motion::Idle);
    rig.drive.settle(2 * LensWaits::MoveConfirmTimeoutMs);
    QCOMPARE(rig.controller.commands().filter(QRegularExpression("^(set|stop)Focus")),
             (QStringList{"setFocus=600", "stopFocus"}));
    // The halted move's limit is gone with it.
    QCOMPARE(rig.session.motion(), FocuserSession::Motion::Idle);
    // A new move may follow at once.
    QVERIFY(rig.session.moveTo(10, rig.drive.now(), nullptr));
}

void FocuserSessionTest::moveAfterHalt_data()
{
    // Whether a controller confirms a halted move is its own affair.
    QTest::addColumn<QString>("stopReplies");
    QTest::newRow("halt confirmed") << "Focus=450|focusDone";
    QTest::newRow("halt not confirmed") << "Focus=450";
}

// A move asked for at once after a halt (as a client does that aborts and
// goes on) is not confirmed by the halted move's "focusDone": its command
// waits until the halted move has ended, confirmed or not.
void FocuserSessionTest::moveAfterHalt()
{
    QFETCH(QString, stopReplies);
    Rig rig(LensReports);
    QVERIFY(rig.connect());
    QStringList focusDatagrams;
    rig.link.onDatagram = [&](const QString& text, bool sent) {
        if (text.contains(QLatin1String("Focus")) || text == QLatin1String("focusDone"))
            focusDatagrams << (sent ? QStringLiteral("> ") : QStringLiteral("< ")) + text;
    };
    int positionWhenEnded = -1;
    rig.session.onChanged = [&] {
        if (positionWhenEnded < 0 && rig.session.motion() == FocuserSession::Motion::Idle
            && focusDatagrams.contains(QStringLiteral("> stopFocus")))
            positionWhenEnded = rig.session.position();
    };
    rig.controller.answer(QStringLiteral("setFocus=600"), {QStringLiteral("Focus=450")});
    rig.controller.answer(QStringLiteral("stopFocus"), stopReplies.split(QLatin1Char('|')));
    rig.controller.answer(QStringLiteral("setFocus=110"), {QStringLiteral("Focus=110"), QStringLiteral("focusDone")});
    QVERIFY(rig.session.moveTo(500, rig.drive.now(), nullptr));
    QVERIFY(rig.drive.until([&] { return rig.session.position() == 350; }, 1000));

    rig.session.halt(rig.drive.now());
    positionWhenEnded = -1;
    QString why;
    QVERIFY2(rig.session.moveTo(10, rig.drive.now(), &why), qPrintable(why));
    QCOMPARE(rig.session.motion(), FocuserSession::Motion::Moving);
    QVERIFY(rig.drive.until([&] { return rig.session.motion() != FocuserSession::Motion::Moving; }, 5000));
    rig.drive.settle(500);

    // The new command left after the halted move's replies.
    const QString onTheWire = QStringLiteral("> stopFocus < %1 > setFocus=110 < Focus=110 < focusDone")
                                  .arg(stopReplies.split(QLatin1Char('|')).join(QStringLiteral(" < ")));
    QCOMPARE(focusDatagrams.mid(focusDatagrams.indexOf(QStringLiteral("> stopFocus"))).join(QLatin1Char(' ')),
             onTheWire);
    QCOMPARE(rig.session.motion(), FocuserSession::Motion::Idle);
    // Ended by its own confirmation, at its target.
    QCOMPARE(positionWhenEnded, 10);
}

void FocuserSessionTest::refusals_data()
{
    QTest::addColumn<QString>("reports"); // changes to LensReports; "silent": no answer at all
    QTest::addColumn<QString>("before");  // an action that succeeds first
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("reason");
    const auto row = [](const char* name, const char* reports, const char* before, const char* action,
                        const char* reason) {
        QTest::newRow(name) << QString(reports) << QString(before) << QString(action) << QString(reason);
    };
    row("position beyond the end", "", "", "moveTo 1024", "outside 0 to 1023");
    row("negative position", "", "", "moveTo -1", "outside 0 to 1023");
    row("no controller", "silent", "", "moveTo 10", "No controller is connected");
    row("no lens", "-Lens|-aRange|-zRange|-fRange|-IS|-Current|nolensfound", "", "moveTo 10", "sees no lens");
    row("no focus range yet", "-fRange", "", "moveTo 10", "focus range");
    row("relative before a position", "-Current", "", "moveBy 10", "focus position");
    row("a move under way", "", "moveTo 10", "moveTo 20", "under way");
    row("f-number not the lens's", "", "", "setFNumber 2", "not one of this lens's f-numbers");
    row("f-number between the scale's", "", "", "setFNumber 5.5", "not one of this lens's f-numbers");
    row("lens without aperture", "aRange=255,255", "", "setFNumber 5.6", "no aperture");
    row("zoom without power zoom", "ORVO RE-2=1.9.0", "", "setZoom 35", "no power zoom");
    row("zoom beyond the lens", "", "", "setZoom 70", "outside the lens's zoom range");
    row("stabiliser of firmware 1.7.4", "ORVO KX-MQTR=1.7.4", "", "setStabiliser 1", "cannot switch");
    row("lens without stabiliser", "IS=0", "", "setStabiliser 1", "no stabiliser");
    row("re-initialising during a move", "", "moveTo 10", "reinitialiseFocus", "under way");
}

void FocuserSessionTest::refusals()
{
    QFETCH(QString, reports);
    QFETCH(QString, before);
    QFETCH(QString, action);
    QFETCH(QString, reason);
    const bool silent = reports == QLatin1String("silent");
    Rig rig(silent ? QStringList() : reportsWith(reports));
    if (!silent)
        QVERIFY(rig.connect());
    QString why;
    if (!before.isEmpty())
        QVERIFY2(rig.act(before, &why), qPrintable(why));
    rig.drive.settle(100);
    const QStringList sentBefore = rig.controller.commands();

    QVERIFY(!rig.act(action, &why));
    QVERIFY2(why.contains(reason), qPrintable(why));
    rig.drive.settle(100);
    QCOMPARE(rig.controller.commands(), sentBefore);
}

void FocuserSessionTest::lensExtras_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("command");
    const auto row = [](const char* name, const char* action, const char* command) {
        QTest::newRow(name) << QString(action) << QString(command);
    };
    row("widest f-number", "setFNumber 3.5", "setAper=3.5");
    row("f-number inside", "setFNumber 5.6", "setAper=5.6");
    row("narrowest f-number", "setFNumber 22", "setAper=22");
    row("zoom", "setZoom 35", "setZoom=35");
    row("zoom at the tele end", "setZoom 55", "setZoom=55");
    row("stabiliser on", "setStabiliser 1", "enableIS=60");
    row("stabiliser off", "setStabiliser 0", "enableIS=0");
    row("focus re-initialisation", "reinitialiseFocus", "refRange");
    row("halt", "halt", "stopFocus");
}

void FocuserSessionTest::lensExtras()
{
    QFETCH(QString, action);
    QFETCH(QString, command);
    Rig rig(LensReports);
    QVERIFY(rig.connect());
    const int sentBefore = rig.controller.commands().size();
    QString why;
    QVERIFY2(rig.act(action, &why), qPrintable(why));
    rig.drive.settle(100);
    QCOMPARE(rig.controller.commands().mid(sentBefore), QStringList{command});
}

void FocuserSessionTest::lensAndIdentity()
{
    Rig rig(reportsWith(QStringLiteral("SN=15077|MAC=2-0-0-1-2-3|ISactive=1")));
    QVERIFY(rig.connect());
    const QVector<float> fNumbers = rig.session.fNumbers();
    QCOMPARE(fNumbers.first(), 3.5f);
    QCOMPARE(fNumbers.last(), 22.0f);
    QCOMPARE(fNumbers.size(), 17);
    QCOMPARE(rig.session.fNumber(), std::optional<float>(5.6f));
    QVERIFY(rig.session.hasPowerZoom());
    QCOMPARE(rig.session.zoomRange(), (std::optional<std::pair<int, int>>({18, 55})));
    QCOMPARE(rig.session.zoom(), std::optional<int>(20));
    QVERIFY(rig.session.hasStabiliser());
    QCOMPARE(rig.session.stabiliserActive(), std::optional<bool>(true));
    QCOMPARE(rig.session.lensDescription(), QStringLiteral("EF-S18-55mm f/3.5-5.6 IS"));
    QCOMPARE(rig.session.identityDescription(),
             QStringLiteral("ORVO KX-MQTR, firmware 1.9.0, S/N 15077, MAC 2-0-0-1-2-3"));
}

// A client is told of what it sees change, and not of every ping's answer.
void FocuserSessionTest::changesAreNotified()
{
    Rig rig(LensReports);
    QVERIFY(rig.connect());
    QVERIFY(rig.changes > 0);
    rig.changes = 0;
    rig.drive.settle(3000);
    QVERIFY(rig.controller.count(QStringLiteral("ping")) >= 4);
    QCOMPARE(rig.changes, 0);

    rig.controller.sendTo(rig.link.localPort(), "Focus=500");
    QVERIFY(rig.drive.until([&] { return rig.session.position() == 400; }, 1000));
    QCOMPARE(rig.changes, 1);
}

LENSDESK_TEST_MAIN(FocuserSessionTest)
#include "tst_focusersession.moc"
