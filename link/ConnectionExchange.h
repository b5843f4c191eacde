#pragma once

#include "link/Protocol.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The connection exchange with a controller, one for the panel, lensdesk-cli
// and the drivers. A controller is connected by asking, not by a handshake:
//
// - probes: "blver", "getProto" and "ver", ProbeSpacingMs apart. The answer
//   to "ver" ("model=version", a known model at its very start) identifies
//   the controller; the other two fill in the boot loader and the lens-bus
//   protocol in use.
// - the decisions taken from the firmware version of that answer (judge()):
//   firmware older than 1.4 is refused, 1.7.4 cannot switch the stabiliser,
//   the lens-bus protocol can be chosen from 1.8 on (or on another major
//   version than 1), protocol 2 exists from 1.9 on, and choosing the protocol
//   already in use changes nothing (decideProtocol()).
// - follow-ups once a controller identified itself and was not refused:
//   "setFLAG=99" (no firmware update is pending) and "getNAME",
//   FollowUpSpacingMs apart.
// - the limit: no identification within IdentifyLimitMs of the start, no
//   controller.
//
// The tables and decisions are static. The panel sends them itself, with
// waits that keep its window responsive (link/connection.cpp). Programs
// without such waits run an exchange object: a state machine driven by its
// owner's clock (LinkClock), which neither blocks nor needs an event loop.
// One object is used from one thread.
class ConnectionExchange
{
public:
    static constexpr int ProbeSpacingMs = 10;
    static constexpr int FollowUpSpacingMs = 10;
    static constexpr int IdentifyLimitMs = Protocol::Pacing::IdentifyLimitMs;

    // The lens-bus protocols: 0 and 1 on every firmware that can choose, 2
    // (the framing with the timing of firmware 1.8) from firmware 1.9 on.
    static constexpr int ProtocolCount = 3;
    static constexpr int LegacyTimingProtocol = 2;

    static QStringList probes();
    static QStringList followUps();

    // What the firmware version of an identification answer allows.
    struct Verdict
    {
        bool tooOld = false;
        bool stabiliserSwitch = true;
        bool protocolChoice = true;
        // Firmware 1.9 or later: protocol 2, and the protocols' newer names.
        bool recentFirmware = false;
    };
    // `version` as the identification answer has it, or as the panel shows
    // it (with the boot loader inserted): both are judged alike.
    static Verdict judge(const QString& version);

    enum class ProtocolDecision {
        Switch,              // send "setProto=N"; the controller restarts to apply it
        AlreadyInUse,        // nothing to do: a restart would change nothing
        NoChoice,            // the firmware cannot change its protocol
        NeedsRecentFirmware, // protocol 2 before firmware 1.9
        NoSuchProtocol,      // outside 0 to 2
    };
    static bool offersProtocol(int protocol, const Verdict& verdict);
    // `inUse` as the controller last reported it; unknown, it cannot match.
    static ProtocolDecision decideProtocol(int chosen, std::optional<int> inUse, const Verdict& verdict);

    enum class Phase {
        Idle,
        Identifying, // probes sent or due; no identification yet
        FollowingUp, // identified; follow-ups due
        Identified,  // every follow-up sent
        TooOld,      // identified, refused: firmware older than 1.4
        NoAnswer,    // no identification within the limit
    };

    // Starts (or starts again): the probes are due from `now` on.
    void start(qint64 now, int identifyLimitMs = IdentifyLimitMs);
    void stop();
    // The controller identified itself with firmware `version` (while
    // Identifying; otherwise nothing happens and false is returned). The
    // verdict decides between FollowingUp and TooOld.
    bool identified(const QString& version, qint64 now);
    // The commands due by `now`, in order, taken out of the schedule; ends
    // an attempt whose limit has passed (NoAnswer).
    QStringList takeDue(qint64 now);
    // When takeDue() next has something to do; -1 when never.
    qint64 nextDeadline() const;

    Phase phase() const { return m_phase; }
    bool isUnderWay() const { return m_phase == Phase::Identifying || m_phase == Phase::FollowingUp; }
    const Verdict& verdict() const { return m_verdict; }

private:
    struct Scheduled
    {
        qint64 due;
        QString command;
    };
    void schedule(const QStringList& commands, qint64 first, int spacingMs);

    Phase m_phase = Phase::Idle;
    qint64 m_limitAt = -1;
    QVector<Scheduled> m_schedule; // in order of due time
    Verdict m_verdict;
};
