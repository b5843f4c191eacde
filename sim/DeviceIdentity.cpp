#include "sim/DeviceIdentity.h"

#include "link/DottedQuad.h"
#include "link/Protocol.h"
#include "sim/SimCommand.h"
#include "sim/SimOptions.h"

#include <QRegularExpression>

namespace {

namespace Cmd = Protocol::Command;
namespace Ans = Protocol::Answer;

const QString& word(const char* entry)
{
    // Words are looked up once per entry and kept.
    static QHash<const char*, QString> words;
    auto it = words.find(entry);
    if (it == words.end())
        it = words.insert(entry, SimCommand::wordOf(entry));
    return *it;
}

QByteArray keyed(const char* key, const QString& value) { return QByteArray(key) + value.toLatin1(); }

bool isMac(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(([01]?\\d?\\d|2[0-4]\\d|25[0-5])-){5}([01]?\\d?\\d|2[0-4]\\d|25[0-5])$"));
    return pattern.match(text).hasMatch();
}

constexpr int NameLength = 7;
constexpr int VendorLength = 32;

} // namespace

DeviceIdentity::DeviceIdentity(const SimOptions& options)
    : m_productName(options.product)
    , m_firmware(options.firmware)
    , m_bootLoader(options.bootLoader)
    , m_serial(options.serial)
    , m_mac(options.mac)
    , m_hardware(options.hardware)
    , m_vendor(options.vendor)
    , m_name(options.name)
    , m_focusTimeout(options.focusTimeoutMs)
    , m_protocol(options.protocol)
    , m_activeAddress(options.address)
    , m_mask(options.mask)
    , m_gateway(options.gateway)
    , m_pendingAddress(options.address)
    , m_pendingMask(options.mask)
    , m_pendingGateway(options.gateway)
{ }

bool DeviceIdentity::isPowerZoomModel() const { return m_productName.contains(QLatin1String(Ans::PowerZoomMark)); }

bool DeviceIdentity::handle(const SimCommand& command, const QHostAddress& localAddress, QByteArray* answer)
{
    bool handled = true;
    *answer = answerFor(command, localAddress, &handled);
    return handled;
}

QByteArray DeviceIdentity::answerFor(const SimCommand& c, const QHostAddress& localAddress, bool* handled)
{
    const QString& w = c.word;
    qint64 number = 0;

    if (w == word(Cmd::Version))
        return (m_productName + QLatin1Char('=') + m_firmware).toLatin1();
    if (w == word(Cmd::BootLoaderVersion))
        return keyed(Ans::BootLoader, m_bootLoader);
    if (w == word(Cmd::GetProtocol))
        return keyed(Ans::Protocol, QString::number(m_protocol));
    if (w == word(Cmd::GetName)) {
        // The device keeps the name in a fixed field padded with NULs.
        QByteArray field = m_name.toLatin1();
        field.append(QByteArray(NameLength - field.size(), '\0'));
        return QByteArray(Ans::Name) + field;
    }
    if (w == word(Cmd::SetName) && c.hasValue) {
        m_name = c.value.left(NameLength);
        return {};
    }
    if (w == word(Cmd::GetSerial))
        return keyed(Ans::Serial, m_serial);
    if (w == word(Cmd::SetSerial) && c.hasValue) {
        if (!c.intValue(&number))
            return SimAnswer::errorParam(QStringLiteral("serial number is not a number"));
        if (number < 15000 || number > 65535)
            return SimAnswer::errorRange(QStringLiteral("serial number outside 15000-65535"));
        m_serial = QString::number(number);
        return {};
    }
    if (w == word(Cmd::GetMac))
        return keyed(Ans::Mac, m_mac);
    if (w == word(Cmd::SetMac) && c.hasValue) {
        if (!isMac(c.value))
            return SimAnswer::errorParam(QStringLiteral("mac needs six decimal octets joined by -"));
        m_mac = c.value;
        return {};
    }
    if (w == word(Cmd::GetHardware))
        return keyed(Ans::Hardware, m_hardware);
    if (w == word(Cmd::SetHardware) && c.hasValue) {
        if (!c.intValue(&number))
            return SimAnswer::errorParam(QStringLiteral("hardware version is not a number"));
        if (number < 0 || number > 255)
            return SimAnswer::errorRange(QStringLiteral("hardware version outside 0-255"));
        m_hardware = QString::number(number);
        return {};
    }
    if (w == word(Cmd::GetVendor))
        return keyed(Ans::Vendor, m_vendor);
    if (w == word(Cmd::SetVendor) && c.hasValue) {
        m_vendor = c.value.left(VendorLength);
        return {};
    }
    if (w == word(Cmd::GetFocusTimeout)) {
        if (!c.hasValue)
            return keyed(Ans::FocusTimeout, QString::number(m_focusTimeout));
        if (!c.intValue(&number))
            return SimAnswer::errorParam(QStringLiteral("focus time-out is not a number"));
        if (number < 1 || number > 10000)
            return SimAnswer::errorRange(QStringLiteral("focus time-out outside 1-10000 ms"));
        m_focusTimeout = int(number);
        return {};
    }
    if (w == word(Cmd::GetAddress)) {
        // Bound to 0.0.0.0 the device reports the address it was asked on.
        const QHostAddress shown = m_activeAddress == QHostAddress(QHostAddress::AnyIPv4) && !localAddress.isNull()
            ? localAddress
            : m_activeAddress;
        return keyed(Ans::Address, QHostAddress(shown.toIPv4Address()).toString());
    }
    if (w == word(Cmd::GetMask))
        return keyed(Ans::Mask, m_mask);
    if (w == word(Cmd::GetGateway))
        return keyed(Ans::Gateway, m_gateway);
    if ((w == word(Cmd::SetAddress) || w == word(Cmd::SetMask) || w == word(Cmd::SetGateway)) && c.hasValue) {
        if (!DottedQuad::isValid(c.value))
            return SimAnswer::errorParam(QStringLiteral("address needs four decimal octets"));
        if (w == word(Cmd::SetAddress))
            m_pendingAddress = QHostAddress(DottedQuad::parse(c.value));
        else if (w == word(Cmd::SetMask))
            m_pendingMask = c.value;
        else
            m_pendingGateway = c.value;
        return {};
    }
    if (w == word(Cmd::DhcpOn) && c.hasValue) {
        if (c.value != QLatin1String("0") && c.value != QLatin1String("1"))
            return SimAnswer::errorParam(QStringLiteral("dhcp takes 0 or 1"));
        m_dhcp = c.value == QLatin1String("1");
        return {};
    }
    if (w == word(Cmd::FlagNormal) && c.hasValue) {
        if (!c.intValue(&number) || number < 0 || number > 255)
            return SimAnswer::errorParam(QStringLiteral("flag takes 0-255"));
        m_flag = int(number);
        return {};
    }
    if (w == word(Cmd::FirmwareNetInit)) {
        m_netInit = true;
        return {};
    }
    *handled = false;
    return {};
}

bool DeviceIdentity::setProtocol(const SimCommand& command, QByteArray* error)
{
    qint64 index = 0;
    if (!command.hasValue || !command.intValue(&index)) {
        *error = SimAnswer::errorParam(QStringLiteral("protocol index is not a number"));
        return false;
    }
    if (index < 0 || index > 2) {
        *error = SimAnswer::errorRange(QStringLiteral("protocol index outside 0-2"));
        return false;
    }
    m_protocol = int(index);
    return true;
}

void DeviceIdentity::applyPendingNetwork()
{
    m_activeAddress = m_pendingAddress;
    m_mask = m_pendingMask;
    m_gateway = m_pendingGateway;
}

void DeviceIdentity::updateDone()
{
    m_flag = 99;
    m_netInit = false;
}
