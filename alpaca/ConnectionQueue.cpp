#include "alpaca/ConnectionQueue.h"

namespace {
thread_local bool refusingHere = false;
} // namespace

ConnectionQueue::ConnectionQueue(int workers, int maxConnections)
    : m_maxConnections(maxConnections)
{
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

ConnectionQueue::~ConnectionQueue() { shutdown(); }

void ConnectionQueue::enqueue(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_running + int(m_jobs.size()) < m_maxConnections) {
            m_jobs.push_back(std::move(job));
            m_wake.notify_one();
            return;
        }
    }
    refusingHere = true;
    job();
    refusingHere = false;
}

void ConnectionQueue::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers) {
        if (worker.joinable())
            worker.join();
    }
}

int ConnectionQueue::waiting() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_jobs.size());
}

bool ConnectionQueue::refusing() { return refusingHere; }

void ConnectionQueue::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_running;
        lock.unlock();
        job();
        lock.lock();
        --m_running;
    }
}
