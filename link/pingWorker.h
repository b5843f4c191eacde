#pragma once

#include "link/CommandChannel.h"
#include "link/LivenessCount.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class QUdpSocket;

// The liveness monitor. While a controller is connected it sends "ping" to it
// from its own thread at a fixed pace and counts the pings sent since the
// last proof of life (LivenessCount, the rule the controller link applies
// too). It never reads a reply: the main window's reply handling calls
// resume(), which zeroes the count. Past one missed ping it emits
// cantsendping2(), past three also cantsendping().
//
// Threads: run() is the monitor's thread; every other function is called from
// the GUI thread. The count is guarded by a lock, the flags are atomics; the
// wait lets a stop request or a resume() cut a sleep short.
class pingWorker : public QThread
{
    Q_OBJECT

public:
    static constexpr int NormalPeriodMs = LivenessCount::NormalPeriodMs;
    static constexpr int SlowPeriodMs = LivenessCount::SlowPeriodMs;

    pingWorker(const QString& address, QUdpSocket* commandSocket, QObject* parent = nullptr);
    ~pingWorker() override;

    void pause();
    // Proof of life: no longer paused, missed-ping count 0.
    void resume();
    // No longer paused; the missed-ping count stands.
    void endPause();
    void setPeriod(int milliseconds);
    void decrementMissed();
    // Ends the run loop at its next check; the caller then waits for the thread.
    void requestStop();

    int missedPings() const;
    // More unanswered pings than the liveness rule allows.
    bool isLost() const;
    bool isPaused() const { return m_paused.load(std::memory_order_relaxed); }
    int period() const;
    QString address() const { return m_address; }

signals:
    void cantsendping(QString);
    void cantsendping2(QString);

protected:
    void run() override;

private:
    void wake();

    const QString m_address;
    const CommandChannel m_channel;
    mutable std::mutex m_countLock;
    LivenessCount m_count; // guarded by m_countLock
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_stopRequested{false};
    std::mutex m_waitLock;
    std::condition_variable m_wakeUp;
};
