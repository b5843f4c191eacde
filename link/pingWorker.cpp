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
    {
        const std::lock_guard<std::mutex> locker(m_countLock);
        m_count.proofOfLife();
    }
    wake();
}

void pingWorker::endPause()
{
    m_paused.store(false, std::memory_order_relaxed);
    wake();
}

void pingWorker::setPeriod(int milliseconds)
{
    const std::lock_guard<std::mutex> locker(m_countLock);
    m_count.setPeriodMs(milliseconds);
}

void pingWorker::decrementMissed()
{
    const std::lock_guard<std::mutex> locker(m_countLock);
    m_count.halfAnswer();
}

int pingWorker::missedPings() const
{
    const std::lock_guard<std::mutex> locker(m_countLock);
    return m_count.missed();
}

bool pingWorker::isLost() const
{
    const std::lock_guard<std::mutex> locker(m_countLock);
    return m_count.isLost();
}

int pingWorker::period() const
{
    const std::lock_guard<std::mutex> locker(m_countLock);
    return m_count.periodMs();
}

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
        LivenessCount::Verdict verdict = LivenessCount::Verdict::Answering;
        {
            const std::lock_guard<std::mutex> locker(m_countLock);
            verdict = m_count.pingSent();
        }
        if (verdict != LivenessCount::Verdict::Answering)
            emit cantsendping2(ErrorText);
        if (verdict == LivenessCount::Verdict::Lost)
            emit cantsendping(ErrorText);

        // Sleep for the period; only a stop request cuts it short. A period
        // set meanwhile (after a loss) applies from the next sleep on.
        const int periodMs = period();
        std::unique_lock<std::mutex> locker(m_waitLock);
        m_wakeUp.wait_for(locker, std::chrono::milliseconds(periodMs),
                          [this] { return m_stopRequested.load(std::memory_order_relaxed); });
    }
    m_stopRequested.store(false, std::memory_order_relaxed);
}
