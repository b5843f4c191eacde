#include "TestMain.h"

#include "link/DottedQuad.h"
#include "link/TargetAddress.h"

#include <QtTest>

// Which addresses can stand for one controller: unicast addresses can, the
// addresses that reach no host or many hosts cannot.
class TargetAddressTest : public QObject
{
    Q_OBJECT

private slots:
    void problem_data();
    void problem();
};

void TargetAddressTest::problem_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("problem");
    dataRow("private host", "192.168.0.10", "");
    dataRow("host ending in 255 of a /16 elsewhere", "172.16.3.255", "");
    dataRow("loopback host", "127.0.0.1", "");
    dataRow("this host", "0.0.0.0", "this host");
    dataRow("limited broadcast", "255.255.255.255", "broadcast");
    dataRow("first multicast", "224.0.0.1", "multicast");
    dataRow("last multicast", "239.255.255.255", "multicast");
    dataRow("reserved", "240.0.0.1", "reserved");
    // Every Linux host has 127.0.0.1/8 on its loopback adapter.
    dataRow("broadcast of the loopback network", "127.255.255.255", "network of this host");
}

void TargetAddressTest::problem()
{
    QFETCH(QString, address);
    QFETCH(QString, problem);
    const QString found = TargetAddress::problem(DottedQuad::parse(address));
    if (problem.isEmpty())
        QCOMPARE(found, QString());
    else
        QVERIFY2(found.contains(problem), qPrintable(found));
}

LENSDESK_TEST_MAIN(TargetAddressTest)
#include "tst_targetaddress.moc"
