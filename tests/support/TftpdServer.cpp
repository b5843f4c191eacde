#include "TftpdServer.h"
#include "TestWaits.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <unistd.h>

namespace {
constexpr int ListenPollMs = 10;
} // namespace

QString TftpdServer::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("in.tftpd"), {"/usr/sbin", "/sbin"});
}

QString TftpdServer::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("tftpd-hpa needs root");
    if (program().isEmpty())
        return QStringLiteral("tftpd-hpa (in.tftpd) is not installed");
    return QString();
}

quint16 TftpdServer::freePort(const QHostAddress& address)
{
    QUdpSocket probe;
    probe.bind(address, 0);
    return probe.localPort();
}

TftpdServer::TftpdServer(const QString& address, quint16 port)
    : m_address(address)
    , m_port(port)
{
    QProcess::execute(QStringLiteral("chown"), {QStringLiteral("tftp:tftp"), m_dir.path()});
}

TftpdServer::~TftpdServer() { stop(); }

QByteArray TftpdServer::received() const
{
    QFile file(receivedPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TftpdServer::start()
{
    QFile::remove(receivedPath());
    m_process.start(QStringLiteral("setsid"),
                    {program(), QStringLiteral("-L"), QStringLiteral("-a"),
                     QStringLiteral("%1:%2").arg(m_address).arg(m_port), QStringLiteral("-c"), QStringLiteral("-s"),
                     QStringLiteral("-u"), QStringLiteral("tftp"), m_dir.path()});
    if (!m_process.waitForStarted(TestWaits::processStart()))
        return false;
    // The port is taken once the server listens. The probe asks for the
    // port alone: with the address shared it would bind beside a server
    // that shares it too, and the server would never seem to listen.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < TestWaits::processStart()) {
        QUdpSocket probe;
        if (!probe.bind(QHostAddress(m_address), m_port, QAbstractSocket::DontShareAddress))
            return true;
        probe.close();
        QTest::qWait(ListenPollMs);
    }
    return false;
}

void TftpdServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(-pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished(TestWaits::processStart());
}
