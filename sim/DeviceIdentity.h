#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

struct SimCommand;
struct SimOptions;

// What the controller knows about itself: product and versions, factory
// identity, name, focus time-out, lens-bus protocol, network settings and
// the firmware-update flags. Kept in memory only, as the simulator has no
// flash. Network settings written by "ChangeIP=", "ChangeMASK=" and
// "ChangeGW=" wait for the next restart, like on the device.
class DeviceIdentity
{
public:
    explicit DeviceIdentity(const SimOptions& options);

    // Handles the identity, network and flag words. Returns false for any
    // other word; `answer` stays empty for words that are not answered.
    bool handle(const SimCommand& command, const QHostAddress& localAddress, QByteArray* answer);

    QString product() const { return m_productName; }
    bool isPowerZoomModel() const;
    int focusTimeoutMs() const { return m_focusTimeout; }
    // "setProto=" checks and stores the index; the caller restarts.
    bool setProtocol(const SimCommand& command, QByteArray* error);

    // At a restart: adopt the pending network settings and decide whether
    // the controller comes back in update mode ("setFLAG=0" and
    // "fwNETInit" since the last update).
    void applyPendingNetwork();
    QHostAddress address() const { return m_activeAddress; }
    // The address could not be taken (not a local address): keep the old.
    void revertAddress(const QHostAddress& address) { m_activeAddress = address; }
    bool updateRequested() const { return m_flag == 0 && m_netInit; }
    // "setDHCP=1" is kept but there is no DHCP server to ask.
    bool dhcpRequested() const { return m_dhcp; }
    // A complete image arrived: the boot loader clears the request.
    void updateDone();

private:
    QByteArray answerFor(const SimCommand& command, const QHostAddress& localAddress, bool* handled);

    QString m_productName;
    QString m_firmware;
    QString m_bootLoader;
    QString m_serial;
    QString m_mac;
    QString m_hardware;
    QString m_vendor;
    QString m_name;
    int m_focusTimeout;
    int m_protocol;
    QHostAddress m_activeAddress;
    QString m_mask;
    QString m_gateway;
    QHostAddress m_pendingAddress;
    QString m_pendingMask;
    QString m_pendingGateway;
    bool m_dhcp = false;
    int m_flag = 99;
    bool m_netInit = false;
};
