#include "SimProcess.h"
#include "TestWaits.h"

#include "LoopbackAddress.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <csignal>

namespace {
constexpr int LogPollMs = 20;
} // namespace

SimProcess::SimProcess(const QStringList& arguments)
    : SimProcess(LoopbackAddress::next(), arguments)
{ }

SimProcess::SimProcess(const QHostAddress& address, const QStringList& arguments)
    : m_address(address)
    , m_arguments(arguments)
{
    // Its log file holds everything it writes to standard error, and more.
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

SimProcess::~SimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(TestWaits::processStart());
    }
}

bool SimProcess::start()
{
    QStringList arguments{QStringLiteral("--address"), m_address.toString(), QStringLiteral("--log"),
                          workPath(QStringLiteral("sim.log"))};
    for (QString argument : m_arguments)
        arguments << argument.replace(QLatin1String("{dir}"), m_dir.path());
    const QString program = QStringLiteral(LENSDESK_BIN_DIR "/lensdesk-sim");
    if (m_netns.isEmpty())
        m_process.start(program, arguments);
    else
        m_process.start(QStringLiteral("ip"), QStringList{"netns", "exec", m_netns, program} + arguments);
    if (!m_process.waitForStarted(TestWaits::processStart()))
        return false;
    return waitForLog(QStringLiteral("-- ready: "), TestWaits::processStart()).hasMatch();
}

int SimProcess::terminate()
{
    m_process.terminate();
    if (!m_process.waitForFinished(TestWaits::processStart()) || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

void SimProcess::sendSignal(int number) { ::kill(pid_t(m_process.processId()), number); }

QHostAddress SimProcess::sibling(int lastOctet) const
{
    return QHostAddress((m_address.toIPv4Address() & 0xffffff00u) | quint32(lastOctet));
}

QString SimProcess::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("sim.log")));
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
        if (match.hasMatch() || m_process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(LogPollMs);
    } while (clock.elapsed() < timeoutMs);
    return match;
}

QStringList SimProcess::commandsIn(const QString& log, bool alsoDropped)
{
    // "<ms> rx <peer> <text>", or "<ms> drop <peer> (<reason>) <text>".
    static const QRegularExpression heard(QStringLiteral("^\\s*\\d+ rx \\S+ (.*)$"),
                                          QRegularExpression::MultilineOption);
    static const QRegularExpression heardOrDropped(QStringLiteral("^\\s*\\d+ (?:rx|drop) \\S+ (?:\\([^)]*\\) )?(.*)$"),
                                                   QRegularExpression::MultilineOption);
    QStringList commands;
    auto matches = (alsoDropped ? heardOrDropped : heard).globalMatch(log);
    while (matches.hasNext())
        commands << matches.next().captured(1);
    return commands;
}
