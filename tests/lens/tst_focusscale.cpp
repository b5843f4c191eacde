#include "TestMain.h"

#include "lens/FocusScale.h"

#include <QtTest>

#include <limits>

// The mapping of focuser positions onto the lens's focus counts, shared by
// the INDI driver and the Alpaca server.
class FocusScaleTest : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void nothingKnownBeforeARange();
};

void FocusScaleTest::mapping_data()
{
    // The focus range as "fRange=" reports it; a client position and the
    // count it becomes; a reported count and the position it shows as.
    QTest::addColumn<int>("oneEnd");
    QTest::addColumn<int>("otherEnd");
    QTest::addColumn<int>("maxStep");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("reportedCount");
    QTest::addColumn<int>("shownPosition");
    const auto row = [](const char* name, int oneEnd, int otherEnd, int maxStep, int position, int count,
                        int reportedCount, int shownPosition) {
        QTest::newRow(name) << oneEnd << otherEnd << maxStep << position << count << reportedCount << shownPosition;
    };
    row("ends from 0", 0, 1023, 1023, 500, 500, 812, 812);
    row("ends from 0, the far end", 0, 1023, 1023, 0, 0, 0, 0);
    row("ends from 0, the near end", 0, 1023, 1023, 1023, 1023, 1023, 1023);
    row("shifted ends", 100, 1123, 1023, 500, 600, 600, 500);
    row("ends in the other order", 1123, 100, 1023, 500, 600, 600, 500);
    row("negative ends", -500, 500, 1000, 250, -250, 0, 500);
    row("position beyond the travel", 100, 1123, 1023, 2000, 1123, 1123, 1023);
    row("position below 0", 100, 1123, 1023, -5, 100, 100, 0);
    row("count reported beyond the travel", 100, 1123, 1023, 0, 100, 5000, 1023);
    row("count reported below the travel", 100, 1123, 1023, 0, 100, 7, 0);
    row("a single count", 300, 300, 0, 10, 300, 301, 0);
    const int least = std::numeric_limits<int>::min();
    const int most = std::numeric_limits<int>::max();
    // Counts come from the network: the span is cut, never wrapped.
    row("extreme ends", least, most, most, most, least + most, most, most);
}

void FocusScaleTest::mapping()
{
    QFETCH(int, oneEnd);
    QFETCH(int, otherEnd);
    QFETCH(int, position);
    QFETCH(int, reportedCount);
    const FocusScale scale(oneEnd, otherEnd);
    QVERIFY(scale.isKnown());
    QTEST(scale.maxStep(), "maxStep");
    QTEST(scale.countFor(position), "count");
    QTEST(scale.positionOf(reportedCount), "shownPosition");
    QCOMPARE(scale.contains(position), position >= 0 && position <= scale.maxStep());
    // Every position there and back.
    QCOMPARE(scale.positionOf(scale.countFor(scale.maxStep() / 2)), scale.maxStep() / 2);
}

void FocusScaleTest::nothingKnownBeforeARange()
{
    const FocusScale scale;
    QVERIFY(!scale.isKnown());
    QCOMPARE(scale.maxStep(), 0);
    QVERIFY(!scale.contains(0));
}

LENSDESK_TEST_MAIN(FocusScaleTest)
#include "tst_focusscale.moc"
