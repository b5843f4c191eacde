#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QProcess>
#include <QTemporaryDir>

// Debian's TFTP server (tftpd-hpa) on an address and a port of the test's
// choosing, writing into a temporary folder. It runs in a process group of
// its own, so stopping it also ends the children that serve transfers.
// Needs root (the server drops to the "tftp" user).
class TftpdServer
{
public:
    // Why the server cannot run here, or empty.
    static QString unavailableReason();
    // A UDP port nothing listens on right now.
    static quint16 freePort(const QHostAddress& address);

    TftpdServer(const QString& address, quint16 port);
    ~TftpdServer();
    TftpdServer(const TftpdServer&) = delete;
    TftpdServer& operator=(const TftpdServer&) = delete;

    quint16 port() const { return m_port; }
    QByteArray received() const;

    // Starts the server and returns once it listens on its port.
    bool start();
    void stop();

private:
    static QString program();
    QString receivedPath() const { return m_dir.filePath(QStringLiteral("bla")); }

    QTemporaryDir m_dir;
    QString m_address;
    quint16 m_port;
    QProcess m_process;
};
