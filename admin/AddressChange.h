#pragma once

#include "link/Protocol.h"

#include <QString>
#include <QStringList>

#include <functional>

struct DeviceRecord;

// The change of a controller's address, mask and gateway, one routine for
// the panel and lensdesk-cli. The controller takes the three values one
// command at a time and applies them when it restarts; the host still maps
// the new address to whatever answered there before (or remembers it as
// unreachable), so its address cache is flushed; then the controller needs
// about three seconds before it answers at its new address.
//
// The caller supplies the steps' means (its own send, its own wait that
// keeps its events flowing, its own flush and how it reports the flush's
// outcome). Nothing is awaited from the controller during the change: the
// commands go even to a silent one. Runs on the caller's thread.
class AddressChange
{
public:
    static constexpr int CommandSpacingMs = Protocol::Pacing::AddressChangeCommandMs;
    static constexpr int RestartWaitMs = Protocol::Pacing::AddressChangeRestartMs;

    struct Means
    {
        std::function<void(const QString& command)> send;
        std::function<void(int milliseconds)> wait;
        // After the last command and its pause (optional).
        std::function<void()> commandsSent;
        // Empties the host's address cache and reports what came of it.
        std::function<void()> flushAddressCache;
    };

    // Canonical dotted quads.
    AddressChange(const QString& address, const QString& mask, const QString& gateway);

    // "ChangeIP=", "ChangeMASK=", "ChangeGW=", "Reboot", in that order.
    QStringList commands() const;
    // The commands, each followed by CommandSpacingMs; commandsSent; the
    // flush; RestartWaitMs for the restart.
    void run(const Means& means) const;

    // Whether the controller that answers at the new address is the one
    // whose address was changed: the same serial number and MAC address,
    // both known. Another device may sit at the new address already.
    static bool isSameController(const DeviceRecord& before, const DeviceRecord& after);

private:
    QString m_address;
    QString m_mask;
    QString m_gateway;
};
