#pragma once

#include <QString>
#include <QVector>

#include <optional>
#include <utility>

// What an Alpaca focuser device needs of one lens controller: its link,
// identity, focus drive and the lens extras the actions offer. The server
// keeps the link of every controller up by itself (connecting, liveness
// pings, reconnection); a client's "connected" is the device's own business
// on top of it.
//
// Everything is called on the controller thread only; nothing blocks.
class AlpacaFocuser
{
public:
    enum class Link {
        Disconnected, // not started, or given up
        Identifying,  // the connection exchange runs
        Connected,    // identified and answering
        Lost,         // stopped answering; reconnects when it speaks again
        Refused,      // answered, but cannot be driven (unknown model, firmware too old)
    };
    enum class Motion {
        Idle,
        Moving, // from the move command until the controller confirms it
        Failed, // the controller reported an error, or the time limit passed
    };
    struct Identity
    {
        QString product;
        QString firmware;
        QString name;
        QString serial;
        QString mac;
    };

    virtual ~AlpacaFocuser() = default;

    virtual QString address() const = 0;
    virtual Link link() const = 0;
    // Why the link is Refused or has not come up; empty otherwise.
    virtual QString linkProblem() const = 0;
    // Starts the connection exchange again unless it runs or the link is
    // up. Never moves the lens.
    virtual void reconnect() = 0;
    virtual Identity identity() const = 0;
    virtual QString lensDescription() const = 0;

    // Focus in client positions 0..maxStep(), mapped onto the lens's
    // reported focus range; the position is the controller's latest report.
    virtual bool hasFocusRange() const = 0;
    virtual int position() const = 0;
    virtual int maxStep() const = 0;
    virtual Motion motion() const = 0;
    virtual QString motionMessage() const = 0;
    // Brings what runs on time (a move's time limit) up to now, before a
    // client is told whether the focuser moves.
    virtual void catchUp() = 0;
    // False with the reason when the controller cannot take the move now.
    virtual bool moveTo(int position, QString* why) = 0;
    virtual void halt() = 0;

    // The lens's f-numbers (empty without an aperture), the current one.
    virtual QVector<float> fNumbers() const = 0;
    virtual std::optional<float> fNumber() const = 0;
    virtual bool setFNumber(float fNumber, QString* why) = 0;
    // Zoom in mm; only a power-zoom controller drives it.
    virtual bool hasPowerZoom() const = 0;
    virtual std::optional<std::pair<int, int>> zoomRange() const = 0;
    virtual std::optional<int> zoom() const = 0;
    virtual bool setZoom(int millimetres, QString* why) = 0;
    virtual bool hasStabiliser() const = 0;
    virtual bool setStabiliser(bool on, QString* why) = 0;
};
