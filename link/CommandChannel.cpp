#include "link/CommandChannel.h"

#include "link/DottedQuad.h"
#include "link/Protocol.h"

#include <QUdpSocket>

#include <cerrno>
#include <cstring>
#include <mutex>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace {
// A standard mutex (not QMutex) so that thread analysis tools see it.
std::mutex sendLock;
}

CommandChannel::CommandChannel(const QUdpSocket* socket)
{
    if (!socket)
        return;
    m_descriptor = socket->socketDescriptor();
    // A socket bound to "any address" is dual-stack where the host has IPv6;
    // it then takes IPv4 destinations in their IPv4-mapped IPv6 form.
    m_ipv6 = socket->localAddress().protocol() == QAbstractSocket::IPv6Protocol;
}

void CommandChannel::send(const QString& dottedQuad, const QString& text) const
{
    bool ok = false;
    const quint32 ipv4 = DottedQuad::parse(dottedQuad, &ok);
    if (ok)
        send(QHostAddress(ipv4), text);
}

void CommandChannel::send(const QHostAddress& address, const QString& text) const
{
    if (!isOpen())
        return;
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (!isIpv4)
        return;

    const QByteArray datagram = text.toLatin1();
    sockaddr_storage storage;
    std::memset(&storage, 0, sizeof storage);
    socklen_t length = 0;
    if (m_ipv6) {
        auto* to = reinterpret_cast<sockaddr_in6*>(&storage);
        to->sin6_family = AF_INET6;
        to->sin6_port = htons(Protocol::ControllerPort);
        unsigned char* bytes = reinterpret_cast<unsigned char*>(&to->sin6_addr);
        bytes[10] = bytes[11] = 0xff;
        const quint32 networkOrder = htonl(ipv4);
        std::memcpy(bytes + 12, &networkOrder, 4);
        length = sizeof(sockaddr_in6);
    } else {
        auto* to = reinterpret_cast<sockaddr_in*>(&storage);
        to->sin_family = AF_INET;
        to->sin_port = htons(Protocol::ControllerPort);
        to->sin_addr.s_addr = htonl(ipv4);
        length = sizeof(sockaddr_in);
    }

    const std::lock_guard<std::mutex> locker(sendLock);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto sent = ::sendto(m_descriptor, datagram.constData(), datagram.size(), 0,
                                   reinterpret_cast<const sockaddr*>(&storage), length);
        if (sent >= 0 || errno != EINTR)
            break;
    }
}
