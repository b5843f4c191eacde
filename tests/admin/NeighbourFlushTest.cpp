#include "AdminTests.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace {
constexpr int CommandTimeoutMs = 10000;

struct CommandResult
{
    int exitCode = -1;
    QString output;
};

CommandResult runCommand(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    CommandResult result;
    if (!process.waitForFinished(CommandTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return result;
}

bool ip(const QStringList& arguments)
{
    return runCommand(QStringLiteral("ip"), arguments).exitCode == 0;
}

// Two network namespaces of the test's own, joined by two veth pairs, so that
// the "host" namespace has two adapters with neighbour entries. Removed again
// whatever way the test ends.
class TestNetwork
{
public:
    TestNetwork()
        : host(QStringLiteral("ldadm%1h").arg(::getpid()))
        , device(QStringLiteral("ldadm%1d").arg(::getpid()))
    {
    }
    ~TestNetwork()
    {
        ip({"netns", "del", host});
        ip({"netns", "del", device});
    }

    bool build()
    {
        if (!ip({"netns", "add", host}) || !ip({"netns", "add", device}))
            return false;
        const struct
        {
            const char* hostEnd;
            const char* deviceEnd;
            const char* hostAddress;
            const char* deviceAddress;
        } links[] = {{"va0", "va1", "10.231.41.1/24", "10.231.41.2/24"},
                     {"vb0", "vb1", "10.231.42.1/24", "10.231.42.2/24"}};
        for (const auto& link : links) {
            if (!ip({"-n", host, "link", "add", link.hostEnd, "type", "veth", "peer", "name", link.deviceEnd, "netns",
                     device})
                || !ip({"-n", host, "addr", "add", link.hostAddress, "dev", link.hostEnd})
                || !ip({"-n", device, "addr", "add", link.deviceAddress, "dev", link.deviceEnd})
                || !ip({"-n", host, "link", "set", link.hostEnd, "up"})
                || !ip({"-n", device, "link", "set", link.deviceEnd, "up"}))
                return false;
        }
        return ip({"-n", host, "link", "set", "lo", "up"});
    }

    bool addNeighbours()
    {
        return ip({"-n", host, "neigh", "replace", "10.231.41.2", "lladdr", "02:00:00:00:41:02", "dev", "va0", "nud",
                   "permanent"})
               && ip({"-n", host, "neigh", "replace", "10.231.41.7", "lladdr", "02:00:00:00:41:07", "dev", "va0", "nud",
                      "stale"})
               && ip({"-n", host, "neigh", "replace", "10.231.42.2", "lladdr", "02:00:00:00:42:02", "dev", "vb0", "nud",
                      "reachable"});
    }

    QString neighbours() const
    {
        return runCommand(QStringLiteral("ip"), {"-n", host, "-4", "neigh", "show"}).output;
    }

    // Runs this executable inside the host namespace in flush mode,
    // optionally as an unprivileged user.
    CommandResult flushInside(bool unprivileged) const
    {
        QStringList arguments = {"netns", "exec", host};
        if (unprivileged)
            arguments << "setpriv" << "--reuid=65534" << "--regid=65534" << "--clear-groups";
        arguments << QCoreApplication::applicationFilePath() << QLatin1String(FlushNeighboursArgument);
        return runCommand(QStringLiteral("ip"), arguments);
    }

    const QString host;
    const QString device;
};
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

void NeighbourFlushTest::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("network namespaces need root");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        QSKIP("iproute2 is not installed");
}

void NeighbourFlushTest::flushEmptiesEveryAdapter()
{
    TestNetwork network;
    QVERIFY(network.build());
    QVERIFY(network.addNeighbours());
    const QString before = network.neighbours();
    for (const char* address : {"10.231.41.2 ", "10.231.41.7 ", "10.231.42.2 "})
        QVERIFY2(before.contains(QLatin1String(address)), qPrintable(before));

    const CommandResult flush = network.flushInside(false);
    QCOMPARE(flush.exitCode, 0);
    QCOMPARE(flush.output, QStringLiteral("0"));
    QCOMPARE(network.neighbours(), QString());

    // A second flush of an empty cache is just as fine.
    QCOMPARE(network.flushInside(false).output, QStringLiteral("0"));
}

void NeighbourFlushTest::withoutPrivilegeNothingBreaks()
{
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv is not installed");
    TestNetwork network;
    QVERIFY(network.build());
    QVERIFY(network.addNeighbours());

    // The adapters can be listed without privilege; the removals are refused
    // and ignored.
    const CommandResult flush = network.flushInside(true);
    QCOMPARE(flush.exitCode, 0);
    QCOMPARE(flush.output, QStringLiteral("0"));
    const QString after = network.neighbours();
    for (const char* address : {"10.231.41.2 ", "10.231.41.7 ", "10.231.42.2 "})
        QVERIFY2(after.contains(QLatin1String(address)), qPrintable(after));
}

int runNeighbourFlushTest(int argc, char** argv)
{
    NeighbourFlushTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NeighbourFlushTest.moc"
