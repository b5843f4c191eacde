#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The HTTP library's task queue, bounded: a fixed number of worker threads
// serve the accepted connections one each, and at most `maxConnections` are
// served or waiting at once. A connection over that bound is handed over on
// the accepting thread itself, marked as refused (refusing() is true
// there), so that the server answers it at once and closes it instead of
// letting it queue up.
//
// enqueue() is called by the library's accepting thread, shutdown() once at
// the end; waiting() from any thread.
class ConnectionQueue final : public httplib::TaskQueue
{
public:
    ConnectionQueue(int workers, int maxConnections);
    ~ConnectionQueue() override;

    void enqueue(std::function<void()> job) override;
    void shutdown() override;

    // Connections accepted but not yet taken by a worker.
    int waiting() const;
    // Whether the connection being handed over on this thread is refused.
    static bool refusing();

private:
    void work();

    const int m_maxConnections;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    int m_running = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};
