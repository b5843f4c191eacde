#include "NetnsLab.h"
#include "Skip.h"
#include "TestMain.h"

#include "platform/Platform.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QtTest>

#include <cstdio>

namespace {

constexpr int CommandTimeoutMs = 10000;

// With this argument the test program empties the neighbour cache of the
// network namespace it runs in, prints the result and ends (the test starts
// it inside namespaces of its own).
constexpr const char* FlushNeighboursArgument = "--flush-neighbours";

int flushNeighbours(int, char**)
{
    const Platform::AddressCacheFlush flush = Platform::flushAddressResolutionCache();
    std::printf("%d%s\n", flush.listingError, flush.refused ? " refused" : "");
    return 0;
}

// Neighbour entries of every kind on both of the panel namespace's
// adapters: a permanent and a stale one on link a, a reachable one on link z.
const char* const Neighbours[] = {"10.231.1.2 ", "10.231.1.7 ", "10.231.2.2 "};

bool addNeighbours(NetnsLab& lab, QString* error)
{
    QByteArray ignored;
    const QStringList entries[] = {
        {"neigh", "replace", "10.231.1.2", "lladdr", "02:00:00:00:01:02", "dev", lab.linkA, "nud", "permanent"},
        {"neigh", "replace", "10.231.1.7", "lladdr", "02:00:00:00:01:07", "dev", lab.linkA, "nud", "stale"},
        {"neigh", "replace", "10.231.2.2", "lladdr", "02:00:00:00:02:02", "dev", lab.linkZ, "nud", "reachable"},
    };
    for (const QStringList& entry : entries) {
        if (!lab.runInPanel(QStringLiteral("ip"), entry, CommandTimeoutMs, &ignored, error))
            return false;
    }
    return true;
}

QString neighbours(NetnsLab& lab)
{
    QByteArray output;
    QString error;
    if (!lab.runInPanel(QStringLiteral("ip"), {"-4", "neigh", "show"}, CommandTimeoutMs, &output, &error))
        return error;
    return QString::fromLocal8Bit(output).trimmed();
}

// Runs this program in flush mode inside the panel namespace, optionally as
// an unprivileged user; returns what it printed, or the failure.
QString flushInside(NetnsLab& lab, bool unprivileged)
{
    const QString self = QCoreApplication::applicationFilePath();
    const QString flush = QLatin1String(FlushNeighboursArgument);
    QByteArray output;
    QString error;
    const bool ran = unprivileged
        ? lab.runInPanel(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups", self, flush},
                         CommandTimeoutMs, &output, &error)
        : lab.runInPanel(self, {flush}, CommandTimeoutMs, &output, &error);
    return ran ? QString::fromLocal8Bit(output).trimmed() : error;
}

} // namespace

// The neighbour (ARP) cache flush after an address change, run only inside
// network namespaces that the test creates.
class NeighbourFlushTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void flushEmptiesEveryAdapter();
    void withoutPrivilegeNothingBreaks();
};

void NeighbourFlushTest::initTestCase() { SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason()); }

void NeighbourFlushTest::flushEmptiesEveryAdapter()
{
    NetnsLab lab;
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));
    QVERIFY2(addNeighbours(lab, &error), qPrintable(error));
    const QString before = neighbours(lab);
    for (const char* address : Neighbours)
        QVERIFY2(before.contains(QLatin1String(address)), qPrintable(before));

    QCOMPARE(flushInside(lab, false), QStringLiteral("0"));
    QCOMPARE(neighbours(lab), QString());

    // A second flush of an empty cache is just as fine.
    QCOMPARE(flushInside(lab, false), QStringLiteral("0"));
}

void NeighbourFlushTest::withoutPrivilegeNothingBreaks()
{
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv is not installed");
    NetnsLab lab;
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));
    QVERIFY2(addNeighbours(lab, &error), qPrintable(error));

    // The adapters can be listed without privilege; the removals are refused,
    // which the caller learns.
    QCOMPARE(flushInside(lab, true), QStringLiteral("0 refused"));
    const QString after = neighbours(lab);
    for (const char* address : Neighbours)
        QVERIFY2(after.contains(QLatin1String(address)), qPrintable(after));
}

LENSDESK_TEST_MAIN_WITH_CHILD(NeighbourFlushTest, FlushNeighboursArgument, flushNeighbours)

#include "tst_neighbourflush.moc"
