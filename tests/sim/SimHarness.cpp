#include "SimHarness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>

namespace {

QHostAddress uniqueNetwork()
{
    // 127.0.0.0/8 is all loopback on Linux: a random /24 per simulator keeps
    // parallel tests (and parallel test runs) apart.
    QRandomGenerator* random = QRandomGenerator::global();
    const quint32 a = 64 + random->bounded(128);
    const quint32 b = 1 + random->bounded(254);
    return QHostAddress((127u << 24) | (a << 16) | (b << 8));
}

} // namespace

SimProcess::SimProcess(const QStringList& arguments)
    // The last octet 1 is the simulator's; siblings serve address changes.
    : SimProcess(QHostAddress(uniqueNetwork().toIPv4Address() | 1u), arguments)
{
}

SimProcess::SimProcess(const QHostAddress& address, const QStringList& arguments)
    : host(address)
    , extraArguments(arguments)
{
    // Its log file holds everything it writes to standard error, and more.
    process.setStandardErrorFile(QProcess::nullDevice());
}

SimProcess::~SimProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool SimProcess::start()
{
    QStringList arguments{QStringLiteral("--address"), host.toString(), QStringLiteral("--log"),
                          workPath(QStringLiteral("sim.log"))};
    for (QString argument : extraArguments)
        arguments << argument.replace(QLatin1String("{dir}"), dir.path());
    const QString program = QStringLiteral(LENSDESK_BIN_DIR "/lensdesk-sim");
    if (netns.isEmpty())
        process.start(program, arguments);
    else
        process.start(QStringLiteral("ip"), QStringList{"netns", "exec", netns, program} + arguments);
    if (!process.waitForStarted(10000))
        return false;
    return waitForLog(QStringLiteral("-- ready: ")).hasMatch();
}

int SimProcess::terminate()
{
    process.terminate();
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

void SimProcess::sendSignal(int number)
{
    ::kill(pid_t(process.processId()), number);
}

QHostAddress SimProcess::sibling(int lastOctet) const
{
    return QHostAddress((host.toIPv4Address() & 0xffffff00u) | quint32(lastOctet));
}

QString SimProcess::log() const
{
    QFile file(dir.filePath(QStringLiteral("sim.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QRegularExpressionMatch SimProcess::waitForLog(const QString& pattern, int timeoutMs) const
{
    const QRegularExpression expression(pattern, QRegularExpression::MultilineOption);
    QElapsedTimer clock;
    clock.start();
    QRegularExpressionMatch match;
    do {
        match = expression.match(log());
        if (match.hasMatch() || process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(20);
    } while (clock.elapsed() < timeoutMs);
    return match;
}

SimClient::SimClient()
{
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
}

void SimClient::send(const QHostAddress& to, const QByteArray& command, quint16 port)
{
    socket.writeDatagram(command, to, port);
}

void SimClient::drain()
{
    while (socket.hasPendingDatagrams()) {
        QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
        socket.readDatagram(datagram.data(), datagram.size());
        received << datagram;
    }
}

QList<QByteArray>& SimClient::answers()
{
    drain();
    return received;
}

QByteArray SimClient::waitFor(const QByteArray& prefix, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    int seen = 0;
    do {
        drain();
        for (; seen < received.size(); ++seen) {
            if (received.at(seen).startsWith(prefix))
                return received.at(seen);
        }
        socket.waitForReadyRead(20);
    } while (clock.elapsed() < timeoutMs);
    return QByteArray();
}

QList<QByteArray> SimClient::collectFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        socket.waitForReadyRead(20);
    drain();
    return received;
}
