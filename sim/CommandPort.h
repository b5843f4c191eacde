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
// them at least `gap` ms apart: the panel handles only the latest of the
// datagrams waiting at its socket, so answers sent back to back would hide
// each other. The queue is bounded; a flood of requests cannot grow it.
class CommandPort : public QObject
{
    Q_OBJECT
public:
    CommandPort(SimLog& log, FaultInjector& faults, int gapMs, QObject* parent = nullptr);

    // (Re)binds the port; on failure the previous binding stays and
    // `error` tells why. On a specific non-loopback address the port also
    // hears broadcasts.
    bool bind(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress address() const { return boundAddress; }
    quint16 port() const { return boundPort; }

    // While muted (silent, restarting) nothing is read or sent; the reason
    // goes into the log with every datagram dropped. Muting empties the queue.
    void setMuted(const QString& reason);
    bool isMuted() const { return !muteReason.isEmpty(); }

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

    SimLog& log;
    FaultInjector& faults;
    int gap;
    QUdpSocket* socket = nullptr;
    // A device on a LAN hears the search broadcast to 255.255.255.255 even
    // though it has an address of its own; a socket bound to one address
    // does not, so a second one listens for broadcasts. Answers always
    // leave from the address socket.
    QUdpSocket* broadcastSocket = nullptr;
    QHostAddress boundAddress;
    quint16 boundPort = 0;
    QString muteReason;
    QQueue<Pending> queue;
    QTimer drainTimer;
    QElapsedTimer clock;
    qint64 lastSent = -1000000;
};
