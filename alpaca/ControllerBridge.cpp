#include "alpaca/ControllerBridge.h"

#include <QMetaObject>

ControllerBridge::ControllerBridge(int limitMs, QObject* parent)
    : QObject(parent)
    , m_limitMs(limitMs)
{ }

void ControllerBridge::post(std::function<void()> job) const
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    QMetaObject::invokeMethod(const_cast<ControllerBridge*>(this), "runQueued", Qt::QueuedConnection);
}

void ControllerBridge::runQueued()
{
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_jobs.empty())
                return;
            next = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        next();
    }
}
