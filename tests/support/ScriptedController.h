#pragma once

#include "TestWaits.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QUdpSocket>
#include <QVector>

// A stand-in for the controller on a loopback address, port 1339. It logs
// every command that reaches it with its arrival time, answers the commands
// it was given a script for, and sends whatever a test wants to the panel.
// It lives on the test's thread: its answers and the test's reactions to
// commandReceived() run between the panel's steps, as a controller's
// reports do.
class ScriptedController : public QObject
{
    Q_OBJECT

public:
    struct Command
    {
        QString text;
        qint64 atMs;
    };

    // Binds `address` (by default one of this process's own) exclusively:
    // a second test on the same address fails to bind instead of sharing
    // the commands.
    explicit ScriptedController(const QHostAddress& address, QObject* parent = nullptr);
    explicit ScriptedController(QObject* parent = nullptr);

    bool isBound() const { return m_socket.state() == QAbstractSocket::BoundState; }
    QString address() const { return m_address.toString(); }

    // Each time `command` arrives, `replies` go back to its sender in order.
    void answer(const QString& command, const QStringList& replies) { m_script.insert(command, replies); }
    void forget(const QString& command) { m_script.remove(command); }

    // Sends raw bytes from the controller's address to a port on 127.0.0.1
    // (the panel's command socket binds every address).
    void sendTo(quint16 port, const QByteArray& datagram);

    const QVector<Command>& log() const { return m_log; }
    QStringList texts() const;
    QStringList textsStartingWith(const QString& prefix) const;
    // The commands without the liveness monitor's pings, with and without
    // their times.
    QVector<Command> commandLog() const;
    QStringList commands() const;
    int count(const QString& text) const;
    qint64 timeOf(int index) const { return m_log.at(index).atMs; }
    // Milliseconds between successive commands that start with `prefix`,
    // and their mean (0 for fewer than two).
    QVector<qint64> intervals(const QString& prefix) const;
    double meanInterval(const QString& prefix) const;
    void clear() { m_log.clear(); }
    // Puts an event of the test's own into the log, between the commands
    // that arrived before and after it.
    void note(const QString& text) { m_log.append({text, m_clock.elapsed()}); }

    // Milliseconds on the clock of the log's times.
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    // Waits, handling events, until `text` has arrived; false after
    // `timeoutMs`.
    bool waitFor(const QString& text, int timeoutMs = TestWaits::reply());
    // Waits until everything sent to the controller so far has arrived: a
    // marker sent now from another socket of this host queues up behind
    // every datagram already on its way; once it is read, the log is
    // complete. The marker is left out of the log. False if it was lost.
    bool awaitReceived();
    // The commands received so far, without the liveness monitor's pings,
    // once awaitReceived() has made the log complete.
    QStringList receivedUntilNow();

signals:
    // After the command was logged and its scripted answers were sent.
    void commandReceived(const QString& text);

private:
    void readCommands();

    QHostAddress m_address;
    QUdpSocket m_socket;
    QHash<QString, QStringList> m_script;
    QElapsedTimer m_clock;
    QVector<Command> m_log;
};
