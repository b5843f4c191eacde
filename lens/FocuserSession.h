#pragma once

#include "lens/FocusScale.h"
#include "lens/MoveConfirmation.h"

#include <QString>
#include <QVector>

#include <functional>
#include <optional>
#include <utility>

class ControllerLink;

// The controller as a focuser, for the INDI driver and the Alpaca server:
// focus in client positions (FocusScale), moves and their end, halt, and the
// lens's extras (aperture, power zoom, stabiliser, focus re-initialisation,
// identity and lens texts). Every value is the controller's latest report:
// "Focus=", "Current=" and the range reports update it as they are read.
//
// A move is Moving from its command ("setFocus=<count>") until "focusDone",
// an error reply ("errorFocus...", "errorParam...", "errorRange..."), the
// time limit (LensWaits::MoveConfirmTimeoutMs, 10 s, measured from the
// command) or the loss of the link, whichever comes first; it never stays
// Moving past the limit. Then it is Idle, or Failed with motionMessage()
// saying why. halt() sends "stopFocus" and ends a move at once (Idle).
//
// Requests are checked before anything is sent: a request that cannot be
// carried out returns false with the reason in *why (translated) and sends
// nothing. A focus request needs a connected link, a lens, a reported focus
// range and no move under way.
//
// Threads and time: like its link, the session is used on one thread and
// needs no event loop. It takes over the link's onFact and onStateChanged
// (observe through onChanged; onDatagram stays free). Its owner advances
// the session instead of the link: advance() advances the link and ends a
// move at its time limit, and returns the earliest deadline of both. After
// a request (moveTo(), halt(), ...) call advance() again.
class FocuserSession
{
public:
    enum class Motion { Idle, Moving, Failed };

    explicit FocuserSession(ControllerLink& link);
    ~FocuserSession();
    FocuserSession(const FocuserSession&) = delete;
    FocuserSession& operator=(const FocuserSession&) = delete;

    ControllerLink& link() { return m_link; }
    // Connected to a controller that sees a lens.
    bool hasLens() const;

    // Focus, in client positions 0 to maxStep().
    FocusScale scale() const;
    bool hasFocusRange() const { return scale().isKnown(); }
    int maxStep() const { return scale().maxStep(); }
    // Whether a position was reported, and the latest one (0 before any).
    bool hasPosition() const;
    int position() const;

    // An absolute move to `position` (0 to maxStep()).
    bool moveTo(int position, qint64 now, QString* why);
    // A relative move: from the latest reported position by `steps`
    // (negative: towards 0), stopped at the ends of the travel.
    bool moveBy(int steps, qint64 now, QString* why);
    void halt();
    Motion motion() const { return m_motion; }
    QString motionMessage() const { return m_motionMessage; }

    // Aperture, as f-numbers: the panel's f-number scale within the lens's
    // aperture range; empty for a lens without aperture or none reported.
    QVector<float> fNumbers() const;
    // Only the f-numbers of the list are accepted ("setAper=<f-number>").
    bool setFNumber(float fNumber, QString* why);
    std::optional<float> fNumber() const;

    // Zoom in mm, on the power-zoom model only ("setZoom=<mm>"), within the
    // lens's zoom range once reported.
    bool hasPowerZoom() const;
    std::optional<std::pair<int, int>> zoomRange() const;
    bool setZoom(int millimetres, QString* why);
    std::optional<int> zoom() const;

    // The image stabiliser, where the lens has one and the firmware can
    // switch it (not 1.7.4). On holds for the controller's longest time,
    // 60 s ("enableIS=60"); off is "enableIS=0".
    bool hasStabiliser() const;
    std::optional<bool> stabiliserActive() const;
    bool setStabiliser(bool on, QString* why);

    // Focus re-initialisation ("refRange"): the controller finds the ends of
    // the travel again and reports the focus range.
    bool reinitialiseFocus(QString* why);

    // The controller's description of the lens ("Lens="); empty before one.
    QString lensDescription() const;
    // Model, firmware, serial number and MAC address, as reported so far.
    QString identityDescription() const;

    // Advances the link, and ends a move at its time limit; returns the
    // earliest deadline (LinkClock time), or -1.
    qint64 advance(qint64 now);

    // Something a client sees has changed: position, motion, ranges, lens,
    // identity, the link's state.
    std::function<void()> onChanged;

private:
    bool checkFocusRequest(QString* why) const;
    bool checkLens(QString* why) const;
    bool startMove(int count, qint64 now);
    void noteFact(const ReplyFact& fact);
    void endMove(Motion motion, const QString& message);
    void changed();

    ControllerLink& m_link;
    Motion m_motion = Motion::Idle;
    QString m_motionMessage;
    MoveConfirmation m_confirmation{MoveConfirmation::Await::FocusDone};
    qint64 m_moveLimitAt = -1;
};
