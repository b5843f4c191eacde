#include "alpaca/AlpacaDiscovery.h"

#include <QNetworkInterface>
#include <QTimer>

namespace {

const QByteArray Question = "alpacadiscovery1";

// The network of the interface that holds `address`; the address alone if
// no interface holds it.
QPair<QHostAddress, int> networkOf(const QHostAddress& address)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& candidate : interfaces) {
        for (const QNetworkAddressEntry& entry : candidate.addressEntries()) {
            if (entry.ip().isEqual(address, QHostAddress::ConvertV4MappedToIPv4))
                return {entry.ip(), entry.prefixLength()};
        }
    }
    return {address, 32};
}

} // namespace

AlpacaDiscovery::AlpacaDiscovery(quint16 httpPort, QObject* parent)
    : QObject(parent)
    , m_httpPort(httpPort)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &AlpacaDiscovery::readQuestions);
}

bool AlpacaDiscovery::start(const QHostAddress& listen, quint16 port, QString* error)
{
    // Questions are broadcast, and a socket bound to one address of an
    // interface receives no broadcasts: only loopback is narrowed by binding.
    const bool everywhere = listen.isNull() || listen == QHostAddress(QHostAddress::AnyIPv4);
    const QHostAddress address = listen.isLoopback() ? listen : QHostAddress(QHostAddress::AnyIPv4);
    if (!everywhere && !listen.isLoopback())
        m_askers = networkOf(listen);
    if (m_socket.bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return true;
    *error = tr("Cannot answer Alpaca discovery on %1 UDP port %2: %3")
                 .arg(address.toString())
                 .arg(port)
                 .arg(m_socket.errorString());
    return false;
}

QByteArray AlpacaDiscovery::answerTo(const QByteArray& datagram, quint16 httpPort)
{
    if (!datagram.startsWith(Question))
        return QByteArray();
    return "{\"AlpacaPort\":" + QByteArray::number(httpPort) + '}';
}

bool AlpacaDiscovery::reaches(const QHostAddress& asker) const
{
    return m_askers.first.isNull() || asker.isInSubnet(m_askers);
}

void AlpacaDiscovery::readQuestions()
{
    for (int i = 0; i < DatagramsPerPass && m_socket.hasPendingDatagrams(); ++i) {
        // A question is 16 bytes; anything longer than this is read short and
        // is not one.
        QByteArray datagram(64, Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 size = m_socket.readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
        if (size < 0)
            break;
        datagram.truncate(int(size));
        const QByteArray answer = answerTo(datagram, m_httpPort);
        if (!answer.isEmpty() && reaches(sender))
            m_socket.writeDatagram(answer, sender, senderPort);
    }
    // Readiness is signalled again only for datagrams arriving later.
    if (m_socket.hasPendingDatagrams())
        QTimer::singleShot(0, this, &AlpacaDiscovery::readQuestions);
}
