#pragma once

#include <httplib.h>

#include <QDeadlineTimer>

#include <functional>

// One client connection as the HTTP library reads and writes it, with the
// server's bounds on every request: the whole request (request line,
// headers and body) must arrive within a time limit and a byte budget, so
// that neither a slow sender nor an endless header holds a worker thread or
// memory for long. A request that overruns them reads as a broken
// connection. Keep-alive waits for the next request are the subclass's.
//
// One thread at a time (the worker serving the connection).
class ConnectionStream : public httplib::Stream
{
public:
    struct Limits
    {
        int requestTimeMs;
        qint64 requestBytes;
    };

    explicit ConnectionStream(const Limits& limits);

    // Waits until the next request starts to arrive. False when the
    // connection is to close: the peer closed it, it stayed idle too long,
    // or `giveWay` says that other connections wait for the worker.
    virtual bool awaitRequest(const std::function<bool()>& giveWay) = 0;

    enum class Overrun {
        None,
        Time,  // the request did not arrive whole in time
        Bytes, // it ran over the byte budget
    };

    // Starts the bounds of the next request.
    void startRequest();
    Overrun overrun() const { return m_overrun; }
    // Whether anything was written since startRequest().
    bool answered() const { return m_written > 0; }

    ssize_t read(char* data, size_t size) final;
    ssize_t write(const char* data, size_t size) final;

protected:
    // Up to `size` bytes, waiting until `deadline` at most: the count, 0 at
    // the end of the stream, -1 after a failure or the deadline.
    virtual ssize_t receive(char* data, size_t size, const QDeadlineTimer& deadline) = 0;
    virtual ssize_t send(const char* data, size_t size) = 0;

    const QDeadlineTimer& deadline() const { return m_deadline; }

private:
    Limits m_limits;
    QDeadlineTimer m_deadline;
    qint64 m_budget = 0;
    qint64 m_written = 0;
    Overrun m_overrun = Overrun::None;
};
