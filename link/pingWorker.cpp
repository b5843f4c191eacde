#include "link/pingWorker.h"

#include "link/Protocol.h"

#include <QUdpSocket>

namespace {
const QString ErrorText = QStringLiteral("ERROR");
constexpr int PausedPollMs = 50;
} // namespace

pingWorker::pingWorker(const QString& address, QUdpSocket* commandSocket, QObject* parent)
    : QThread(parent)
    , m_address(address)
    , m_channel(commandSocket)
{ }

pingWorker::~pingWorker()
{
    requestStop();
    wait();
}

void pingWorker::pause() { m_paused.store(true, std::memory_order_relaxed); }

void pingWorker::resume()
{
    m_paused.store(false, std::memory_order_relaxed);
    m_missed.store(0, std::memory_order_relaxed);
    wake();
}

void pingWorker::endPause()
{
    m_paused.store(false, std::memory_order_relaxed);
    wake();
}

void pingWorker::setPeriod(int milliseconds) { m_period.store(milliseconds, std::memory_order_relaxed); }

void pingWorker::decrementMissed() { m_missed.fetch_sub(1, std::memory_order_relaxed); }

void pingWorker::requestStop()
{
    m_stopRequested.store(true, std::memory_order_relaxed);
    wake();
}

void pingWorker::wake()
{
    const std::lock_guard<std::mutex> locker(m_waitLock);
    m_wakeUp.notify_all();
}

void pingWorker::run()
{
    while (!m_stopRequested.load(std::memory_order_relaxed)) {
        if (m_paused.load(std::memory_order_relaxed)) {
            // Paused: send nothing, but notice resume() and a stop request
            // promptly without spinning.
            std::unique_lock<std::mutex> locker(m_waitLock);
            m_wakeUp.wait_for(locker, std::chrono::milliseconds(PausedPollMs), [this] {
                return !m_paused.load(std::memory_order_relaxed) || m_stopRequested.load(std::memory_order_relaxed);
            });
            continue;
        }
        m_channel.send(m_address, QLatin1String(Protocol::Command::Ping));
        emit pingSent();
        const int missed = m_missed.fetch_add(1, std::memory_order_relaxed) + 1;
        if (missed > 1)
            emit cantsendping2(ErrorText);
        if (missed > LostAfterMissedPings)
            emit cantsendping(ErrorText);
        if (missed == 1)
            m_period.store(NormalPeriodMs, std::memory_order_relaxed);

        // Sleep for the period; only a stop request cuts it short.
        std::unique_lock<std::mutex> locker(m_waitLock);
        m_wakeUp.wait_for(locker, std::chrono::milliseconds(m_period.load(std::memory_order_relaxed)),
                          [this] { return m_stopRequested.load(std::memory_order_relaxed); });
    }
    m_stopRequested.store(false, std::memory_order_relaxed);
}
