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

// Sends `size` bytes in one datagram from the socket to the IPv4 address
// `ipv4` (host byte order), `port`. On an AF_INET6 socket the destination
// goes in its IPv4-mapped IPv6 form: Linux would also take a plain IPv4
// address there, Winsock refuses it. A send interrupted by a signal is
// repeated (a few times at most). Returns 0, or the system's error code
// (errno; WSAGetLastError() on Windows).
int sendTo(std::intptr_t descriptor, int family, std::uint32_t ipv4, std::uint16_t port, const char* data,
           std::size_t size);

// The receive buffer the operating system granted the socket, in bytes of
// datagrams it holds; 0 when it cannot tell. Systems cap a request silently
// (Linux at net.core.rmem_max). Linux books twice the bytes granted, for its
// own bookkeeping, and reports that; the result here is the grant.
int receiveBufferBytes(std::intptr_t descriptor);

} // namespace RawSocket
