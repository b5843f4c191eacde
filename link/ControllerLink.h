#pragma once

#include "link/CommandChannel.h"
#include "link/ConnectionExchange.h"
#include "link/DeviceRecord.h"
#include "link/LivenessCount.h"
#include "link/Protocol.h"

#include <QString>
#include <QUdpSocket>
#include <QVector>

#include <functional>
#include <memory>

class ReplyIntake;

// One controller as a program without a window talks to it: lensdesk-cli,
// the INDI driver, the Alpaca server. It owns a command socket on a random
// local port from 60000 to 65000 (the controller answers to the port it was
// asked from), reads the replies of the controller's address only, in
// bounded passes (ReplyIntake), applies their facts to a DeviceRecord, and
// runs the panel's rules on them:
//
// - connectToController() runs the connection exchange (ConnectionExchange:
//   probes, identification, refusal of firmware that is too old,
//   follow-ups). It never moves the lens.
// - once connected it asks the identity questions that the drivers show
//   ("getSN", then "getMAC", spaced like the panel's questions; one that
//   goes unanswered is asked once more), unless setAsksIdentity(false);
// - and it watches the controller with the panel's liveness rule
//   (LivenessCount: "ping" every 600 ms, lost after more than three
//   unanswered), unless setKeepsAlive(false). A lost controller is pinged
//   every 2 s; its first proof of life starts the exchange again (probes,
//   follow-ups, identity questions, and still no lens move). Until that
//   exchange completes the link stays Identifying; if it gets no answer, the
//   link is Lost again and keeps pinging. The record, and so the last known
//   positions, are kept throughout.
//
// Threads and time: nothing here blocks, sleeps or needs a running event
// loop. The link is created and used on one thread, which advances it:
// readAvailable() when descriptor() is readable, and advance() when the
// deadline that the last advance() returned has come. After any other call
// that can start something (connectToController(), setKeepsAlive(), a send
// by FocuserSession...), call advance() again and wait for its new deadline.
// Times are milliseconds of LinkClock::now(), passed in. A program with a Qt
// event loop lets a LinkPump do all of this; the INDI driver hands
// descriptor() and the deadline to INDI's own loop. Every function, send()
// included, is called on the link's thread only (the datagram itself leaves
// through CommandChannel, but onDatagram runs on the caller's thread); a
// server with request threads hands its requests to the link's thread.
//
// The callbacks run inside readAvailable() and advance(); they must not
// destroy the link.
class ControllerLink
{
public:
    enum class State {
        Disconnected, // before connectToController(), after disconnectFromController()
        Identifying,  // the exchange runs (also again after a loss)
        Connected,    // identified, follow-ups sent
        Lost,         // no proof of life for more than three pings
        Refused,      // see refusal()
    };
    enum class Refusal {
        None,
        NoAnswer,       // no identification within the limit
        FirmwareTooOld, // older than 1.4
    };

    // The identity questions go this far apart, the first this long after
    // the follow-ups, like the panel's; an unanswered one is asked once more
    // after IdentityAnswerWaitMs.
    static constexpr int IdentityQuestionSpacingMs = 200;
    static constexpr int IdentityAnswerWaitMs = 1000;
    static constexpr int IdentityAsks = 2;

    explicit ControllerLink(const QString& address, quint16 port = Protocol::ControllerPort);
    ~ControllerLink();
    ControllerLink(const ControllerLink&) = delete;
    ControllerLink& operator=(const ControllerLink&) = delete;

    // Binds the command socket to a random local port from 60000 to 65000 on
    // all addresses; false when none could be bound.
    bool open();
    bool isOpen() const { return m_channel.isOpen(); }
    // The command socket's descriptor, to wait on for readability; -1 before
    // open().
    qintptr descriptor() const;
    quint16 localPort() const { return m_socket.localPort(); }
    QString address() const { return m_address; }
    quint16 port() const { return m_port; }

    // Whether a connection asks "getSN" and "getMAC" (default true).
    void setAsksIdentity(bool asks) { m_asksIdentity = asks; }
    // Whether a connection is watched with pings and re-identified after a
    // loss (default true). Takes effect at the next advance().
    void setKeepsAlive(bool keepsAlive) { m_keepsAlive = keepsAlive; }
    // How long an identification is awaited (default the panel's 6000 ms).
    void setIdentifyLimitMs(int milliseconds) { m_identifyLimitMs = milliseconds; }

    // Starts the connection exchange (Identifying); also from any other
    // state, as a reconnection. The probes leave at the next advance().
    void connectToController(qint64 now);
    // Stops the exchange, the questions and the pings (Disconnected).
    void disconnectFromController();

    // Reads one bounded pass of replies (at most ReplyIntake::DatagramsPerPass
    // datagrams) and applies them; returns whether more are waiting. Replies
    // are read and applied in every state, also without a connection.
    bool readAvailable(qint64 now);
    // Sends what is due by `now` (probes, follow-ups, identity questions,
    // pings), ends an exchange whose limit has passed, and returns when it
    // next has something to do: a LinkClock time, or -1 for nothing planned.
    qint64 advance(qint64 now);

    // Sends one command to the controller, now (nothing before open()).
    void send(const QString& command);

    State state() const { return m_state; }
    Refusal refusal() const { return m_refusal; }
    // The refusal for a log or a message, translated; empty without one.
    QString refusalText() const;
    const DeviceRecord& record() const { return m_record; }
    // What the firmware of the last identification allows.
    const ConnectionExchange::Verdict& verdict() const { return m_verdict; }
    const LivenessCount& liveness() const { return m_liveness; }

    // Every fact of every reply, after it was applied to the record.
    std::function<void(const ReplyFact&)> onFact;
    std::function<void(State)> onStateChanged;
    // Every datagram as text: sent (true) or received from the controller
    // (false), for a log of the traffic.
    std::function<void(const QString& text, bool sent)> onDatagram;

private:
    struct Question
    {
        QString command;
        ReplyFact::Kind answer;
        int answersBefore;
        qint64 due;
        int asksLeft;
    };

    void handleReply(const QString& text, qint64 now);
    void noteFact(const ReplyFact& fact, qint64 now);
    void becomeConnected(qint64 now);
    void refuse(Refusal refusal);
    void setState(State state);
    void askDueQuestions(qint64 now);
    void pingIfDue(qint64 now);

    const QString m_address;
    const quint16 m_port;
    QUdpSocket m_socket;
    CommandChannel m_channel;
    std::unique_ptr<ReplyIntake> m_intake;
    qint64 m_readingAt = 0; // the time of the pass under way

    bool m_asksIdentity = true;
    bool m_keepsAlive = true;
    int m_identifyLimitMs = ConnectionExchange::IdentifyLimitMs;

    State m_state = State::Disconnected;
    Refusal m_refusal = Refusal::None;
    ConnectionExchange m_exchange;
    ConnectionExchange::Verdict m_verdict;
    // The exchange runs again after a loss: no answer means Lost, not Refused.
    bool m_reidentifying = false;
    QVector<Question> m_questions;
    LivenessCount m_liveness;
    qint64 m_nextPingAt = -1;
    DeviceRecord m_record;
};
