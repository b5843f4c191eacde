#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

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
// run() may be called from any thread.
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

    template <typename Result>
    std::optional<Result> run(std::function<Result()> work) const
    {
        if (onControllerThread())
            return work();
        auto promise = std::make_shared<std::promise<Result>>();
        std::future<Result> result = promise->get_future();
        QMetaObject::invokeMethod(
            m_controllerObject, [promise, work = std::move(work)] { promise->set_value(work()); },
            Qt::QueuedConnection);
        if (result.wait_for(std::chrono::milliseconds(m_limitMs)) != std::future_status::ready)
            return std::nullopt;
        return result.get();
    }

private:
    QObject* m_controllerObject;
    int m_limitMs;
};
