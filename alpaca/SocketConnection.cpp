#include "alpaca/SocketConnection.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// How often a wait looks at whether the server stops or others wait.
constexpr int SliceMs = 100;

void nameOf(int (*query)(int, sockaddr*, socklen_t*), int socket, std::string& ip, int& port)
{
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (query(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                       NI_NUMERICHOST | NI_NUMERICSERV)
            != 0)
        return;
    ip = host;
    port = std::atoi(service);
}

} // namespace

SocketConnection::SocketConnection(int socket, const Limits& limits, const Waits& waits,
                                   const std::atomic<bool>& stopping)
    : ConnectionStream(limits)
    , m_socket(socket)
    , m_waits(waits)
    , m_stopping(stopping)
{ }

bool SocketConnection::waitFor(short events, const QDeadlineTimer& deadline) const
{
    for (;;) {
        if (m_stopping)
            return false;
        pollfd entry = {m_socket, events, 0};
        const int result = ::poll(&entry, 1, int(std::min<qint64>(deadline.remainingTime(), SliceMs)));
        if (result > 0)
            return true;
        if ((result < 0 && errno != EINTR) || deadline.hasExpired())
            return false;
    }
}

ssize_t SocketConnection::fill(const QDeadlineTimer& deadline)
{
    if (!waitFor(POLLIN, deadline))
        return -1;
    ssize_t count;
    do {
        count = ::recv(m_socket, m_buffer, sizeof m_buffer, 0);
    } while (count < 0 && errno == EINTR);
    m_begin = 0;
    m_end = count > 0 ? size_t(count) : 0;
    return count;
}

bool SocketConnection::awaitRequest(const std::function<bool()>& giveWay)
{
    if (m_begin < m_end)
        return true;
    const QDeadlineTimer idle(m_waits.keepAliveMs);
    while (!idle.hasExpired()) {
        const QDeadlineTimer slice(std::min<qint64>(SliceMs, idle.remainingTime()));
        if (waitFor(POLLIN, slice))
            return fill(slice) > 0;
        if (m_stopping || giveWay())
            return false;
    }
    return false;
}

ssize_t SocketConnection::receive(char* data, size_t size, const QDeadlineTimer& deadline)
{
    if (m_begin == m_end) {
        const ssize_t count = fill(deadline);
        if (count <= 0)
            return count;
    }
    const size_t count = std::min(size, m_end - m_begin);
    std::memcpy(data, m_buffer + m_begin, count);
    m_begin += count;
    return ssize_t(count);
}

ssize_t SocketConnection::send(const char* data, size_t size)
{
    size_t sent = 0;
    const QDeadlineTimer limit(m_waits.writeMs);
    while (sent < size) {
        if (!waitFor(POLLOUT, limit))
            return -1;
        const ssize_t count = ::send(m_socket, data + sent, size - sent, MSG_NOSIGNAL);
        if (count < 0 && errno != EINTR && errno != EAGAIN)
            return -1;
        if (count > 0)
            sent += size_t(count);
    }
    return ssize_t(sent);
}

bool SocketConnection::is_readable() const { return m_begin < m_end || waitFor(POLLIN, deadline()); }

bool SocketConnection::is_writable() const { return waitFor(POLLOUT, QDeadlineTimer(m_waits.writeMs)); }

void SocketConnection::get_remote_ip_and_port(std::string& ip, int& port) const
{
    nameOf(::getpeername, m_socket, ip, port);
}

void SocketConnection::get_local_ip_and_port(std::string& ip, int& port) const
{
    nameOf(::getsockname, m_socket, ip, port);
}
