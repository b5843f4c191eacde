#include "admin/AddressChange.h"

#include "link/DeviceRecord.h"

AddressChange::AddressChange(const QString& address, const QString& mask, const QString& gateway)
    : m_address(address)
    , m_mask(mask)
    , m_gateway(gateway)
{ }

QStringList AddressChange::commands() const
{
    using namespace Protocol::Command;
    return {QString::fromLatin1(SetAddress).arg(m_address), QString::fromLatin1(SetMask).arg(m_mask),
            QString::fromLatin1(SetGateway).arg(m_gateway), QLatin1String(Reboot)};
}

void AddressChange::run(const Means& means) const
{
    for (const QString& command : commands()) {
        means.send(command);
        means.wait(CommandSpacingMs);
    }
    if (means.commandsSent)
        means.commandsSent();
    means.flushAddressCache();
    means.wait(RestartWaitMs);
}

bool AddressChange::isSameController(const DeviceRecord& before, const DeviceRecord& after)
{
    return !before.serial.isEmpty() && !before.mac.isEmpty() && before.serial == after.serial
        && before.mac == after.mac;
}
