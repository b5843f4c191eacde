#pragma once

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>
#include <unistd.h>

// Debian's TFTP server (tftpd-hpa) on a loopback address and a port of the
// test's choosing, writing into a temporary folder. It runs in a process
// group of its own, so stopping it also ends the children that serve
// transfers. Needs root (the server drops to the "tftp" user).
class TftpdServer
{
public:
    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("in.tftpd"), {"/usr/sbin", "/sbin"}); }
    static bool available() { return geteuid() == 0 && !program().isEmpty(); }

    // A UDP port nothing listens on right now.
    static quint16 freePort(const QHostAddress& address)
    {
        QUdpSocket probe;
        probe.bind(address, 0);
        return probe.localPort();
    }

    TftpdServer(const QString& address, quint16 port)
        : m_address(address)
        , m_port(port)
    {
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("tftp:tftp"), m_dir.path()});
    }
    ~TftpdServer() { stop(); }

    quint16 port() const { return m_port; }
    QString receivedPath() const { return m_dir.filePath(QStringLiteral("bla")); }
    QByteArray received() const
    {
        QFile file(receivedPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Starts the server and returns once it listens on its port.
    bool start()
    {
        QFile::remove(receivedPath());
        m_process.start(QStringLiteral("setsid"),
                        {program(), QStringLiteral("-L"), QStringLiteral("-a"),
                         QStringLiteral("%1:%2").arg(m_address).arg(m_port), QStringLiteral("-c"),
                         QStringLiteral("-s"), QStringLiteral("-u"), QStringLiteral("tftp"), m_dir.path()});
        if (!m_process.waitForStarted(5000))
            return false;
        // The port is taken once the server listens.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            QUdpSocket probe;
            if (!probe.bind(QHostAddress(m_address), m_port))
                return true;
            probe.close();
            QTest::qWait(10);
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(-pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(5000);
    }

private:
    QTemporaryDir m_dir;
    QString m_address;
    quint16 m_port;
    QProcess m_process;
};
