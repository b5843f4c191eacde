#include "LoopbackAddress.h"
#include "TestMain.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QtTest>

#include <cstdio>

namespace {

constexpr const char* PrintArgument = "--print-host";

// The child: prints its own first host, as a second test program running
// at the same time would use it.
int printHost(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    std::printf("%s\n", qPrintable(LoopbackAddress::host(1).toString()));
    return 0;
}

} // namespace

// The loopback addresses each test process binds its peers on: two test
// programs running at once (two checkouts' suites on one machine) must
// never get the same ones, and none may be an address the host itself uses.
class LoopbackAddressTest : public QObject
{
    Q_OBJECT

private slots:
    void hostsLieInTheProcessNetwork_data();
    void hostsLieInTheProcessNetwork();
    void handedOutAddressesDiffer();
    void anotherProcessGetsAnotherNetwork();
};

void LoopbackAddressTest::hostsLieInTheProcessNetwork_data()
{
    QTest::addColumn<int>("lastOctet");
    QTest::newRow("first") << 1;
    QTest::newRow("first handed out") << LoopbackAddress::FirstHandedOut;
    QTest::newRow("last handed out") << LoopbackAddress::LastHandedOut;
    QTest::newRow("last") << 254;
}

void LoopbackAddressTest::hostsLieInTheProcessNetwork()
{
    QFETCH(int, lastOctet);
    const quint32 address = LoopbackAddress::host(lastOctet).toIPv4Address();
    QCOMPARE(address >> 24, 127u);
    QCOMPARE(int(address & 0xff), lastOctet);
    // Not 127.0.x.y: the host's own 127.0.0.1 and 127.0.1.1 live there.
    QVERIFY2(((address >> 16) & 0xff) != 0, qPrintable(LoopbackAddress::host(lastOctet).toString()));
    QCOMPARE(address & 0xffffff00, LoopbackAddress::host(1).toIPv4Address() & 0xffffff00);
}

void LoopbackAddressTest::handedOutAddressesDiffer()
{
    const int span = LoopbackAddress::LastHandedOut - LoopbackAddress::FirstHandedOut + 1;
    QSet<quint32> seen;
    for (int i = 0; i < span; ++i) {
        const quint32 address = LoopbackAddress::next().toIPv4Address();
        QVERIFY(int(address & 0xff) >= LoopbackAddress::FirstHandedOut);
        QVERIFY(int(address & 0xff) <= LoopbackAddress::LastHandedOut);
        seen.insert(address);
    }
    QCOMPARE(seen.size(), span);
}

void LoopbackAddressTest::anotherProcessGetsAnotherNetwork()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(PrintArgument)});
    QVERIFY(child.waitForFinished(TestWaits::processStart()));
    QCOMPARE(child.exitCode(), 0);
    const QHostAddress theirs(QString::fromLatin1(child.readAllStandardOutput().trimmed()));
    QVERIFY(!theirs.isNull());
    QVERIFY2((theirs.toIPv4Address() & 0xffffff00) != (LoopbackAddress::host(1).toIPv4Address() & 0xffffff00),
             qPrintable(theirs.toString()));
}

LENSDESK_TEST_MAIN_WITH_CHILD(LoopbackAddressTest, PrintArgument, printHost)

#include "tst_loopbackaddress.moc"
