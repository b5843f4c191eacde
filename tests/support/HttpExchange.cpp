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

// How many answers in `received` are complete; the first one goes into
// `reply`.
int completeAnswers(const QByteArray& received, Reply& reply)
{
    int complete = 0;
    int at = 0;
    for (;;) {
        const int headEnd = received.indexOf("\r\n\r\n", at);
        if (!received.mid(at).startsWith("HTTP/1.") || headEnd < 0)
            return complete;
        Reply answer;
        answer.head = received.mid(at, headEnd - at);
        answer.status = answer.head.mid(9, 3).toInt();
        const int length = answer.header("Content-Length").toInt();
        if (received.size() < headEnd + 4 + length)
            return complete;
        answer.body = received.mid(headEnd + 4, length);
        if (complete++ == 0) {
            reply.status = answer.status;
            reply.head = answer.head;
            reply.body = answer.body;
        }
        at = headEnd + 4 + length;
    }
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

Reply raw(const QHostAddress& address, quint16 port, const QList<QByteArray>& chunks, int answers, int pauseMs,
          int timeoutMs)
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
    while (clock.elapsed() < timeoutMs && (answers == 0 || reply.answers < answers)) {
        pollfd entry = {socket, POLLIN, 0};
        if (::poll(&entry, 1, int(timeoutMs - clock.elapsed())) <= 0)
            break;
        const ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0) {
            reply.closedByServer = true;
            break;
        }
        received.append(buffer, int(count));
        reply.answers = completeAnswers(received, reply);
    }
    ::close(socket);
    reply.ms = clock.elapsed();
    reply.answers = completeAnswers(received, reply);
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
