#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>

// A blocking HTTP/1.1 exchange with a server on loopback, written byte for
// byte, so that tests can send what no client library would (broken request
// lines, endless headers, a request dribbled out byte by byte) as well as
// the Alpaca API's GET and PUT requests. It reads until the answers it
// waits for are complete, the server closes the connection, or the time
// limit. Any thread may use it (it does not touch the event loop).
namespace HttpExchange {

struct Reply
{
    int status = 0;  // of the first answer; 0: no HTTP answer came
    QByteArray head; // its status line and headers
    QByteArray body;
    int answers = 0; // complete answers received
    bool closedByServer = false;
    qint64 ms = 0; // from connecting to the end of the reading

    QJsonObject json() const;
    QByteArray header(const QByteArray& name) const;
};

// Connects, sends `chunks` one after the other with `pauseMs` between them,
// and reads until `answers` answers are complete (0: until the server
// closes the connection).
Reply raw(const QHostAddress& address, quint16 port, const QList<QByteArray>& chunks, int answers = 1, int pauseMs = 0,
          int timeoutMs = 15000);
Reply get(const QHostAddress& address, quint16 port, const QByteArray& pathAndQuery);
// A PUT with a form-encoded body.
Reply put(const QHostAddress& address, quint16 port, const QByteArray& path, const QByteArray& form);

} // namespace HttpExchange
