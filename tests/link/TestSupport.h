#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUdpSocket>

class LensDesk;

// A scripted controller on a loopback address of its own, port 1339. It logs
// every command it receives and answers the scripted ones to the sender.
class LoopbackPeer : public QObject
{
    Q_OBJECT

public:
    explicit LoopbackPeer(const QString& address, QObject* parent = nullptr);

    bool isBound() const { return m_socket.state() == QAbstractSocket::BoundState; }
    QString address() const { return m_address; }

    // Each time `command` arrives, `replies` go back to its sender in order.
    void answer(const QString& command, const QStringList& replies) { m_script.insert(command, replies); }
    void forget(const QString& command) { m_script.remove(command); }

    QStringList received() const { return m_received; }
    int count(const QString& command) const { return m_received.count(command); }
    void clearLog() { m_received.clear(); }

    // Sends raw bytes to the panel's command socket on this host.
    void sendTo(quint16 panelPort, const QByteArray& datagram);

signals:
    void commandReceived(QString text);

private:
    void readCommands();

    QString m_address;
    QUdpSocket m_socket;
    QHash<QString, QStringList> m_script;
    QStringList m_received;
};

// Answers every message box that becomes the active modal widget with its
// OK (or default) button and keeps what it said.
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit BoxAnswerer(QObject* parent = nullptr);

    QStringList titles;
    QStringList texts;

private:
    QTimer m_poll;
};

// A main window as the tests need it: not shown (showing opens the connect
// dialog) and with a lens-protocol menu even where the menu builder is not
// part of the build.
void prepareWindow(LensDesk& window);

// Child-process scenario: the program run against a controller whose
// firmware is too old. Returns the process exit status if it ever returns.
int runOldFirmwareChild(int argc, char** argv);
