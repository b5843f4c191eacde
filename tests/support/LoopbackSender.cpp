#include "LoopbackSender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackSender::LoopbackSender(const QByteArray& fromAddress)
{
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (descriptor < 0 || ::inet_pton(AF_INET, fromAddress.constData(), &local.sin_addr) != 1
        || ::bind(descriptor, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        if (descriptor >= 0)
            ::close(descriptor);
        return;
    }
    m_descriptor = descriptor;
}

LoopbackSender::~LoopbackSender()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool LoopbackSender::send(const QByteArray& datagram, quint16 port) const
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(m_descriptor, datagram.constData(), size_t(datagram.size()), 0,
                    reinterpret_cast<sockaddr*>(&target), sizeof target)
        == datagram.size();
}
