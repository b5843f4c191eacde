#include "link/CommandPort.h"

#include "link/RawSocket.h"

#include <QRandomGenerator>
#include <QTime>
#include <QUdpSocket>

namespace CommandPort {

bool bindRandom(QUdpSocket& socket)
{
    // A host that refuses every port gets an answer, not an endless loop.
    constexpr int MaximumAttempts = 2 * Span;
    QRandomGenerator random(quint32(QTime::currentTime().msec()));
    for (int attempt = 0; attempt < MaximumAttempts; ++attempt) {
        const quint16 port = quint16(First + random.generate() % Span);
        if (socket.bind(QHostAddress(QHostAddress::Any), port))
            return true;
    }
    return false;
}

int requestReceiveBuffer(QUdpSocket& socket, int bytes)
{
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, bytes);
    const int granted = RawSocket::receiveBufferBytes(socket.socketDescriptor());
    if (granted < bytes)
        qWarning("The command socket's receive buffer is %d bytes, less than the %d asked for: a burst of reports "
                 "beyond it is dropped while the panel is busy. The system caps the request (on Linux, raise "
                 "net.core.rmem_max to %d or more).",
                 granted, bytes, bytes);
    return granted;
}

} // namespace CommandPort
