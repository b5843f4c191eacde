#pragma once

#include "cli/DeviceRecord.h"
#include "link/CommandChannel.h"
#include "link/ReplyIntake.h"

#include <QObject>
#include <QUdpSocket>

#include <functional>

// One controller as the command-line client sees it: a command socket on a
// random local port from 60000 to 65000 (the controller answers to the port
// it was asked from), the controller's address, and the record its replies
// build. Replies from any other address are ignored; they are read in
// bounded passes (ReplyIntake), so that a flood cannot hold off the waits'
// time limits.
//
// The waits run the event loop until a condition holds or a time limit
// passes; replies are read and applied meanwhile. Nothing sleeps.
class ControllerSession : public QObject
{
    Q_OBJECT

public:
    explicit ControllerSession(const QString& address, QObject* parent = nullptr);

    bool isOpen() const { return m_channel.isOpen(); }
    QString address() const { return m_address; }
    QUdpSocket* socket() { return &m_socket; }
    const DeviceRecord& record() const { return m_record; }

    void send(const QString& text);

    // Runs the event loop until `done` holds (checked after every reply) or
    // `timeoutMs` have passed; returns whether it holds.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    // Lets `milliseconds` pass with replies handled: the pacing the
    // controller needs between some commands.
    void pause(int milliseconds);

    // The connection exchange of the panel: "blver", "getProto" and "ver",
    // then, once a known model has identified itself, "setFLAG=99" (no update
    // is pending) and "getNAME". False when no identification came in time.
    bool identify(int timeoutMs);

    // A controller reachable at another address (after an address change):
    // later commands and replies use it.
    void retarget(const QString& address) { m_address = address; }

signals:
    // Each fact of a reply as it is applied to the record, then the reply.
    void factRead(const ReplyFact& fact);
    void replyReceived(const QString& text);

private:
    void applyReply(const QString& text);

    QString m_address;
    QUdpSocket m_socket;
    CommandChannel m_channel;
    DeviceRecord m_record;
    ReplyIntake m_intake;
};
