#pragma once

#include "link/ControllerLink.h"
#include "link/LinkPump.h"

#include <QObject>

#include <functional>

// One controller as the command-line client sees it: a ControllerLink (the
// command socket, the bounded reading of the controller's replies, the
// record they build, the connection exchange) driven by the event loop that
// the waits below run.
//
// The client asks what each command needs itself: the link asks no identity
// questions and sends no pings unless a command switches them on (watch).
// The waits run the event loop until a condition holds or a time limit
// passes; replies are read and applied meanwhile. Nothing sleeps. Once
// interrupted (a stop request), every wait returns at once; commands can
// still be sent, so that the lens can be stopped.
class ControllerSession : public QObject
{
    Q_OBJECT

public:
    explicit ControllerSession(const QString& address, QObject* parent = nullptr);

    bool isOpen() const { return m_link.isOpen(); }
    QString address() const { return m_link.address(); }
    const DeviceRecord& record() const { return m_link.record(); }
    const ControllerLink& link() const { return m_link; }

    void send(const QString& text);

    // Runs the event loop until `done` holds (checked after every reply and
    // every change of the link's state) or `timeoutMs` have passed; returns
    // whether it holds.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    // Lets `milliseconds` pass with replies handled: the pacing the
    // controller needs between some commands.
    void pause(int milliseconds);

    // The connection exchange of the panel (ConnectionExchange), with
    // `timeoutMs` for the identification. False when no controller
    // identified itself in time or it was refused (link().refusal() says
    // which); true once the follow-ups have gone out.
    bool identify(int timeoutMs);

    // Watches the controller with the panel's liveness rule from now on:
    // link().state() turns Lost when it stops answering.
    void keepAlive();

    // Ends the wait under way and every later one.
    void interrupt();
    bool isInterrupted() const { return m_interrupted; }

signals:
    // Each fact of a reply as it is applied to the record, then the reply.
    void factRead(const ReplyFact& fact);
    void replyReceived(const QString& text);
    // Every command sent and every reply read, for a log of the traffic.
    void traffic(const QString& text, bool sent);
    void stateChanged();
    void interrupted();

private:
    ControllerLink m_link;
    LinkPump* m_pump = nullptr;
    bool m_interrupted = false;
};
