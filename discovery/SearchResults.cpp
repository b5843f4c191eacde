#include "discovery/SearchResults.h"

#include "link/Protocol.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QRegularExpression>

namespace SearchResults {

bool keepsInterface(QNetworkInterface::InterfaceFlags flags, bool valid, const QString& humanReadableName)
{
    static const QRegularExpression skippedNames(QStringLiteral("Filter|Driver|filter|QoS|\\*"));
    return flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning)
        && !skippedNames.match(humanReadableName).hasMatch() && valid && !flags.testFlag(QNetworkInterface::IsLoopBack)
        && !flags.testFlag(QNetworkInterface::IsPointToPoint);
}

bool keepsAddress(const QHostAddress& address)
{
    return address != QHostAddress(QHostAddress::LocalHost) && address.protocol() == QAbstractSocket::IPv4Protocol
        && address.toIPv4Address() != 0 && !address.toString().isEmpty();
}

QVector<InterfaceResult> searchableInterfaces()
{
    QVector<InterfaceResult> kept;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        if (!keepsInterface(interface.flags(), interface.isValid(), interface.humanReadableName()))
            continue;
        InterfaceResult result;
        result.name = interface.humanReadableName();
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            if (keepsAddress(entry.ip()))
                result.addresses << entry.ip().toString();
        }
        kept << result;
    }
    return kept;
}

std::optional<Responder> parseAnswer(const QHostAddress& sender, const QString& text)
{
    static const QRegularExpression knownModels{QLatin1String(Protocol::Answer::KnownModels)};
    if (!knownModels.match(text).hasMatch())
        return std::nullopt;
    // "ORVO RE-2=1.8.3": product, "=", firmware version (up to a further "=").
    const QStringList pieces = text.split(QLatin1Char('='));
    return Responder{senderText(sender), pieces.value(1), pieces.value(0)};
}

QString senderText(const QHostAddress& sender)
{
    bool isIPv4 = false;
    const quint32 ipv4 = sender.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4).toString() : sender.toString();
}

QString interfaceRowText(const InterfaceResult& result)
{
    return QCoreApplication::translate("setIPDlg", "%1 [%2]").arg(result.name, result.addresses.join(QLatin1Char(',')));
}

QString controllerRowText(const Responder& responder)
{
    return QCoreApplication::translate("setIPDlg", "%3: [%1]  f/w:%2")
        .arg(responder.address, responder.version, responder.product);
}

QString interfaceIconPath() { return QStringLiteral(":/connect/verida_icon.png"); }

QString controllerIconPath(const Responder& responder)
{
    return responder.product.contains(QLatin1String(Protocol::Answer::PowerZoomMark))
        ? QStringLiteral(":/connect/zoom2.png")
        : QStringLiteral(":/connect/oie_transparent.png");
}

} // namespace SearchResults
