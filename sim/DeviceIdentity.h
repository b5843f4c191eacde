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

    QString product() const { return productName; }
    bool isPowerZoomModel() const;
    int focusTimeoutMs() const { return focusTimeout; }
    // "setProto=" checks and stores the index; the caller restarts.
    bool setProtocol(const SimCommand& command, QByteArray* error);

    // At a restart: adopt the pending network settings and decide whether
    // the controller comes back in update mode ("setFLAG=0" and
    // "fwNETInit" since the last update).
    void applyPendingNetwork();
    QHostAddress address() const { return activeAddress; }
    // The address could not be taken (not a local address): keep the old.
    void revertAddress(const QHostAddress& address) { activeAddress = address; }
    bool updateRequested() const { return flag == 0 && netInit; }
    // "setDHCP=1" is kept but there is no DHCP server to ask.
    bool dhcpRequested() const { return dhcp; }
    // A complete image arrived: the boot loader clears the request.
    void updateDone();

private:
    QByteArray answerFor(const SimCommand& command, const QHostAddress& localAddress, bool* handled);

    QString productName;
    QString firmware;
    QString bootLoader;
    QString serial;
    QString mac;
    QString hardware;
    QString vendor;
    QString name;
    int focusTimeout;
    int protocol;
    QHostAddress activeAddress;
    QString mask;
    QString gateway;
    QHostAddress pendingAddress;
    QString pendingMask;
    QString pendingGateway;
    bool dhcp = false;
    int flag = 99;
    bool netInit = false;
};
