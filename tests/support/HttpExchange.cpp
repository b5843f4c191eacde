#include "HttpExchange.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QList>

#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace HttpExchange {

namespace {

// The body after the head, cut to Content-Length when there is one.
void split(Reply& reply, const QByteArray& received)
{
    const int end = received.indexOf("\r\n\r\n");
    if (!received.startsWith("HTTP/1.") || end < 0)
        return;
    reply.head = received.left(end);
    reply.status = received.mid(9, 3).toInt();
    reply.body = received.mid(end + 4);
    const QByteArray length = reply.header("Content-Length");
    if (!length.isEmpty())
        reply.body.truncate(length.toInt());
}

} // namespace

QJsonObject Reply::json() const { return QJsonDocument::fromJson(body).object(); }

QByteArray Reply::header(const QByteArray& name) const
{
    for (const QByteArray& line : head.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

Reply raw(const QHostAddress& address, quint16 port, const QList<QByteArray>& chunks, int pauseMs, int timeoutMs)
{
    Reply reply;
    QElapsedTimer clock;
    clock.start();
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return reply;
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(address.toIPv4Address());
    if (::connect(socket, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        ::close(socket);
        return reply;
    }
    for (int i = 0; i < chunks.size(); ++i) {
        if (i > 0 && pauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        // A server that gave up on the request may close before all is sent.
        if (::send(socket, chunks[i].constData(), size_t(chunks[i].size()), MSG_NOSIGNAL) < 0)
            break;
    }
    QByteArray received;
    char buffer[4096];
    while (clock.elapsed() < timeoutMs) {
        pollfd entry = {socket, POLLIN, 0};
        if (::poll(&entry, 1, int(timeoutMs - clock.elapsed())) <= 0)
            break;
        const ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0) {
            reply.closedByServer = true;
            break;
        }
        received.append(buffer, int(count));
    }
    ::close(socket);
    reply.ms = clock.elapsed();
    split(reply, received);
    return reply;
}

Reply get(const QHostAddress& address, quint16 port, const QByteArray& pathAndQuery)
{
    return raw(address, port, {"GET " + pathAndQuery + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n"});
}

Reply put(const QHostAddress& address, quint16 port, const QByteArray& path, const QByteArray& form)
{
    return raw(address, port,
               {"PUT " + path
                + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                + QByteArray::number(form.size()) + "\r\n\r\n" + form});
}

} // namespace HttpExchange
