#include "TestMain.h"

#include "base/DisplayScale.h"

#include <QtTest>

class DisplayScaleTest : public QObject
{
    Q_OBJECT

private slots:
    void decide_data();
    void decide();
    void environmentText_data();
    void environmentText();
    void fontFloor_data();
    void fontFloor();
};

void DisplayScaleTest::decide_data()
{
    QTest::addColumn<bool>("scaleFactorSet");
    QTest::addColumn<int>("textScale");  // -1: could not be read
    QTest::addColumn<QRect>("workArea"); // null: could not be read
    QTest::addColumn<int>("dpi");
    QTest::addColumn<double>("expected");

    const QRect fullHd(0, 0, 1920, 1040);
    dataRow("user set QT_SCALE_FACTOR", true, 150, fullHd, 96, 1.0);
    dataRow("text scale 100 is no text scale", false, 100, fullHd, 96, 1.0);
    dataRow("text scale 226 is out of range", false, 226, fullHd, 96, 1.0);
    dataRow("text scale absent", false, -1, fullHd, 96, 1.0);
    dataRow("150 on 1920x1040 at 96 dpi", false, 150, fullHd, 96, 1.5);
    const double widthRatio = 1024.0 * 96 / 144 / 480;
    dataRow("225 on 1024x728 at 144 dpi: width ratio wins", false, 225, QRect(0, 0, 1024, 728), 144, widthRatio);
    dataRow("tiny work area clamps to 1.0", false, 200, QRect(0, 0, 400, 300), 96, 1.0);
    dataRow("no work area: the text scale alone", false, 175, QRect(), 96, 1.75);
    dataRow("unknown dpi counts as 96", false, 150, fullHd, 0, 1.5);
    dataRow("work area offset from the origin", false, 225, QRect(100, 50, 960, 640), 96, 2.0);
    dataRow("101 is the smallest text scale", false, 101, fullHd, 96, 1.01);
}

void DisplayScaleTest::decide()
{
    QFETCH(bool, scaleFactorSet);
    QFETCH(int, textScale);
    QFETCH(QRect, workArea);
    QFETCH(int, dpi);
    QFETCH(double, expected);

    DisplayScale::Inputs in;
    in.scaleFactorSet = scaleFactorSet;
    if (textScale >= 0)
        in.textScalePercent = textScale;
    if (!workArea.isNull())
        in.workArea = workArea;
    in.verticalDpi = dpi;
    QVERIFY2(qAbs(DisplayScale::decide(in) - expected) < 1e-9,
             qPrintable(QString::number(DisplayScale::decide(in), 'g', 10)));
}

void DisplayScaleTest::environmentText_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("1.5") << 1.5 << QByteArray("1.50");
    QTest::newRow("unrounded 1.4222") << 1024.0 * 96 / 144 / 480 << QByteArray("1.42");
    QTest::newRow("2.25") << 2.25 << QByteArray("2.25");
}

void DisplayScaleTest::environmentText()
{
    QFETCH(double, scale);
    QFETCH(QByteArray, text);
    QCOMPARE(DisplayScale::environmentText(scale), text);
}

void DisplayScaleTest::fontFloor_data()
{
    QTest::addColumn<double>("pointSize");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("expected");
    dataRow("8 pt at 2.0 stops at the 7 pt floor", 8.0, 2.0, 7.0);
    dataRow("12 pt at 1.5", 12.0, 1.5, 8.0);
    dataRow("divided by the unrounded scale", 10.0, 1024.0 * 96 / 144 / 480, 10.0 / (1024.0 * 96 / 144 / 480));
}

void DisplayScaleTest::fontFloor()
{
    QFETCH(double, pointSize);
    QFETCH(double, scale);
    QFETCH(double, expected);
    QCOMPARE(DisplayScale::compensatedPointSize(pointSize, scale), expected);
}

LENSDESK_TEST_MAIN(DisplayScaleTest)
#include "tst_displayscale.moc"
