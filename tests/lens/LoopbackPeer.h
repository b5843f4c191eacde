#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <functional>

class QUdpSocket;

// A scripted stand-in for the controller on a loopback address of its own,
// port 1339: it records every command with its arrival time and can answer
// or react to each one. It lives on the test's thread, so its reactions run
// between the panel's steps, like the controller's reports do.
class LoopbackPeer : public QObject
{
    Q_OBJECT

public:
    struct Command {
        QString text;
        qint64 atMs;
    };

    explicit LoopbackPeer(const QString& address, QObject* parent = nullptr);

    bool isBound() const { return m_bound; }
    QString address() const { return m_address.toString(); }

    // Called for every command received, after it has been logged.
    std::function<void(const QString&)> onCommand;

    // Sends `text` back to the sender of the last command.
    void reply(const QString& text);
    // Sends `text` to an explicit port on the loopback host.
    void sendTo(quint16 port, const QString& text);

    const QVector<Command>& log() const { return m_log; }
    QStringList texts() const;
    QStringList textsStartingWith(const QString& prefix) const;
    // Milliseconds between successive commands that start with `prefix`.
    QVector<qint64> intervals(const QString& prefix) const;
    qint64 now() const { return m_clock.elapsed(); }
    void clear() { m_log.clear(); }

private:
    void readCommands();

    QHostAddress m_address;
    QUdpSocket* m_socket = nullptr;
    bool m_bound = false;
    QElapsedTimer m_clock;
    QVector<Command> m_log;
    QHostAddress m_lastSender;
    quint16 m_lastPort = 0;
};

// Answers the next modal dialog of the test: polls for the application's
// active modal widget and hands it to `answer` until that returns true (it
// may ignore widgets it does not expect, e.g. a progress dialog under a
// message box). Gives up after `timeoutMs`, or when `context` goes (so a
// failed test leaves no poll behind).
void whenModal(QObject* context, std::function<bool(QWidget*)> answer, int timeoutMs = 20000);

// Mean of a list of intervals, 0 for none.
double mean(const QVector<qint64>& values);
