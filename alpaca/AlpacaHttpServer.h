#pragma once

#include "alpaca/AlpacaRequest.h"
#include "alpaca/HttpReply.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

class ConnectionQueue;
class ConnectionStream;

// The HTTP side of the server, on Debian's cpp-httplib: the library reads
// and writes HTTP, this class bounds what a client can hold and hands every
// request to `answer` (the router), on the worker thread that read it.
//
// Bounds: WorkerThreads connections are served at once, MaxConnections are
// served or wait (more are answered 503 and closed at once); a request must
// arrive whole within RequestTimeMs and RequestBytes, its body within
// BodyBytes; a connection waits KeepAliveMs at most for its next request
// and gives way sooner when others wait. A request the library cannot read
// gets its 4xx answer; nothing a client sends stops the server.
//
// start() and stop() on one thread; answer runs on the workers.
class AlpacaHttpServer : private httplib::Server
{
    Q_DECLARE_TR_FUNCTIONS(AlpacaHttpServer)

public:
    static constexpr int WorkerThreads = 16;
    static constexpr int MaxConnections = 64;
    static constexpr int RequestTimeMs = 5000;
    static constexpr qint64 RequestBytes = 16384;
    static constexpr int BodyBytes = 4096;
    static constexpr int KeepAliveMs = 5000;
    static constexpr int KeepAliveRequests = 1000;
    static constexpr int WriteTimeMs = 5000;
    static constexpr int ListenBacklog = 2 * MaxConnections;

    using Answer = std::function<HttpReply(const AlpacaRequest&)>;

    explicit AlpacaHttpServer(Answer answer);
    ~AlpacaHttpServer() override;

    // Listens on `address` and `port` (0: any free port) and accepts on a
    // thread of its own. False with the reason when the port cannot be had.
    bool start(const QString& address, quint16 port, QString* error);
    quint16 port() const { return m_port; }
    void stop();

    // Serves the requests that come on one connection until it is to
    // close: for every accepted socket, and for a fuzz target's stream.
    void serve(ConnectionStream& connection);

private:
    bool process_and_close_socket(socket_t socket) override;
    void answerRequest(const httplib::Request& request, httplib::Response& response);
    bool othersWait() const;

    Answer m_answer;
    std::atomic<bool> m_stopping{false};
    std::atomic<ConnectionQueue*> m_queue{nullptr};
    std::thread m_acceptor;
    quint16 m_port = 0;
};
