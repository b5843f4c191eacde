#include "ReceiveDatagram.h"

#include <QUdpSocket>

QByteArray receiveDatagram(QUdpSocket& socket, QHostAddress* from, quint16* port, int timeoutMs)
{
    if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(timeoutMs))
        return {};
    QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
    socket.readDatagram(datagram.data(), datagram.size(), from, port);
    return datagram;
}
