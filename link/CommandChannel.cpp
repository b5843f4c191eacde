#include "link/CommandChannel.h"

#include "link/DottedQuad.h"
#include "link/RawSocket.h"

#include <QUdpSocket>

#include <mutex>

namespace {
// A standard mutex (not QMutex) so that thread analysis tools see it.
std::mutex sendLock;
// The cause of the last failure reported, 0 once a datagram has left again.
// Guarded by sendLock.
int reportedError = 0;
} // namespace

CommandChannel::CommandChannel(const QUdpSocket* socket)
{
    if (!socket)
        return;
    m_descriptor = socket->socketDescriptor();
    // Asked of the descriptor itself: for a socket bound to "any address"
    // the toolkit's local address is neither IPv4 nor IPv6, while the
    // descriptor is IPv6 (dual-stack) wherever the host has IPv6.
    m_family = RawSocket::addressFamily(m_descriptor);
}

void CommandChannel::send(const QString& dottedQuad, const QString& text, quint16 port) const
{
    bool ok = false;
    const quint32 ipv4 = DottedQuad::parse(dottedQuad, &ok);
    if (ok)
        send(QHostAddress(ipv4), text, port);
}

void CommandChannel::send(const QHostAddress& address, const QString& text, quint16 port) const
{
    if (!isOpen())
        return;
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (!isIpv4)
        return;

    const QByteArray datagram = text.toLatin1();
    bool report = false;
    int error = 0;
    {
        const std::lock_guard<std::mutex> locker(sendLock);
        error = RawSocket::sendTo(m_descriptor, m_family, ipv4, port, datagram.constData(), size_t(datagram.size()));
        report = error != 0 && error != reportedError;
        reportedError = error;
    }
    if (report)
        qWarning("Command \"%s\" to %s:%d not sent: %s. Further failures for the same reason are not reported "
                 "until a command leaves again.",
                 qPrintable(text), qPrintable(address.toString()), int(port), qPrintable(qt_error_string(error)));
}
