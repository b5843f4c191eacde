#pragma once

#include "ScriptedFocuser.h"

#include "alpaca/AlpacaRouter.h"
#include "alpaca/ControllerBridge.h"
#include "alpaca/DeviceNumbers.h"
#include "alpaca/FocuserDevices.h"

#include <QHash>
#include <QTemporaryDir>

// The Alpaca server's device side and router on controllers the test sets
// up (ScriptedFocuser), with a state file of its own in a temporary folder.
// The test's thread is the controller thread: the router runs work at once
// when called there, and the HTTP server's threads hand it over through
// the bridge while the test runs the event loop.
class ScriptedDevices
{
public:
    explicit ScriptedDevices(int bridgeLimitMs = 5000, const QString& location = QStringLiteral("Test bench"));

    // Serves a controller at `address` and returns it, linked and
    // identified with `mac` (listed once review() has run).
    ScriptedFocuser* add(const QString& address, const QString& mac);
    ScriptedFocuser* focuser(const QString& address) const { return m_focusers.value(address); }

    FocuserDevices& devices() { return m_devices; }
    AlpacaRouter& router() { return m_router; }
    const ControllerBridge& bridge() const { return m_bridge; }

private:
    QTemporaryDir m_dir;
    DeviceNumbers m_numbers;
    QHash<QString, ScriptedFocuser*> m_focusers;
    FocuserDevices m_devices;
    ControllerBridge m_bridge;
    AlpacaRouter m_router;
};
