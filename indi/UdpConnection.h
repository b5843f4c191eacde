#pragma once

#include <connectionplugins/connectiontcp.h>

#include <QCoreApplication>
#include <QString>

// INDI's standard network connection, as clients know it and the driver's
// configuration keeps it: DEVICE_ADDRESS (ADDRESS, PORT) and CONNECTION_TYPE
// set to UDP, the controller's port 1339 by default. INDI's own socket is not
// used: the controller answers to the port a command came from, and the
// driver's link binds a command socket of its own. Connecting checks the
// address and hands over to the driver's handshake, which starts the
// identification and returns at once; no host name is looked up, so nothing
// here can block the driver's loop.
class UdpConnection : public Connection::TCP
{
    Q_DECLARE_TR_FUNCTIONS(UdpConnection)

public:
    explicit UdpConnection(INDI::DefaultDevice* device);

    bool Connect() override;
    bool Disconnect() override;

    // The address checked by the last Connect(), in its canonical dotted form.
    QString address() const { return m_address; }
    quint16 controllerPort() const { return m_port; }

private:
    QString m_address;
    quint16 m_port = 0;
};
