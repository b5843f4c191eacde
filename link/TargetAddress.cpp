#include "link/TargetAddress.h"

#include <QCoreApplication>
#include <QNetworkInterface>

namespace {
QString tr(const char* text) { return QCoreApplication::translate("TargetAddress", text); }
} // namespace

namespace TargetAddress {

QVector<quint32> localBroadcasts()
{
    QVector<quint32> broadcasts;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            bool isIpv4 = false;
            const quint32 address = entry.ip().toIPv4Address(&isIpv4);
            // Networks of /31 and /32 have no broadcast address. The
            // loopback network has none on the wire either, but its highest
            // address is one all the same.
            if (!isIpv4 || entry.prefixLength() < 0 || entry.prefixLength() > 30)
                continue;
            const quint32 hostBits = quint32(0xFFFFFFFFu) >> entry.prefixLength();
            broadcasts << (address | hostBits);
        }
    }
    return broadcasts;
}

QString problem(quint32 address)
{
    if (address == 0)
        return tr("0.0.0.0 stands for this host, not for a controller");
    if (address == 0xFFFFFFFFu)
        return tr("it is the broadcast address, which reaches every host of the local network");
    if ((address >> 28) == 0xE)
        return tr("it is a multicast address (224.0.0.0 to 239.255.255.255)");
    if ((address >> 28) == 0xF)
        return tr("it is a reserved address (240.0.0.0 to 255.255.255.254)");
    if (localBroadcasts().contains(address))
        return tr("it is the broadcast address of a network of this host, which reaches every host on it");
    return QString();
}

} // namespace TargetAddress
