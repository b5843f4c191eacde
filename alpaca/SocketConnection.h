#pragma once

#include "alpaca/ConnectionStream.h"

#include <atomic>

// A client connection on a TCP socket: reads are buffered (the library
// reads its header lines a byte at a time), every wait polls in short
// slices so that a stopping server is noticed, and writes wait for the
// socket at most a write time limit. The socket is the caller's to close.
class SocketConnection final : public ConnectionStream
{
public:
    struct Waits
    {
        int keepAliveMs; // the longest wait for a following request
        int writeMs;     // the longest wait for room to write
    };

    SocketConnection(int socket, const Limits& limits, const Waits& waits, const std::atomic<bool>& stopping);

    bool awaitRequest(const std::function<bool()>& giveWay) override;

    bool is_readable() const override;
    bool is_writable() const override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    int socket() const override { return m_socket; }

protected:
    ssize_t receive(char* data, size_t size, const QDeadlineTimer& deadline) override;
    ssize_t send(const char* data, size_t size) override;

private:
    // Reads what has arrived into the buffer, waiting until `deadline`:
    // the count, 0 at the end of the stream, -1 after a failure or time-out.
    ssize_t fill(const QDeadlineTimer& deadline);
    // Polls for `events` until `deadline`, in slices; false after the
    // deadline or when the server stops.
    bool waitFor(short events, const QDeadlineTimer& deadline) const;

    int m_socket;
    Waits m_waits;
    const std::atomic<bool>& m_stopping;
    char m_buffer[4096];
    size_t m_begin = 0;
    size_t m_end = 0;
};
