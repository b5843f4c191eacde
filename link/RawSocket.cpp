#include "link/RawSocket.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace RawSocket {

namespace {

#ifdef _WIN32
using Handle = SOCKET;
using Length = int;
using DataLength = int;
constexpr int Interrupted = WSAEINTR;
int lastError() { return WSAGetLastError(); }
#else
using Handle = int;
using Length = socklen_t;
using DataLength = std::size_t;
constexpr int Interrupted = EINTR;
int lastError() { return errno; }
#endif

constexpr int SendAttempts = 3;

} // namespace

int addressFamily(std::intptr_t descriptor)
{
    sockaddr_storage local;
    std::memset(&local, 0, sizeof local);
    Length length = sizeof local;
    if (descriptor < 0 || ::getsockname(Handle(descriptor), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return local.ss_family == AF_INET || local.ss_family == AF_INET6 ? local.ss_family : 0;
}

SocketAddress destination(int family, std::uint32_t ipv4, std::uint16_t port)
{
    static_assert(sizeof(SocketAddress::bytes) >= sizeof(sockaddr_storage), "room for any socket address");
    SocketAddress to;
    if (family == AF_INET6) {
        auto* to6 = reinterpret_cast<sockaddr_in6*>(to.bytes);
        to6->sin6_family = AF_INET6;
        to6->sin6_port = htons(port);
        // ::ffff:a.b.c.d
        unsigned char* bytes = reinterpret_cast<unsigned char*>(&to6->sin6_addr);
        bytes[10] = bytes[11] = 0xff;
        const std::uint32_t networkOrder = htonl(ipv4);
        std::memcpy(bytes + 12, &networkOrder, sizeof networkOrder);
        to.length = sizeof(sockaddr_in6);
    } else {
        auto* to4 = reinterpret_cast<sockaddr_in*>(to.bytes);
        to4->sin_family = AF_INET;
        to4->sin_port = htons(port);
        to4->sin_addr.s_addr = htonl(ipv4);
        to.length = sizeof(sockaddr_in);
    }
    return to;
}

int sendTo(std::intptr_t descriptor, int family, std::uint32_t ipv4, std::uint16_t port, const char* data,
           std::size_t size)
{
    const SocketAddress to = destination(family, ipv4, port);
    int error = 0;
    for (int attempt = 0; attempt < SendAttempts; ++attempt) {
        const auto sent = ::sendto(Handle(descriptor), data, static_cast<DataLength>(size), 0,
                                   reinterpret_cast<const sockaddr*>(to.bytes), Length(to.length));
        if (sent >= 0)
            return 0;
        error = lastError();
        if (error != Interrupted)
            break;
    }
    return error;
}

int receiveBufferBytes(std::intptr_t descriptor)
{
    int booked = 0;
    Length length = sizeof booked;
    if (descriptor < 0
        || ::getsockopt(Handle(descriptor), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&booked), &length) != 0)
        return 0;
#ifdef __linux__
    return booked / 2;
#else
    return booked;
#endif
}

} // namespace RawSocket
