#pragma once

#include <QNetworkInterface>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class QHostAddress;

// The widget-free rules of the LAN search: which interfaces and addresses are
// probed, which datagrams are controller answers, and how the results read.
namespace SearchResults {

// One matching answer datagram. Two answers from one controller are two
// responders; nothing is merged.
struct Responder
{
    QString address; // the sender, dotted quad
    QString version; // firmware version, empty when the answer has no "="
    QString product; // product name: the text before the first "="

    bool operator==(const Responder& other) const
    {
        return address == other.address && version == other.version && product == other.product;
    }
};

// One kept interface and what its listening window collected.
struct InterfaceResult
{
    QString name;
    QStringList addresses; // the local addresses it was probed from
    QVector<Responder> responders;
};

// Interfaces searched: up and running, valid, neither loopback nor
// point-to-point, and a name free of "Filter", "Driver", "filter", "QoS" and
// "*" (the packet filters and drivers some systems list as interfaces).
bool keepsInterface(QNetworkInterface::InterfaceFlags flags, bool valid, const QString& humanReadableName);

// Addresses probed from: IPv4, not 127.0.0.1, not 0.0.0.0.
bool keepsAddress(const QHostAddress& address);

// The host's kept interfaces in enumeration order, each with its kept
// addresses (possibly none).
QVector<InterfaceResult> searchableInterfaces();

// The answer in a datagram's text from `sender`, or nothing when the text
// names none of the known models.
std::optional<Responder> parseAnswer(const QHostAddress& sender, const QString& text);

// The sender's address as dotted quad (an IPv4-mapped IPv6 sender too).
QString senderText(const QHostAddress& sender);

// Row texts and icons of the result tree.
QString interfaceRowText(const InterfaceResult& result);
QString controllerRowText(const Responder& responder);
QString interfaceIconPath();
QString controllerIconPath(const Responder& responder);

} // namespace SearchResults
