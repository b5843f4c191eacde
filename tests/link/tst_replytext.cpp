#include "TestMain.h"

#include "link/ReplyText.h"

#include <QtTest>

// The text rules of the controller's answers: a datagram's bytes as text,
// the value after a key, and numbers that read as 0 when they are none.
class ReplyTextTest : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void valueOfKey_data();
    void valueOfKey();
    void numbers_data();
    void numbers();
};

void ReplyTextTest::decode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QByteArray("Zoom=55") << QStringLiteral("Zoom=55");
    QTest::newRow("cut at the first NUL") << QByteArray("NAME=cam\0\0\0", 11) << QStringLiteral("NAME=cam");
    QTest::newRow("UTF-8") << QByteArray("VENDOR=\xc3\xa9") << QStringLiteral("VENDOR=\u00e9");
    QTest::newRow("invalid UTF-8 does not throw") << QByteArray("Lens=\xff\xfe") << QStringLiteral("Lens=\ufffd\ufffd");
    QTest::newRow("empty") << QByteArray() << QString();
}

void ReplyTextTest::decode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, text);
    QCOMPARE(ReplyText::decode(datagram), text);
}

void ReplyTextTest::valueOfKey_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    dataRow("one value", "HW=3", "3");
    dataRow("up to the second =", "SN=15001=extra", "15001");
    dataRow("no =", "zoomDone", "");
    dataRow("empty value", "IP=", "");
    dataRow("list", "zRange=18,55", "18,55");
}

void ReplyTextTest::valueOfKey()
{
    QFETCH(QString, text);
    QFETCH(QString, value);
    QCOMPARE(ReplyText::valueOfKey(text), value);
}

void ReplyTextTest::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<float>("real");
    QTest::newRow("integer") << "1200" << 1200 << 1200.0f;
    QTest::newRow("negative") << "-14" << -14 << -14.0f;
    QTest::newRow("decimal") << "5.6" << 0 << 5.6f;
    QTest::newRow("not a number") << "abc" << 0 << 0.0f;
    QTest::newRow("empty") << "" << 0 << 0.0f;
    QTest::newRow("beyond 32 bits") << "99999999999" << 0 << 99999999999.0f;
    QTest::newRow("beyond float") << "1e99" << 0 << 0.0f;
    QTest::newRow("nan") << "nan" << 0 << 0.0f;
}

void ReplyTextTest::numbers()
{
    QFETCH(QString, text);
    QFETCH(int, integer);
    QFETCH(float, real);
    QCOMPARE(ReplyText::toInt(text), integer);
    QCOMPARE(ReplyText::toFloat(text), real);
}

LENSDESK_TEST_MAIN(ReplyTextTest)
#include "tst_replytext.moc"
