#pragma once

#include <QHostAddress>
#include <QProcess>
#include <QStringList>

// The Alpaca server (lensdesk-alpaca) run as a child process, listening on
// `address` (a loopback address of this test process's own, or an address
// of a network namespace) with its device numbers under `stateHome` (its
// XDG_STATE_HOME), so that two runs of the server can share them. What it
// writes (standard error) is collected for the test to read.
class AlpacaProcess
{
public:
    AlpacaProcess(const QHostAddress& address, const QString& stateHome, const QStringList& arguments);
    ~AlpacaProcess();
    AlpacaProcess(const AlpacaProcess&) = delete;
    AlpacaProcess& operator=(const AlpacaProcess&) = delete;

    // Runs it inside the network namespace `name` (made by the test); call
    // before start().
    void setNamespace(const QString& name) { m_netns = name; }

    // Starts it and waits until its API listens; false when that does not
    // happen within 10 s (output() tells why).
    bool start();
    // Ends it with SIGTERM as the service manager does; returns its exit
    // code, -1 if it did not end normally within 10 s.
    int terminate();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }
    QString output();
    // Waits for a line of its output matching `pattern`.
    bool waitForOutput(const QString& pattern, int timeoutMs = 10000);

    // Sends `question` as a discovery client does, from `source` (port
    // chosen by the system) to `target` (the server, or a broadcast
    // address), and returns the first answer within `waitMs`, empty if none.
    static QByteArray askDiscovery(const QHostAddress& source, const QHostAddress& target, const QByteArray& question,
                                   int waitMs = 3000, quint16 port = DiscoveryPort);
    static constexpr quint16 DiscoveryPort = 32227;

private:
    QHostAddress m_address;
    QString m_stateHome;
    QStringList m_arguments;
    QString m_netns;
    QProcess m_process;
    QString m_output;
    quint16 m_port = 0;
};
