#include "alpaca/AlpacaDiscovery.h"

#include <QTimer>

namespace {
const QByteArray Question = "alpacadiscovery1";
} // namespace

AlpacaDiscovery::AlpacaDiscovery(quint16 httpPort, QObject* parent)
    : QObject(parent)
    , m_httpPort(httpPort)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &AlpacaDiscovery::readQuestions);
}

bool AlpacaDiscovery::start(const QHostAddress& address, quint16 port, QString* error)
{
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
        if (!answer.isEmpty())
            m_socket.writeDatagram(answer, sender, senderPort);
    }
    // Readiness is signalled again only for datagrams arriving later.
    if (m_socket.hasPendingDatagrams())
        QTimer::singleShot(0, this, &AlpacaDiscovery::readQuestions);
}
