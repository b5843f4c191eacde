// The widget-free rules of the connect dialog: the pick patterns, the
// answers a search accepts, the interfaces and addresses it probes from, and
// the row texts and icons of its result tree. Its address check is
// DottedQuad's, tested with it.
#include "TestMain.h"

#include "discovery/PickPattern.h"
#include "discovery/SearchResults.h"

#include <QHostAddress>
#include <QtTest>

using SearchResults::Responder;

class DiscoveryRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void singleClickPick_data();
    void singleClickPick();
    void doubleClickPick_data();
    void doubleClickPick();
    void longRowsArePickedQuickly();
    void answers_data();
    void answers();
    void interfaceFilter_data();
    void interfaceFilter();
    void addressFilter_data();
    void addressFilter();
    void rowTexts_data();
    void rowTexts();
};

void DiscoveryRulesTest::singleClickPick_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("picked"); // null: no match
    dataRow("controller row has no KX2", "ORVO RE-2: [192.168.1.100]  f/w:1.7.4", QString());
    dataRow("interface row has no KX2", "eth0 [10.0.0.1]", QString());
    dataRow("address after KX2", "ORVO KX2: [192.168.1.100]  f/w:1.7.4", "192.168.1.100");
    dataRow("address before KX2 only", "10.0.0.1 KX2 f/w:1.7.4", QString());
    dataRow("address touching KX2", "KX2192.168.1.1", "192.168.1.1");
    dataRow("last run after KX2", "KX2 [1.2.3.4,5.6.7.8]", "5.6.7.8");
    dataRow("first KX2 counts", "KX2 10.0.0.1 KX2", "10.0.0.1");
    dataRow("empty", "", QString());
}

void DiscoveryRulesTest::singleClickPick()
{
    QFETCH(QString, row);
    QFETCH(QString, picked);
    const QString result = PickPattern::singleClickAddress(row);
    QCOMPARE(result.isNull(), picked.isNull());
    QCOMPARE(result, picked);
}

void DiscoveryRulesTest::doubleClickPick_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("picked");
    dataRow("controller row", "ORVO RE-2: [192.168.1.100]  f/w:1.7.4", "192.168.1.100");
    dataRow("power-zoom controller row", "ORVO KX-MQTR: [10.231.2.2]  f/w:2.0.1", "10.231.2.2");
    dataRow("controller row without version", "ORVO DuvudER: [10.0.0.9]  f/w:", "10.0.0.9");
    dataRow("interface row, one address", "eth0 [10.231.1.1]", "10.231.1.1");
    dataRow("interface row takes the last address", "eth0 [10.231.1.1,10.231.3.1]", "10.231.3.1");
    dataRow("interface row without address", "eth0 []", QString());
    dataRow("earliest start of the last run", "12345.6.7.8", "345.6.7.8");
    dataRow("any character between groups", "x 1a2b3c4 y", "1a2b3c4");
    dataRow("digits as separators", "1921681100", "1921681100");
    dataRow("last run ends last", "1.2.3.4 and 5.6.7.8!", "5.6.7.8");
    dataRow("overlapping runs", "1.2.3.4.5", "2.3.4.5");
    dataRow("firmware version alone", "f/w:1.7.4", QString());
    dataRow("line break in the text", "ORVO RE-2\n: [10.1.2.3]  f/w:1", "10.1.2.3");
    dataRow("non-ASCII digits are no digits", QString::fromUtf8("\xd9\xa1.\xd9\xa2.\xd9\xa3.\xd9\xa4"), QString());
    dataRow("empty", "", QString());
}

void DiscoveryRulesTest::doubleClickPick()
{
    QFETCH(QString, row);
    QFETCH(QString, picked);
    const QString result = PickPattern::doubleClickAddress(row);
    QCOMPARE(result.isNull(), picked.isNull());
    QCOMPARE(result, picked);
}

void DiscoveryRulesTest::longRowsArePickedQuickly()
{
    // A product name can be as long as a datagram; the pick stays linear.
    const QString row = QString(65000, QLatin1Char('9')) + QStringLiteral(": [10.0.0.1]  f/w:");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(PickPattern::doubleClickAddress(row), QStringLiteral("10.0.0.1"));
    QCOMPARE(PickPattern::singleClickAddress(QString(65000, QLatin1Char('x'))), QString());
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

void DiscoveryRulesTest::answers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isAnswer");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("product");
    dataRow("RE-2", "ORVO RE-2=1.8.3", true, "1.8.3", "ORVO RE-2");
    dataRow("power zoom", "ORVO KX-MQTR=2.0.1", true, "2.0.1", "ORVO KX-MQTR");
    dataRow("DuvudER", "ORVO DuvudER=1.0", true, "1.0", "ORVO DuvudER");
    dataRow("any blank between the words", "ORVO\tRE-2=1.8.3", true, "1.8.3", "ORVO\tRE-2");
    dataRow("model inside the text", "x ORVO RE-2 y=3", true, "3", "x ORVO RE-2 y");
    dataRow("version ends at the next =", "ORVO RE-2=1.8=junk", true, "1.8", "ORVO RE-2");
    dataRow("no = gives an empty version", "ORVO RE-2", true, "", "ORVO RE-2");
    dataRow("model after the =", "name=ORVO RE-2", true, "ORVO RE-2", "name");
    dataRow("case matters", "orvo re-2=1.8.3", false, "", "");
    dataRow("unknown model", "ORVO RE-3=1.8.3", false, "", "");
    dataRow("the probe itself", "ver", false, "", "");
    dataRow("empty", "", false, "", "");
}

void DiscoveryRulesTest::answers()
{
    QFETCH(QString, text);
    QFETCH(bool, isAnswer);
    QFETCH(QString, version);
    QFETCH(QString, product);
    const auto answer = SearchResults::parseAnswer(QHostAddress(QStringLiteral("10.231.2.2")), text);
    QCOMPARE(answer.has_value(), isAnswer);
    if (answer) {
        QCOMPARE(answer->address, QStringLiteral("10.231.2.2"));
        QCOMPARE(answer->version, version);
        QCOMPARE(answer->product, product);
    }
}

void DiscoveryRulesTest::interfaceFilter_data()
{
    using F = QNetworkInterface;
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("kept");
    const int upRunning = F::IsUp | F::IsRunning | F::CanBroadcast;
    QTest::newRow("ethernet") << upRunning << true << "eth0" << true;
    QTest::newRow("down") << int(F::IsRunning) << true << "eth0" << false;
    QTest::newRow("not running") << int(F::IsUp) << true << "eth0" << false;
    QTest::newRow("invalid") << upRunning << false << "eth0" << false;
    QTest::newRow("loopback") << (upRunning | F::IsLoopBack) << true << "lo" << false;
    QTest::newRow("point-to-point") << (upRunning | F::IsPointToPoint) << true << "ppp0" << false;
    QTest::newRow("Filter") << upRunning << true << "LAN-WFP Native MAC Layer LightWeight Filter-0000" << false;
    QTest::newRow("filter") << upRunning << true << "npcap filter" << false;
    QTest::newRow("Driver") << upRunning << true << "Miniport Driver" << false;
    QTest::newRow("QoS") << upRunning << true << "QoS Packet Scheduler" << false;
    QTest::newRow("asterisk") << upRunning << true << "Local Area Connection* 2" << false;
    QTest::newRow("driver in lower case is kept") << upRunning << true << "mydriver" << true;
    QTest::newRow("qos in lower case is kept") << upRunning << true << "qos0" << true;
}

void DiscoveryRulesTest::interfaceFilter()
{
    QFETCH(int, flags);
    QFETCH(bool, valid);
    QFETCH(QString, name);
    QFETCH(bool, kept);
    QCOMPARE(SearchResults::keepsInterface(QNetworkInterface::InterfaceFlags(flags), valid, name), kept);
}

void DiscoveryRulesTest::addressFilter_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("kept");
    QTest::newRow("private IPv4") << "10.231.1.1" << true;
    QTest::newRow("other loopback address") << "127.0.0.2" << true;
    QTest::newRow("IPv4 loopback") << "127.0.0.1" << false;
    QTest::newRow("zero") << "0.0.0.0" << false;
    QTest::newRow("IPv6") << "fe80::1" << false;
    QTest::newRow("IPv6 loopback") << "::1" << false;
    QTest::newRow("null") << "" << false;
}

void DiscoveryRulesTest::addressFilter()
{
    QFETCH(QString, address);
    QFETCH(bool, kept);
    QCOMPARE(SearchResults::keepsAddress(QHostAddress(address)), kept);
}

void DiscoveryRulesTest::rowTexts_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("icon");
    const QString general = QStringLiteral(":/connect/oie_transparent.png");
    const QString powerZoom = QStringLiteral(":/connect/zoom2.png");
    dataRow("RE-2", "192.168.1.100", "1.7.4", "ORVO RE-2", "ORVO RE-2: [192.168.1.100]  f/w:1.7.4", general);
    dataRow("power zoom", "10.0.0.5", "2.0.1", "ORVO KX-MQTR", "ORVO KX-MQTR: [10.0.0.5]  f/w:2.0.1", powerZoom);
    dataRow("no version", "10.0.0.6", "", "ORVO DuvudER", "ORVO DuvudER: [10.0.0.6]  f/w:", general);
    dataRow("place markers stay text", "10.0.0.7", "%1", "ORVO RE-2 %2", "ORVO RE-2 %2: [10.0.0.7]  f/w:%1", general);
}

void DiscoveryRulesTest::rowTexts()
{
    QFETCH(QString, address);
    QFETCH(QString, version);
    QFETCH(QString, product);
    QFETCH(QString, text);
    QFETCH(QString, icon);
    const Responder responder{address, version, product};
    QCOMPARE(SearchResults::controllerRowText(responder), text);
    QCOMPARE(SearchResults::controllerIconPath(responder), icon);
    QVERIFY(QFile::exists(icon));

    SearchResults::InterfaceResult two{QStringLiteral("eth0"), {"10.0.0.1", "10.0.1.1"}, {}};
    QCOMPARE(SearchResults::interfaceRowText(two), QStringLiteral("eth0 [10.0.0.1,10.0.1.1]"));
    SearchResults::InterfaceResult none{QStringLiteral("eth1"), {}, {}};
    QCOMPARE(SearchResults::interfaceRowText(none), QStringLiteral("eth1 []"));
    QVERIFY(QFile::exists(SearchResults::interfaceIconPath()));
}

LENSDESK_TEST_MAIN(DiscoveryRulesTest)
#include "tst_discoveryrules.moc"
