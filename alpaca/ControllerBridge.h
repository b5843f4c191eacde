#pragma once

#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

// Hands work from the HTTP server's threads to the one controller thread,
// where every controller link and device lives, and waits for its result.
// The wait is bounded: a controller thread that does not get to the work in
// time (or no longer runs its event loop) gives no result, and the work,
// should it run later, finds nobody waiting. Work that is handed over from
// the controller thread itself runs at once.
//
// The work travels in a queue of our own under a standard mutex (the
// thread analysis sees the hand-over); the controller thread's event loop
// is only woken, by a queued call without arguments, to empty it.
//
// Created on the controller thread; run() and close() may be called from
// any thread.
class ControllerBridge : public QObject
{
    Q_OBJECT

public:
    explicit ControllerBridge(int limitMs, QObject* parent = nullptr);

    bool onControllerThread() const { return QThread::currentThread() == thread(); }

    // From now on nothing is handed over, and every wait ends: the
    // controller thread is leaving its event loop.
    void close() { m_closed = true; }

    template <typename Result>
    std::optional<Result> run(std::function<Result()> work) const
    {
        if (onControllerThread())
            return work();
        if (m_closed)
            return std::nullopt;
        auto promise = std::make_shared<std::promise<Result>>();
        std::future<Result> result = promise->get_future();
        post([promise, work = std::move(work)] { promise->set_value(work()); });
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_limitMs);
        while (result.wait_for(std::chrono::milliseconds(WaitSliceMs)) != std::future_status::ready) {
            if (m_closed || std::chrono::steady_clock::now() >= limit)
                return std::nullopt;
        }
        return result.get();
    }

private slots:
    void runQueued();

private:
    static constexpr int WaitSliceMs = 50;

    void post(std::function<void()> job) const;

    const int m_limitMs;
    std::atomic<bool> m_closed{false};
    mutable std::mutex m_mutex;
    mutable std::deque<std::function<void()>> m_jobs;
};
