#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QUdpSocket>

// A simulated controller run as a child process on a loopback address of
// its own (127.x.y.1), so tests never share a port. The log file it writes
// is what the tests read to follow its life cycle.
class SimProcess
{
public:
    // "{dir}" in an argument stands for the simulator's own temporary folder.
    explicit SimProcess(const QStringList& arguments);
    // The same on a given address (its last octet should be 1).
    SimProcess(const QHostAddress& address, const QStringList& arguments);
    ~SimProcess();

    // Runs it inside the network namespace `name` (made by the test) instead
    // of the host's; call before start().
    void setNamespace(const QString& name) { netns = name; }

    // Starts the program and waits until it listens. Fails the test (returns
    // false) when it does not come up within 10 s.
    bool start();
    // Ends it with SIGTERM as a user would; returns its exit code, -1 if it
    // did not end normally within 10 s.
    int terminate();
    void sendSignal(int number);
    bool isRunning() const { return process.state() == QProcess::Running; }
    qint64 pid() const { return process.processId(); }

    QHostAddress address() const { return host; }
    // Another address of the same /24, for address changes.
    QHostAddress sibling(int lastOctet) const;
    QString workPath(const QString& name) const { return dir.filePath(name); }
    QString log() const;
    // Waits for a log line matching `pattern`; returns the match.
    QRegularExpressionMatch waitForLog(const QString& pattern, int timeoutMs = 10000) const;

private:
    QTemporaryDir dir;
    QHostAddress host;
    QStringList extraArguments;
    QString netns;
    QProcess process;
};

// The panel's side: one UDP socket on 127.0.0.1 that sends commands to the
// simulator's port and collects everything that comes back.
class SimClient
{
public:
    SimClient();

    void send(const QHostAddress& to, const QByteArray& command, quint16 port = 1339);
    // Answers received so far (and newly arrived ones), oldest first.
    QList<QByteArray>& answers();
    // Waits until an answer beginning with `prefix` has arrived; returns
    // it, or an empty array after the time-out.
    QByteArray waitFor(const QByteArray& prefix, int timeoutMs = 5000);
    // Collects for `ms` and returns what arrived (for "no answer" checks).
    QList<QByteArray> collectFor(int ms);
    void clear() { received.clear(); }

private:
    void drain();

    QUdpSocket socket;
    QList<QByteArray> received;
};
