#pragma once

#include <QObject>

#include <functional>

class QHostAddress;
class QUdpSocket;

// The one reader of a UDP socket that controllers answer to: the panel's and
// the command-line client's command sockets, and the LAN search's sockets.
// It reads in passes of at most DatagramsPerPass datagrams, keeps those of
// the current controller (or, for a search, every datagram) and hands each
// kept datagram's text to a handler, in the order of arrival.
//
// The bound keeps a sender that never stops talking from starving the event
// loop (input, timers, every wait's time limit). A pass that stops at the
// bound schedules the next one itself, as a queued call: the socket's own
// notification cannot be relied on, because a handler that waits with events
// may swallow it (the toolkit neither emits readyRead() inside readyRead()
// nor notifies again until the socket has been read), and a socket whose
// notification was swallowed stays silent for good. A notification that
// finds the socket already emptied is answered with a read all the same, for
// the same reason.
//
// Runs on the socket's thread. readPass() needs no event loop (a driver that
// polls the socket from a timer of its own); readAvailable() serves the
// socket's readyRead(). The handler must not delete the intake or its socket.
class ReplyIntake : public QObject
{
    Q_OBJECT

public:
    static constexpr int DatagramsPerPass = 64;

    // The text of a kept datagram (decoded as every reply is) and its sender.
    using Handler = std::function<void(const QString& text, const QHostAddress& sender)>;
    // The dotted-quad address of the current controller, asked as each
    // datagram is read; nothing is kept while it names no address.
    using ControllerAddress = std::function<QString()>;

    // Keeps only the datagrams of the current controller. The socket may be
    // dual-stack: senders are compared as IPv4 numbers, IPv4-mapped forms
    // included.
    ReplyIntake(QUdpSocket* socket, ControllerAddress controllerAddress, Handler handler, QObject* parent = nullptr);
    // Keeps every datagram, whoever sent it (the LAN search).
    ReplyIntake(QUdpSocket* socket, Handler handler, QObject* parent = nullptr);

    // Reads one pass; returns whether datagrams remain in the socket. Inside
    // a running pass (from a handler's wait) it reads nothing.
    bool readPass();
    // A pass is under way, also while one of its handlers waits with events.
    bool isReading() const { return m_reading; }

public slots:
    // For readyRead(): reads a pass unless one is under way (a notification
    // inside a handler's wait starts no second pass; the running one reads
    // on), and schedules the next pass when datagrams remain or a
    // notification came meanwhile.
    void readAvailable();

private:
    // Reads up to DatagramsPerPass datagrams; returns whether more wait.
    bool runPass(bool readEvenIfEmpty);
    bool isFromController(const QHostAddress& sender) const;
    void scheduleNextPass();

    QUdpSocket* const m_socket;
    const ControllerAddress m_controllerAddress;
    const Handler m_handler;
    bool m_reading = false;
    bool m_notifiedWhileReading = false;
    bool m_passScheduled = false;
};
