#pragma once

#include "TestWaits.h"

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

// The simulated controller (lensdesk-sim) run as a child process on a
// loopback address of this test process's own, so tests never share a
// port. The log file it writes is what the tests read to follow its life
// cycle and what reached it.
class SimProcess
{
public:
    // "{dir}" in an argument stands for the simulator's own temporary folder.
    explicit SimProcess(const QStringList& arguments);
    SimProcess(const QHostAddress& address, const QStringList& arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Runs it inside the network namespace `name` (made by the test) instead
    // of the host's; call before start().
    void setNamespace(const QString& name) { m_netns = name; }

    // Starts the program and waits until it listens. False when it does not
    // come up within 10 s.
    bool start();
    // Ends it with SIGTERM as a user would; returns its exit code, -1 if it
    // did not end normally within 10 s.
    int terminate();
    void sendSignal(int number);
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    QHostAddress address() const { return m_address; }
    // Another address of the same /24, for address changes.
    QHostAddress sibling(int lastOctet) const;
    QString workPath(const QString& name) const { return m_dir.filePath(name); }
    QString log() const;
    // Waits for a log line matching `pattern`; returns the match.
    QRegularExpressionMatch waitForLog(const QString& pattern, int timeoutMs = TestWaits::processStart()) const;

    // The commands in a stretch of a simulator's log, in order: those it
    // heard ("rx") and, with `alsoDropped`, those it ignored while silent or
    // restarting ("drop").
    static QStringList commandsIn(const QString& log, bool alsoDropped = false);

private:
    QTemporaryDir m_dir;
    QHostAddress m_address;
    QStringList m_arguments;
    QString m_netns;
    QProcess m_process;
};
