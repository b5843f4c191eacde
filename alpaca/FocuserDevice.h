#pragma once

#include "alpaca/AlpacaFocuser.h"
#include "alpaca/AlpacaResult.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

// One Alpaca focuser device: ASCOM's focuser semantics on top of one lens
// controller. The server keeps the controller's link up on its own; a
// client's "connected" is this device's flag on top of it, shared by every
// client, as Alpaca devices do. A move that the controller fails, or never
// confirms within its time limit, is reported once, by the next "ismoving",
// instead of passing for a finished move.
//
// Controller thread only.
class FocuserDevice
{
    Q_DECLARE_TR_FUNCTIONS(FocuserDevice)

public:
    explicit FocuserDevice(std::unique_ptr<AlpacaFocuser> focuser);

    AlpacaFocuser& focuser() { return *m_focuser; }
    const AlpacaFocuser& focuser() const { return *m_focuser; }

    // The controller's own name, else its model, else its address.
    QString name() const;
    QString description() const;

    AlpacaResult connected() const;
    // Connecting to a controller whose link is not up waits for its
    // identification: connectOutcome() tells when it is over.
    AlpacaResult setConnected(bool on);
    std::optional<AlpacaResult> connectOutcome() const;
    AlpacaResult connect();
    AlpacaResult connecting() const;
    AlpacaResult deviceState(const QDateTime& now);
    AlpacaResult action(const QString& name, const QString& parameters);

    AlpacaResult isMoving();
    AlpacaResult maxStep() const;
    AlpacaResult position() const;
    AlpacaResult move(int position);
    AlpacaResult halt();

private:
    // The NotConnected error when the client has not connected or the link
    // is not up; nothing otherwise.
    std::optional<AlpacaResult> notConnected() const;
    std::optional<AlpacaResult> notReadyToFocus() const;
    bool isUsable() const;

    std::unique_ptr<AlpacaFocuser> m_focuser;
    bool m_clientConnected = false;
    // A move of ours whose end has not been reported yet.
    bool m_moveOutstanding = false;
};
