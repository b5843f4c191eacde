#include "indi/UdpConnection.h"

#include "link/DottedQuad.h"
#include "link/Protocol.h"

#include <indilogger.h>

UdpConnection::UdpConnection(INDI::DefaultDevice* device)
    : Connection::TCP(device)
{
    setDefaultPort(Protocol::ControllerPort);
    setConnectionType(TYPE_UDP);
}

bool UdpConnection::Connect()
{
    if (connectionType() != TYPE_UDP) {
        LOG_ERROR(qUtf8Printable(tr("The controller answers on UDP only: set the connection type to UDP.")));
        return false;
    }
    // The address is read in decimal whatever its leading zeros, as the panel
    // reads it, and only ever used in its canonical form.
    const QString typed = QString::fromUtf8(host()).trimmed();
    if (!DottedQuad::isValid(typed)) {
        LOG_ERROR(qUtf8Printable(tr("\"%1\" is not an IPv4 address: give the controller's address as four decimal "
                                    "numbers, such as 192.168.0.10.")
                                     .arg(typed)));
        return false;
    }
    const uint32_t port = this->port();
    if (port == 0 || port > 65535) {
        LOG_ERROR(qUtf8Printable(
            tr("The port must be a number from 1 to 65535 (the controller's is %1).").arg(Protocol::ControllerPort)));
        return false;
    }
    m_address = DottedQuad::canonical(typed);
    m_port = quint16(port);
    return Handshake();
}

bool UdpConnection::Disconnect() { return true; }
