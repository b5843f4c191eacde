#include "NetnsLab.h"
#include "TestWaits.h"

#include <QCoreApplication>
#include <QDir>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace {

constexpr int ResponderLifetimeSeconds = 300;

QString withPid(const char* stem) { return QLatin1String(stem) + QString::number(QCoreApplication::applicationPid()); }

} // namespace

NetnsLab::NetnsLab()
    : panel(withPid("ldpanel"))
    , deviceA(withPid("lddeva"))
    , deviceB(withPid("lddevb"))
    , linkA(withPid("lna"))
    , linkZ(withPid("lnz"))
    , linkM(withPid("lnm"))
{ }

NetnsLab::~NetnsLab() { tearDown(); }

QString NetnsLab::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("network namespaces need root");
    // Root in a container may still be refused namespaces: try one.
    const QString probe = withPid("ldprobe");
    const auto run = [](const QStringList& args) {
        QProcess process;
        process.start(QStringLiteral("ip"), args);
        if (!process.waitForFinished(TestWaits::processStart())) {
            process.kill();
            process.waitForFinished();
            return false;
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    };
    if (!run({"netns", "add", probe}))
        return QStringLiteral("\"ip netns\" is not available here");
    run({"netns", "del", probe});
    return QString();
}

bool NetnsLab::ip(const QStringList& args, QString* error)
{
    QProcess process;
    process.start(QStringLiteral("ip"), args);
    if (process.waitForFinished(TestWaits::processStart()) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0)
        return true;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    *error = QStringLiteral("ip %1: %2")
                 .arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    return false;
}

bool NetnsLab::setUp(QString* error)
{
    for (const QString& ns : {panel, deviceA, deviceB}) {
        if (!ip({"netns", "add", ns}, error))
            return false;
        namespaces << ns;
        if (!ip({"-n", ns, "link", "set", "lo", "up"}, error))
            return false;
    }
    const QString peerZ = withPid("dnz");
    const QString peerA = withPid("dna");
    const QString peerM = withPid("dnm");
    // Link z first: the panel enumerates it before link a.
    const QList<QStringList> steps = {
        {"-n", panel, "link", "add", linkZ, "type", "veth", "peer", "name", peerZ, "netns", deviceB},
        {"-n", panel, "link", "add", linkA, "type", "veth", "peer", "name", peerA, "netns", deviceA},
        {"-n", panel, "link", "add", linkM, "type", "veth", "peer", "name", peerM, "netns", deviceB},
        {"-n", panel, "addr", "add", "10.231.2.1/24", "dev", linkZ},
        {"-n", panel, "addr", "add", "10.231.1.1/24", "dev", linkA},
        {"-n", panel, "addr", "add", "10.231.3.1/24", "dev", linkA},
        {"-n", deviceB, "addr", "add", "10.231.2.2/24", "dev", peerZ},
        {"-n", deviceA, "addr", "add", "10.231.1.2/16", "dev", peerA},
        {"-n", panel, "link", "set", linkZ, "up"},
        {"-n", panel, "link", "set", linkA, "up"},
        {"-n", deviceB, "link", "set", peerZ, "up"},
        {"-n", deviceA, "link", "set", peerA, "up"},
        {"-n", deviceB, "link", "set", peerM, "up"},
    };
    for (const QStringList& step : steps) {
        if (!ip(step, error))
            return false;
    }
    return true;
}

void NetnsLab::tearDown()
{
    for (QProcess* responder : qAsConst(responders)) {
        responder->kill();
        responder->waitForFinished(TestWaits::processStart());
        delete responder;
    }
    responders.clear();
    // Deleting a namespace also removes the veth ends inside it.
    QString ignored;
    for (const QString& ns : qAsConst(namespaces))
        ip({"netns", "del", ns}, &ignored);
    namespaces.clear();
}

bool NetnsLab::startResponder(const QString& ns, const QStringList& replies, QString* error)
{
    auto* responder = new QProcess;
    responders << responder;
    const QString program = QDir(QStringLiteral(LENSDESK_BIN_DIR)).filePath(QStringLiteral("discovery_responder"));
    responder->start(QStringLiteral("ip"),
                     QStringList{"netns", "exec", ns, program, QString::number(ResponderLifetimeSeconds)} + replies);
    if (!responder->waitForReadyRead(TestWaits::processStart()) || !responder->readLine().startsWith("ready")) {
        *error = QStringLiteral("responder in %1 did not start: %2")
                     .arg(ns, QString::fromLocal8Bit(responder->readAllStandardError()));
        return false;
    }
    return true;
}

bool NetnsLab::inside(const QString& ns, const std::function<void()>& work, QString* error)
{
    // A network namespace belongs to a thread, not to the process: only the
    // helper thread moves, the test's own threads stay where they are.
    QString failure;
    std::thread helper([&] {
        const QByteArray path = QByteArray("/run/netns/") + ns.toLocal8Bit();
        const int handle = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (handle < 0 || ::setns(handle, CLONE_NEWNET) != 0) {
            failure = QStringLiteral("cannot enter %1: %2").arg(ns, QString::fromLocal8Bit(std::strerror(errno)));
            if (handle >= 0)
                ::close(handle);
            return;
        }
        ::close(handle);
        work();
    });
    helper.join();
    if (failure.isEmpty())
        return true;
    *error = failure;
    return false;
}

bool NetnsLab::setLinkUp(const QString& link, bool up, QString* error)
{
    return ip({"-n", panel, "link", "set", link, up ? "up" : "down"}, error);
}

bool NetnsLab::runInPanel(const QString& program, const QStringList& args, int timeoutMs, QByteArray* output,
                          QString* error)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral("ip"), QStringList{"netns", "exec", panel, program} + args);
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
        *error = QStringLiteral("%1 did not finish in the panel namespace").arg(program);
        return false;
    }
    *output = child.readAllStandardOutput();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        *error = QStringLiteral("%1 failed in the panel namespace (exit %2):\n%3")
                     .arg(program)
                     .arg(child.exitCode())
                     .arg(QString::fromLocal8Bit(*output));
        return false;
    }
    return true;
}
