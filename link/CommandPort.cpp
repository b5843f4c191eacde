#include "link/CommandPort.h"

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

} // namespace CommandPort
