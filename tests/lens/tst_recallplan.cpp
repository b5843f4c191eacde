#include "TestMain.h"

#include "lens/LensWaits.h"
#include "lens/MoveConfirmation.h"
#include "lens/RecallPlan.h"

#include <QtTest>

using Await = MoveConfirmation::Await;
Q_DECLARE_METATYPE(Await)

// The steps of a set-point recall and the replies that end each wait, as the
// panel and lensdesk-cli both use them: no window, no network.
class RecallPlanTest : public QObject
{
    Q_OBJECT

private slots:
    void waitEnds_data();
    void waitEnds();
    void steps_data();
    void steps();
    void fitsLens_data();
    void fitsLens();
};

namespace {

// One row: what is awaited, the controller's replies since the command, and
// whether the wait is over and a zoom move may still have held axes to
// confirm.
void row(const char* name, Await await, const QStringList& replies, bool complete, bool heldOwed = false)
{
    QTest::newRow(name) << await << replies << complete << heldOwed;
}

} // namespace

void RecallPlanTest::waitEnds_data()
{
    QTest::addColumn<Await>("await");
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("heldOwed");
    const Await zoom = Await::ZoomSettled;
    row("zoom: nothing yet", zoom, {}, false);
    row("zoom: positions on the way", zoom, {"Zoom=30", "Iris=4", "Focus=575", "Current=30,575,4"}, false);
    row("zoom: zoomDone alone", zoom, {"Zoom=35", "zoomDone"}, true, true);
    row("zoom: zoomDone, then the held axes", zoom, {"zoomDone", "focusDone", "irisDone"}, true);
    row("zoom: held axes without zoomDone", zoom, {"focusDone", "irisDone"}, true);
    // A position report comes while the drive still moves.
    row("zoom: focusDone and an aperture report", zoom, {"Iris=4.5", "focusDone"}, false);
    row("zoom: focusDone alone", zoom, {"focusDone"}, false);
    row("zoom: irisDone alone", zoom, {"irisDone"}, false);
    row("zoom: refused", zoom, {"errorRange: zoom 90 mm outside 18-55 mm"}, true);
    row("zoom: unreadable", zoom, {"errorParam: zoom position is not a number"}, true);
    row("zoom: zoomDone, then an error", zoom, {"zoomDone", "errorFocus: focus time-out"}, true);
    const Await focus = Await::FocusDone;
    row("focus: focusDone", focus, {"Focus=500", "focusDone"}, true);
    row("focus: positions only", focus, {"Focus=500", "Current=35,500,4"}, false);
    row("focus: zoom and iris confirmations are not focus", focus, {"zoomDone", "irisDone"}, false);
    row("focus: time-out", focus, {"errorFocus: focus time-out"}, true);
    const Await iris = Await::IrisDone;
    row("aperture: irisDone", iris, {"irisDone"}, true);
    row("aperture: an aperture report", iris, {"Iris=8"}, false);
    row("aperture: focusDone is not iris", iris, {"focusDone"}, false);
    row("aperture: refused", iris, {"errorParam: aperture is not a number"}, true);
}

void RecallPlanTest::waitEnds()
{
    QFETCH(Await, await);
    QFETCH(QStringList, replies);
    QFETCH(bool, complete);
    QFETCH(bool, heldOwed);
    MoveConfirmation confirmation(await);
    for (const QString& reply : replies) {
        for (const ReplyFact& fact : ReplyReader::read(reply))
            confirmation.note(fact.kind);
    }
    QCOMPARE(confirmation.isComplete(), complete);
    QCOMPARE(confirmation.mayConfirmHeldAxes(), heldOwed);
    QCOMPARE(confirmation.endedWithError(), replies.filter(QRegularExpression("^error")).size() > 0);
}

void RecallPlanTest::steps_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("powerZoom");
    QTest::addColumn<QVector<int>>("zoomLimits"); // wide, narrow
    QTest::addColumn<QStringList>("commands");
    const QVector<int> unmeasured{0, 0};
    const QStringList all{"setZoom=35", "setFocus2=500", "setAper=5.6"};
    QTest::newRow("power zoom") << "35,500,5.6" << true << unmeasured << all;
    QTest::newRow("zoom turned by hand") << "35,500,5.6" << false << unmeasured << QStringList(all.mid(1));
    QTest::newRow("inside measured limits") << "35,500,5.6" << true << QVector<int>{24, 70} << all;
    // A prime lens measured at one focal length: nothing to zoom.
    QTest::newRow("at both limits") << "35,500,5.6" << true << QVector<int>{35, 35} << QStringList(all.mid(1));
    // A hand-edited zoom goes out as the number it reads as, shortest.
    QTest::newRow("hand-edited zoom") << "035,500,5.6" << true << unmeasured << all;
}

void RecallPlanTest::steps()
{
    QFETCH(QString, stored);
    QFETCH(bool, powerZoom);
    QFETCH(QVector<int>, zoomLimits);
    QFETCH(QStringList, commands);
    const RecallPlan plan(ProfileText::parse(stored), powerZoom, zoomLimits.at(0), zoomLimits.at(1));
    QStringList sent;
    if (plan.zoom()) {
        sent << plan.zoom()->command;
        QCOMPARE(plan.zoom()->await, Await::ZoomSettled);
        QCOMPARE(plan.zoom()->pauseBeforeMs, LensWaits::RecallBeforeZoomMs);
        QCOMPARE(plan.zoom()->boundMs, LensWaits::MoveConfirmTimeoutMs);
        // Focus and aperture follow a zoom move never confirmed.
        QVERIFY(plan.zoom()->followedIfUnconfirmed);
    }
    sent << plan.focus().command << plan.aperture().command;
    QCOMPARE(sent, commands);
    QCOMPARE(plan.focus().await, Await::FocusDone);
    QCOMPARE(plan.focus().pauseBeforeMs, 0);
    // A focus move never confirmed ends the recall.
    QVERIFY(!plan.focus().followedIfUnconfirmed);
    QCOMPARE(plan.aperture().await, Await::IrisDone);
    QCOMPARE(plan.aperture().pauseBeforeMs, LensWaits::RecallBeforeApertureMs);
    QStringList inOrder;
    for (const RecallPlan::Step& step : plan.steps())
        inOrder << step.command;
    QCOMPARE(inOrder, commands);
}

void RecallPlanTest::fitsLens_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("zoomWide");
    QTest::addColumn<int>("zoomTele");
    QTest::addColumn<bool>("fits");
    QTest::newRow("inside the zoom range") << "35,500,4" << 24 << 70 << true;
    QTest::newRow("at the wide end") << "24,500,4" << 24 << 70 << true;
    QTest::newRow("at the tele end") << "70,500,4" << 24 << 70 << true;
    QTest::newRow("another lens") << "35,500,4" << 70 << 200 << false;
    QTest::newRow("prime lens, its focal length") << "50,500,1.8" << 50 << 50 << true;
    QTest::newRow("prime lens, another focal length") << "35,500,1.8" << 50 << 50 << false;
}

void RecallPlanTest::fitsLens()
{
    QFETCH(QString, stored);
    QFETCH(int, zoomWide);
    QFETCH(int, zoomTele);
    QTEST(RecallPlan::fitsLens(ProfileText::parse(stored), zoomWide, zoomTele), "fits");
}

LENSDESK_TEST_MAIN(RecallPlanTest)
#include "tst_recallplan.moc"
