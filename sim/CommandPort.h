#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QQueue>
#include <QTimer>
#include <QUdpSocket>

class FaultInjector;
class SimLog;

// Where a command came from and where its answer goes.
struct Peer
{
    QHostAddress address;
    quint16 port = 0;

    bool isValid() const { return port != 0; }
    QString toString() const { return QStringLiteral("%1:%2").arg(address.toString()).arg(port); }
};

// The controller's UDP command port. Every datagram in and out is logged;
// faults are applied here. Answers leave through a short queue that keeps
// them at least `gap` ms apart, the pace at which a real controller's bus
// cycle produces them (the panel handles every datagram waiting at its
// socket; `--gap 0` sends back to back). The queue is bounded; a flood of
// requests cannot grow it.
class CommandPort : public QObject
{
    Q_OBJECT
public:
    CommandPort(SimLog& log, FaultInjector& faults, int gapMs, QObject* parent = nullptr);

    // (Re)binds the port; on failure the previous binding stays and
    // `error` tells why. On a specific non-loopback address the port also
    // hears broadcasts.
    bool bind(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress address() const { return m_boundAddress; }
    quint16 port() const { return m_boundPort; }

    // While muted (silent, restarting) nothing is read or sent; the reason
    // goes into the log with every datagram dropped. Muting empties the queue.
    void setMuted(const QString& reason);
    bool isMuted() const { return !m_muteReason.isEmpty(); }

    void send(const Peer& peer, const QByteArray& answer);

signals:
    // A command that got through; `localAddress` is the address it was
    // sent to (useful when bound to 0.0.0.0).
    void received(const QByteArray& datagram, const Peer& peer, const QHostAddress& localAddress);

private:
    struct Pending
    {
        qint64 due;
        Peer peer;
        QByteArray bytes;
    };
    static constexpr int QueueLimit = 256;

    void readPending(QUdpSocket* from);
    void listenForBroadcasts(quint16 port);
    void enqueue(qint64 due, const Peer& peer, const QByteArray& bytes);
    void drain();

    SimLog& m_log;
    FaultInjector& m_faults;
    int m_gap;
    QUdpSocket* m_socket = nullptr;
    // A device on a LAN hears the search broadcast to 255.255.255.255 even
    // though it has an address of its own; a socket bound to one address
    // does not, so a second one listens for broadcasts. Answers always
    // leave from the address socket.
    QUdpSocket* m_broadcastSocket = nullptr;
    QHostAddress m_boundAddress;
    quint16 m_boundPort = 0;
    QString m_muteReason;
    QQueue<Pending> m_queue;
    QTimer m_drainTimer;
    QElapsedTimer m_clock;
    qint64 m_lastSent = -1000000;
};
