#include "ScriptedDevices.h"

ScriptedDevices::ScriptedDevices(int bridgeLimitMs, const QString& location)
    : m_numbers(m_dir.filePath(QStringLiteral("alpaca-devices.json")))
    , m_devices(m_numbers,
                [this](const QString& address) {
                    auto focuser = std::make_unique<ScriptedFocuser>(address);
                    m_focusers.insert(address, focuser.get());
                    return focuser;
                })
    , m_bridge(bridgeLimitMs)
    , m_router(m_devices, m_bridge, location)
{ }

ScriptedFocuser* ScriptedDevices::add(const QString& address, const QString& mac)
{
    m_devices.addController(address);
    ScriptedFocuser* added = m_focusers.value(address);
    added->facts.mac = mac;
    return added;
}
