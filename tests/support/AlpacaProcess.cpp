#include "AlpacaProcess.h"
#include "TestWaits.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

namespace {
const int StartTimeLimitMs = TestWaits::processStart();
const int StopTimeLimitMs = TestWaits::scaled(10000);
constexpr int OutputPollMs = 20;
} // namespace

AlpacaProcess::AlpacaProcess(const QHostAddress& address, const QString& stateHome, const QStringList& arguments)
    : m_address(address)
    , m_stateHome(stateHome)
    , m_arguments(arguments)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

AlpacaProcess::~AlpacaProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(StopTimeLimitMs);
    }
}

bool AlpacaProcess::start()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_stateHome);
    m_process.setProcessEnvironment(environment);
    const QStringList arguments = QStringList{QStringLiteral("--listen"), m_address.toString()} + m_arguments;
    const QString program = QStringLiteral(LENSDESK_BIN_DIR "/lensdesk-alpaca");
    if (m_netns.isEmpty())
        m_process.start(program, arguments);
    else
        m_process.start(QStringLiteral("ip"), QStringList{"netns", "exec", m_netns, program} + arguments);
    if (!m_process.waitForStarted(StartTimeLimitMs))
        return false;
    const QRegularExpression listening(QStringLiteral("Alpaca API on http://[^:]+:(\\d+)/"));
    if (!waitForOutput(listening.pattern(), StartTimeLimitMs))
        return false;
    m_port = quint16(listening.match(m_output).captured(1).toUInt());
    return true;
}

int AlpacaProcess::terminate()
{
    m_process.terminate();
    if (!m_process.waitForFinished(StopTimeLimitMs) || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    output();
    return m_process.exitCode();
}

QString AlpacaProcess::output()
{
    m_output += QString::fromUtf8(m_process.readAll());
    return m_output;
}

bool AlpacaProcess::waitForOutput(const QString& pattern, int timeoutMs)
{
    const QRegularExpression expression(pattern, QRegularExpression::MultilineOption);
    QElapsedTimer clock;
    clock.start();
    do {
        if (expression.match(output()).hasMatch())
            return true;
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(OutputPollMs);
    } while (clock.elapsed() < timeoutMs);
    return false;
}

QByteArray AlpacaProcess::askDiscovery(const QHostAddress& source, const QHostAddress& target,
                                       const QByteArray& question, int waitMs, quint16 port)
{
    QUdpSocket client;
    if (!client.bind(source, 0) || client.writeDatagram(question, target, port) != question.size())
        return QByteArray();
    QByteArray answer;
    if (client.waitForReadyRead(waitMs)) {
        answer.resize(int(client.pendingDatagramSize()));
        client.readDatagram(answer.data(), answer.size());
    }
    return answer;
}
