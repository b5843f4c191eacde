#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>

// Hands work from the HTTP server's threads to the one controller thread,
// where every controller link and device lives, and waits for its result.
// The wait is bounded: a controller thread that does not get to the work in
// time (or no longer runs its event loop) gives no result, and the work,
// should it run later, finds nobody waiting. Work that is handed over from
// the controller thread itself runs at once.
//
// run() and close() may be called from any thread.
class ControllerBridge
{
public:
    // `controllerObject` lives on the controller thread and outlives every
    // call of run().
    ControllerBridge(QObject* controllerObject, int limitMs)
        : m_controllerObject(controllerObject)
        , m_limitMs(limitMs)
    { }

    bool onControllerThread() const { return QThread::currentThread() == m_controllerObject->thread(); }

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
        QMetaObject::invokeMethod(
            m_controllerObject, [promise, work = std::move(work)] { promise->set_value(work()); },
            Qt::QueuedConnection);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_limitMs);
        while (result.wait_for(std::chrono::milliseconds(WaitSliceMs)) != std::future_status::ready) {
            if (m_closed || std::chrono::steady_clock::now() >= limit)
                return std::nullopt;
        }
        return result.get();
    }

private:
    static constexpr int WaitSliceMs = 50;

    QObject* m_controllerObject;
    int m_limitMs;
    std::atomic<bool> m_closed{false};
};
