#pragma once

#include <cstddef>
#include <cstdint>

// The operating-system calls beneath the command channel, in plain C++
// types and nothing of the toolkit, so that this pair builds against
// Berkeley sockets and Winsock alike (the Windows build compiles it with
// MinGW). A descriptor is the socket's native handle as QUdpSocket reports
// it (an int on POSIX, a SOCKET on Windows).
namespace RawSocket {

// The address family the socket was made with, AF_INET or AF_INET6, as the
// operating system reports it; 0 when it cannot tell. A socket bound to
// "any address" is AF_INET6 (dual-stack) wherever the host has IPv6, though
// the toolkit reports its local address as neither IPv4 nor IPv6. The
// socket must be bound: Winsock names no family for one that is not.
int addressFamily(std::intptr_t descriptor);

// The socket address a datagram to the IPv4 address `ipv4` (host byte
// order), `port`, is sent to from a socket of `family`: a sockaddr_in on an
// AF_INET socket; on an AF_INET6 socket a sockaddr_in6 holding the
// IPv4-mapped address (::ffff:a.b.c.d), the only form Winsock takes there.
// Linux, and Wine on it, take a plain IPv4 address there as well, so a send
// that arrives shows nothing of the form on them; the form itself does.
struct SocketAddress
{
    // Laid out as the system's headers say (a sockaddr_storage's room).
    alignas(8) unsigned char bytes[128] = {};
    int length = 0;
};
SocketAddress destination(int family, std::uint32_t ipv4, std::uint16_t port);

// Sends `size` bytes in one datagram from the socket to the IPv4 address
// `ipv4` (host byte order), `port`, addressed as destination() says. A send
// interrupted by a signal is repeated (a few times at most). Returns 0, or
// the system's error code (errno; WSAGetLastError() on Windows).
int sendTo(std::intptr_t descriptor, int family, std::uint32_t ipv4, std::uint16_t port, const char* data,
           std::size_t size);

// The receive buffer the operating system granted the socket, in bytes of
// datagrams it holds; 0 when it cannot tell. Systems cap a request silently
// (Linux at net.core.rmem_max). Linux books twice the bytes granted, for its
// own bookkeeping, and reports that; the result here is the grant.
int receiveBufferBytes(std::intptr_t descriptor);

} // namespace RawSocket
